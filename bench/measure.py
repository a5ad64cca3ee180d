#!/usr/bin/env python3
"""Time morvik against readelf on one or more ELF files and print a report.

For every ELF file given, the runs are interleaved in rounds (morvik default,
morvik -a, morvik -d, readelf --debug-dump=info,decodedline,loc), so that a
load change on the machine hits every command alike.  Each command's wall
time, CPU time and peak resident memory come from wait4() on the child.

The report gives per file: the DWARF size (sum of the .debug_* sections), the
DIE count (counted once from readelf's dump and cached in the work folder), the
symbol and line counts from morvik's totals line, and per command the median
wall time, the ratio to readelf, MB of DWARF / DIEs / line rows per second and
peak memory; with two or more files, the growth of each median from the
smallest file to the others.  SHA-256 sums of morvik's outputs make a
before/after comparison of an optimisation a plain diff of two reports.

Standard library only.  Usage:
  measure.py --morvik BIN [--readelf readelf] [--runs 5] [--work DIR]
             [--label NAME=FILE ...] FILE...
"""

import argparse
import hashlib
import os
import re
import shutil
import statistics
import struct
import subprocess
import sys
import time

MODES = [
    ("morvik", []),
    ("morvik 1cpu", []),
    ("morvik -a", ["-a"]),
    ("morvik -d", ["-d"]),
]
# "morvik 1cpu" is the default conversion confined to one CPU (as `taskset -c 0`
# would), so that it converts its units on one thread.
ONE_CPU = {"morvik 1cpu"}
# The goals the report checks, per file (ratios are the paired medians).
GOAL_DEFAULT = 0.12        # default conversion with every CPU, / readelf
GOAL_ONE_CPU = 0.20        # the same on one CPU
GOAL_TRACE = 0.8           # -d, / readelf
GOAL_SREC_EXTRA = 0.05     # what -a may add to the default conversion
GOAL_GROWTH = 2.1          # time(2N) / time(N), fastest runs
GOAL_MEMORY_MIB = 32       # peak memory above the file size
# The phases of a conversion: the functions whose inclusive instruction
# counts callgrind reports (--phases), in run order.
PHASES = [
    ("read input", ["load_input_file", "read_regular_file"]),
    ("ELF headers", ["read_elf"]),
    (".debug_loc scan", ["dump_loc_section"]),
    ("symbols", ["walk_units"]),
    ("line programs", ["read_line_programs"]),
    ("S-records", ["write_srec_file"]),
    ("LIN file", ["finish_line_file"]),
    ("commit", ["commit_outputs"]),
]
READELF_ARGS = ["--debug-dump=info,decodedline,loc"]
TOTALS = re.compile(rb"complete symbols=(\d+) lines=(\d+)")
DIE_LINE = re.compile(rb"^\s*<\d+><[0-9a-f]+>: Abbrev Number: ([0-9]+)")


def debug_section_bytes(path):
    """Sum of the sizes of the .debug_* sections of an ELF32 file, and a
    dict name -> size.  Reads the section headers directly."""
    with open(path, "rb") as f:
        data = f.read()
    if len(data) < 52 or data[:4] != b"\x7fELF" or data[4] != 1:
        raise ValueError("%s: not an ELF32 file" % path)
    end = ">" if data[5] == 2 else "<"
    shoff, = struct.unpack_from(end + "I", data, 32)
    shentsize, shnum, shstrndx = struct.unpack_from(end + "HHH", data, 46)
    sections = []
    for i in range(shnum):
        off = shoff + i * shentsize
        if off + 40 > len(data):
            break
        name, _typ, _flags, _addr, soff, size = struct.unpack_from(end + "IIIIII", data, off)
        sections.append((name, soff, size))
    if shstrndx >= len(sections):
        return 0, {}
    str_off = sections[shstrndx][1]
    sizes = {}
    for name, _soff, size in sections:
        start = str_off + name
        stop = data.find(b"\0", start)
        sname = data[start:stop].decode("latin-1")
        if sname.startswith(".debug_"):
            sizes[sname] = sizes.get(sname, 0) + size
    return sum(sizes.values()), sizes


def count_dies(path, readelf, work):
    """Number of DIEs (null entries not counted), cached in the work folder
    together with the file's size and modification time."""
    st = os.stat(path)
    stamp = "%d %d" % (st.st_size, int(st.st_mtime))
    key = hashlib.sha1(os.path.abspath(path).encode("utf-8", "surrogateescape")).hexdigest()[:16]
    cache = os.path.join(work, "dies-%s.txt" % key)
    try:
        with open(cache) as f:
            got_stamp, got = f.read().rsplit(" ", 1)
        if got_stamp == stamp:
            return int(got)
    except (OSError, ValueError):
        pass
    proc = subprocess.Popen([readelf, "--debug-dump=info", path], stdout=subprocess.PIPE,
                            stderr=subprocess.DEVNULL)
    n = 0
    for line in proc.stdout:
        m = DIE_LINE.match(line)
        if m and m.group(1) != b"0":
            n += 1
    proc.wait()
    try:
        with open(cache, "w") as f:
            f.write("%s %d" % (stamp, n))
    except OSError:
        pass
    return n


GNU_TIME = "/usr/bin/time"


def first_cpu_only():
    cpus = sorted(os.sched_getaffinity(0))
    os.sched_setaffinity(0, cpus[:1])


def run_once(argv, cwd, stdout_path, one_cpu=False):
    """Run one command; returns (wall seconds, cpu seconds, max RSS KiB, exit code).

    The peak memory comes from GNU time when it is installed: a child forked
    straight from this Python process inherits the interpreter's resident
    high-water mark through exec, so wait4's ru_maxrss would never drop below
    the interpreter's size.  GNU time is small, so what it reports is the
    command's own peak."""
    rss_file = os.path.join(cwd, ".maxrss")
    use_time = os.access(GNU_TIME, os.X_OK)
    if use_time:
        argv = [GNU_TIME, "-f", "%M", "-o", rss_file] + argv
    out = open(stdout_path, "wb") if stdout_path else subprocess.DEVNULL
    try:
        t0 = time.perf_counter()
        proc = subprocess.Popen(argv, cwd=cwd, stdout=out, stderr=subprocess.DEVNULL,
                                preexec_fn=first_cpu_only if one_cpu else None)
        _pid, status, ru = os.wait4(proc.pid, 0)
        wall = time.perf_counter() - t0
        proc.returncode = os.waitstatus_to_exitcode(status)
    finally:
        if stdout_path:
            out.close()
    rss = ru.ru_maxrss
    if use_time:
        try:
            with open(rss_file) as f:
                # GNU time puts "Command exited with non-zero status N" first.
                rss = int(f.read().split()[-1])
        except (OSError, ValueError, IndexError):
            pass
        if os.path.exists(rss_file):
            os.remove(rss_file)
    return wall, ru.ru_utime + ru.ru_stime, rss, proc.returncode


def sha256_file(path):
    h = hashlib.sha256()
    with open(path, "rb") as f:
        for chunk in iter(lambda: f.read(1 << 20), b""):
            h.update(chunk)
    return h.hexdigest()


def clean_outputs(run_dir, base):
    for ext in ("SYM", "LIN", "LXX", "mot"):
        p = os.path.join(run_dir, base + "." + ext)
        if os.path.exists(p):
            os.remove(p)


def measure_file(label, path, args, log):
    """All rounds for one ELF file; returns a result dict."""
    run_dir = os.path.join(args.work, "run-" + re.sub(r"[^A-Za-z0-9_.-]", "_", label))
    os.makedirs(run_dir, exist_ok=True)
    base = "fw"
    elf = os.path.join(run_dir, base + ".elf")
    if os.path.exists(elf):
        os.remove(elf)
    try:
        os.link(path, elf)
    except OSError:
        shutil.copyfile(path, elf)
    clean_outputs(run_dir, base)

    dwarf, sizes = debug_section_bytes(path)
    dies = count_dies(path, args.readelf, args.work)
    res = {"label": label, "path": path, "file_bytes": os.path.getsize(path),
           "dwarf_bytes": dwarf, "sections": sizes, "dies": dies,
           "symbols": None, "lines": None, "times": {}, "sums": {}, "failures": []}
    # The usage line that morvik writes into every output echoes its command
    # line: running it as ./morvik keeps the outputs of two different builds
    # comparable by checksum.
    tool = os.path.join(run_dir, "morvik")
    if os.path.lexists(tool):
        os.remove(tool)
    os.symlink(args.morvik, tool)
    commands = [(name, ["./morvik", base + ".elf"] + extra) for name, extra in MODES]
    commands.append(("readelf", [args.readelf] + READELF_ARGS + [base + ".elf"]))
    for name, _argv in commands:
        res["times"][name] = []
    console = os.path.join(run_dir, "console.txt")
    for rnd in range(args.runs):
        for name, argv in commands:
            # The trace console is as large as the trace SYM file: it goes
            # to /dev/null like readelf's dump.
            capture = console if name in ("morvik", "morvik 1cpu", "morvik -a") else None
            wall, cpu, rss, rc = run_once(argv, run_dir, capture, name in ONE_CPU)
            res["times"][name].append((wall, cpu, rss))
            if name.startswith("morvik"):
                if rc != 0:
                    res["failures"].append("%s exited with %d" % (name, rc))
                if capture:
                    with open(console, "rb") as f:
                        m = TOTALS.search(f.read())
                    if m:
                        res["symbols"], res["lines"] = int(m.group(1)), int(m.group(2))
                    elif rnd == 0:
                        res["failures"].append("%s printed no totals line" % name)
                if rnd == 0:
                    for ext in ("SYM", "LIN", "LXX", "mot"):
                        p = os.path.join(run_dir, base + "." + ext)
                        if os.path.exists(p):
                            res["sums"]["%s %s" % (name, ext)] = (os.path.getsize(p), sha256_file(p))
                clean_outputs(run_dir, base)
            elif rc != 0:
                res["failures"].append("readelf exited with %d" % rc)
        log("  round %d/%d done" % (rnd + 1, args.runs))
    os.remove(elf)
    os.remove(tool)
    return res


def median(values):
    return statistics.median(values) if values else 0.0


def fmt_rate(count, seconds):
    if not seconds:
        return "-"
    return "%.0f" % (count / seconds)


def report(results, args, machine):
    out = []
    w = out.append
    w("morvik benchmark")
    w("machine: %s" % machine)
    w("morvik:  %s (sha256 %s)" % (args.morvik_source, args.morvik_sha[:16]))
    w("readelf: %s %s (output to /dev/null)" % (args.readelf, " ".join(READELF_ARGS)))
    w("runs per command: %d (interleaved rounds; wall time median and fastest run)" % args.runs)
    w("peak memory: %s" % ("GNU time %M" if os.access(GNU_TIME, os.X_OK)
                           else "wait4 ru_maxrss (install package 'time' for exact figures)"))
    for r in results:
        mb = r["dwarf_bytes"] / 1e6
        w("")
        w("== %s: %s" % (r["label"], r["path"]))
        w("file %.2f MB, DWARF %.2f MB (%s)" % (
            r["file_bytes"] / 1e6, mb,
            ", ".join("%s %.2f" % (k, v / 1e6) for k, v in sorted(r["sections"].items()))))
        w("DIEs %d, symbols %s, line rows %s" % (r["dies"], r["symbols"], r["lines"]))
        ref = median([t[0] for t in r["times"]["readelf"]])
        w("%-12s %9s %8s %9s %8s %8s %9s %11s %11s %9s %9s" % (
            "command", "median s", "min s", "cpu s", "/readelf", "paired", "DWARF MB/s", "DIEs/s",
            "rows/s", "peak MiB", "limit MiB"))
        ref_runs = [t[0] for t in r["times"]["readelf"]]
        limit = r["file_bytes"] / (1024 * 1024) + GOAL_MEMORY_MIB
        for name in [m[0] for m in MODES] + ["readelf"]:
            ts = r["times"][name]
            wall = median([t[0] for t in ts])
            cpu = median([t[1] for t in ts])
            rss = max(t[2] for t in ts) / 1024.0
            # The same ratio taken within each round, where a load change on
            # the machine hits both commands alike; then the median.
            paired = median([t[0] / b for t, b in zip(ts, ref_runs) if b])
            w("%-12s %9.3f %8.3f %9.3f %8.2f %8.2f %9.1f %11s %11s %9.1f %9s" % (
                name, wall, min(t[0] for t in ts), cpu, wall / ref if ref else 0.0, paired,
                mb / wall if wall else 0.0,
                fmt_rate(r["dies"], wall), fmt_rate(r["lines"] or 0, wall), rss,
                "%.1f" % limit if name.startswith("morvik") else ""))
        w("all runs (wall s): " + "; ".join(
            "%s: %s" % (name, " ".join("%.3f" % t[0] for t in r["times"][name]))
            for name in [m[0] for m in MODES] + ["readelf"]))
        if r["sums"]:
            w("outputs (first round):")
            for key in sorted(r["sums"]):
                size, digest = r["sums"][key]
                w("  %-16s %12d bytes  sha256 %s" % (key, size, digest))
        for fail in r["failures"]:
            w("FAILED: " + fail)
    if len(results) >= 2:
        small = results[0]
        for big in results[1:]:
            w("")
            w("== growth %s -> %s (DWARF x%.2f, DIEs x%.2f)" % (
                small["label"], big["label"],
                big["dwarf_bytes"] / small["dwarf_bytes"] if small["dwarf_bytes"] else 0.0,
                big["dies"] / small["dies"] if small["dies"] else 0.0))
            for name in [m[0] for m in MODES] + ["readelf"]:
                a = median([t[0] for t in small["times"][name]])
                b = median([t[0] for t in big["times"][name]])
                a_min = min(t[0] for t in small["times"][name])
                b_min = min(t[0] for t in big["times"][name])
                w("%-12s time x%.2f (medians), x%.2f (fastest runs)" % (
                    name, b / a if a else 0.0, b_min / a_min if a_min else 0.0))
    w("")
    w("== goals")
    for line in goal_lines(results):
        w(line)
    if args.phases:
        w("")
        for line in phase_lines(results, args):
            w(line)
    return "\n".join(out) + "\n"


def paired_ratio(r, name, ref_name="readelf"):
    """Median over the rounds of time(name) / time(ref_name) within a round."""
    ref = [t[0] for t in r["times"][ref_name]]
    return median([t[0] / b for t, b in zip(r["times"][name], ref) if b])


def goal_lines(results):
    """Each goal of the benchmark with the figure measured and ok / MISSED."""
    out = []

    def check(what, value, limit, unit="x"):
        out.append("  %-44s %8.2f%s  (goal <= %.2f%s)  %s" % (
            what, value, unit, limit, unit, "ok" if value <= limit else "MISSED"))

    cpus = len(os.sched_getaffinity(0))
    for r in results:
        out.append("%s:" % r["label"])
        if cpus >= 2:
            check("default, %d CPUs, / readelf" % cpus, paired_ratio(r, "morvik"), GOAL_DEFAULT)
        check("default, one CPU, / readelf", paired_ratio(r, "morvik 1cpu"), GOAL_ONE_CPU)
        check("-a added to the default", 100.0 * (paired_ratio(r, "morvik -a", "morvik") - 1.0),
              100.0 * GOAL_SREC_EXTRA, " %")
        check("-d / readelf", paired_ratio(r, "morvik -d"), GOAL_TRACE)
        peak = max(t[2] for name in r["times"] if name.startswith("morvik") for t in r["times"][name]) / 1024.0
        check("peak memory above the file size", peak - r["file_bytes"] / (1024 * 1024), GOAL_MEMORY_MIB, " MiB")
    if len(results) >= 2:
        small, big = results[0], results[-1]
        for name in [m[0] for m in MODES]:
            a = min(t[0] for t in small["times"][name])
            b = min(t[0] for t in big["times"][name])
            check("growth %s -> %s, %s" % (small["label"], big["label"], name), b / a if a else 0.0, GOAL_GROWTH)
    return out


CG_LINE = re.compile(r"^\s*([\d,]+)\s+\(\s*[\d.]+%\)\s+(.*)$")


def callgrind_phases(binary, elf, extra, work):
    """Inclusive instruction counts per phase of one run under callgrind:
    (total, {phase: count or None})."""
    run_dir = os.path.join(work, "phases")
    os.makedirs(run_dir, exist_ok=True)
    shutil.copyfile(elf, os.path.join(run_dir, "fw.elf"))
    out = os.path.join(run_dir, "callgrind.out")
    # On one CPU the conversion runs on one thread, so each phase's work lies
    # under its function (on worker threads it would not be counted there).
    pin = ["taskset", "-c", "0"] if shutil.which("taskset") else []
    subprocess.run(pin + ["valgrind", "--tool=callgrind", "--callgrind-out-file=" + out, binary, "fw.elf"] + extra,
                   cwd=run_dir, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=False)
    text = subprocess.run(["callgrind_annotate", "--inclusive=yes", "--threshold=100", out],
                          stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, check=False).stdout.decode("utf-8", "replace")
    total, found = 0, {}
    for line in text.splitlines():
        m = CG_LINE.match(line)
        if not m:
            continue
        count, where = int(m.group(1).replace(",", "")), m.group(2)
        if "PROGRAM TOTALS" in where:
            total = count
            continue
        fn = re.search(r"([A-Za-z_][\w]*)\(", where)
        if fn:
            found[fn.group(1)] = max(found.get(fn.group(1), 0), count)
    shutil.rmtree(run_dir, ignore_errors=True)
    phases = {}
    for label, names in PHASES:
        counts = [found[n] for n in names if n in found]
        phases[label] = max(counts) if counts else None
    return total, phases


def phase_lines(results, args):
    """Per phase instruction counts (and the wall time they stand for) of the
    first file, for -a and -d, of morvik and of the --baseline binary."""
    r = results[0]
    binaries = [("this", args.morvik)] + ([("baseline", args.baseline)] if args.baseline else [])
    out = ["per phase, %s (callgrind inclusive instructions; ms = share of the median wall time):" % r["label"]]
    for mode, extra in (("morvik -a", ["-a"]), ("morvik -d", ["-d"])):
        wall = median([t[0] for t in r["times"][mode]])
        counted = [(who, callgrind_phases(path, r["path"], extra, args.work)) for who, path in binaries]
        out.append("  %s:" % mode)
        head = "    %-18s" % "phase"
        for who, _ in counted:
            head += " %16s %8s" % (who + " Ir", "ms")
        out.append(head)
        for label, _names in PHASES + [("whole run", [])]:
            line = "    %-18s" % label
            for _who, (total, phases) in counted:
                count = total if label == "whole run" else phases.get(label)
                if count is None:
                    line += " %16s %8s" % ("-", "-")
                else:
                    line += " %16s %8.1f" % ("{:,}".format(count),
                                             1000.0 * wall * count / total if total else 0.0)
            out.append(line)
        if args.baseline:
            out.append("    (ms of the baseline use this binary's wall time: compare the Ir columns)")
    return out


def machine_text():
    model = "unknown"
    try:
        with open("/proc/cpuinfo") as f:
            for line in f:
                if line.startswith("model name"):
                    model = line.split(":", 1)[1].strip()
                    break
    except OSError:
        pass
    return "%d cores (nproc), %s" % (os.cpu_count() or 0, model)


def main(argv):
    ap = argparse.ArgumentParser(description="Time morvik against readelf.")
    ap.add_argument("--morvik", required=True)
    ap.add_argument("--readelf", default="readelf")
    ap.add_argument("--runs", type=int, default=5)
    ap.add_argument("--work", default=None, help="scratch directory for the runs")
    ap.add_argument("--report", default=None, help="also write the report to this file")
    ap.add_argument("--quiet", action="store_true", help="no progress lines on stderr")
    ap.add_argument("--phases", action="store_true",
                    help="count instructions per phase with callgrind (about 40 times a run)")
    ap.add_argument("--baseline", default=None, help="with --phases: a second binary to count beside morvik")
    ap.add_argument("files", nargs="+", help="ELF files, as LABEL=PATH or PATH, smallest first")
    args = ap.parse_args(argv)
    if args.runs < 1:
        ap.error("--runs must be at least 1")
    args.morvik = os.path.abspath(args.morvik)
    if not os.access(args.morvik, os.X_OK):
        ap.error("morvik binary not found: %s" % args.morvik)
    if args.phases and shutil.which("valgrind") is None:
        ap.error("--phases needs valgrind")
    if args.baseline:
        args.baseline = os.path.abspath(args.baseline)
    if shutil.which(args.readelf) is None:
        ap.error("readelf not found: %s" % args.readelf)
    if args.work is None:
        args.work = os.path.join(os.path.dirname(os.path.abspath(__file__)), "cache")
    os.makedirs(args.work, exist_ok=True)
    # Measure a private copy: a rebuild of the tree during the runs must not
    # mix two binaries into one report.
    snapshot = os.path.join(args.work, "morvik-under-test")
    shutil.copyfile(args.morvik, snapshot)
    shutil.copymode(args.morvik, snapshot)
    args.morvik_source = args.morvik
    args.morvik_sha = sha256_file(snapshot)
    args.morvik = snapshot

    def log(text):
        if not args.quiet:
            print(text, file=sys.stderr, flush=True)

    results = []
    for item in args.files:
        label, _, path = item.rpartition("=")
        path = os.path.abspath(path)
        label = label or os.path.basename(path)
        log("measuring %s (%s)" % (label, path))
        results.append(measure_file(label, path, args, log))
    text = report(results, args, machine_text())
    sys.stdout.write(text)
    if args.report:
        with open(args.report, "w") as f:
            f.write(text)
    failed = any(r["failures"] for r in results)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
