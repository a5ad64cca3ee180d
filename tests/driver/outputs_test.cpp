// What a run leaves under the output names when something else is going on:
// links planted at every name it writes, a full disk, a second run on the
// same names, an interrupt. Whatever happens, a file under a final name is
// one run's complete output and the exit status says what is missing.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "common/session.h"
#include "driver/driver.h"
#include "support/run_helpers.h"

namespace fs = std::filesystem;

namespace {

std::string slurp(const fs::path& p) {
    std::vector<uint8_t> b = read_file_bytes(p.string());
    return std::string(b.begin(), b.end());
}

// Starts the program in `dir` with its standard output on `out_fd` (or
// /dev/null), SIGINT and SIGTERM at their defaults whatever the test inherited.
pid_t spawn(const fs::path& dir, const std::vector<std::string>& args, int out_fd = -1) {
    pid_t pid = fork();
    if (pid != 0) return pid;
    signal(SIGINT, SIG_DFL);
    signal(SIGTERM, SIG_DFL);
    if (chdir(dir.c_str()) != 0) _exit(120);
    int fd = out_fd >= 0 ? out_fd : open("/dev/null", O_WRONLY);
    dup2(fd, 1);
    dup2(fd, 2);
    std::vector<char*> argv = {const_cast<char*>(MORVIK_BINARY)};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(MORVIK_BINARY, argv.data());
    _exit(121);
}

// The shell's view of how a process ended: its exit status, or 128 + the signal.
int wait_status(pid_t pid) {
    int rc = 0;
    waitpid(pid, &rc, 0);
    return WIFEXITED(rc) ? WEXITSTATUS(rc) : 128 + WTERMSIG(rc);
}

int run_in(const fs::path& dir, const std::vector<std::string>& args) { return wait_status(spawn(dir, args)); }

size_t temporaries_in(const fs::path& dir) {
    size_t n = 0;
    for (const auto& e : fs::directory_iterator(dir)) n += e.path().string().find(".morvik-part") != std::string::npos;
    return n;
}

TEST(OutputSafety, PlantedLinksAreNeverWrittenThrough) {
    // Run in this process, so the temporary names (process id and counter) are known in advance.
    TempDir d;
    const std::vector<uint8_t> img = read_file_bytes(data_path("arm_le.elf"));
    const std::string pid = std::to_string(getpid());
    // The input itself carries the first temporary name of the LXX file.
    const std::string input = "fw.LXX." + pid + "-0.morvik-part";
    d.write(input, img);
    d.write("victim", {'v'});
    std::vector<std::string> links;
    for (const char* out : {"fw.LXX", "fw.SYM", "fw.LIN", "fw.mot"}) {
        links.push_back(out);
        for (int n = 1; n < 12; ++n) links.push_back(std::string(out) + "." + pid + "-" + std::to_string(n) + ".morvik-part");
    }
    for (size_t i = 0; i < links.size(); ++i) {
        fs::create_symlink(i % 2 ? input : "victim", d.path / links[i]);
    }
    fs::remove(d.path / "fw.LIN");  // a link from an output name to the input is refused as "same file" (tested elsewhere)
    fs::create_symlink("victim", d.path / "fw.LIN");

    Session s;
    s.console.to_memory = true;
    const std::string in_path = (d.path / input).string(), out_path = (d.path / "fw").string();
    const char* argv[] = {"morvik", "-d", "-a", "-adef", in_path.c_str(), "-o", out_path.c_str()};
    EXPECT_EQ(run_morvik(s, 7, argv), 0) << s.console.text;

    EXPECT_EQ(read_file_bytes((d.path / input).string()), img);
    EXPECT_EQ(slurp(d.path / "victim"), "v");
    for (const std::string& name : links) {
        bool final_name = name.find(".morvik-part") == std::string::npos;
        // Final names now hold this run's outputs; the links at temporary names are untouched.
        EXPECT_EQ(fs::is_symlink(d.path / name), !final_name) << name;
    }
    EXPECT_EQ(slurp(d.path / "fw.SYM").rfind("/Qelto(DORO-GNU-ELF)-Symbol-Converter\r\n", 0), 0u);
    EXPECT_EQ(slurp(d.path / "fw.LIN").rfind("/Qelto(DORO-GNU-ELF)-Symbol-Converter\r\n", 0), 0u);
    EXPECT_EQ(slurp(d.path / "fw.mot").rfind("S0", 0), 0u);
}

// Unmounts at the end of the test.
struct SmallDisk {
    fs::path at;
    bool mounted = false;
    SmallDisk(const fs::path& p, const char* size) : at(p) {
        fs::create_directory(at);
        mounted = mount("tmpfs", at.c_str(), "tmpfs", 0, (std::string("size=") + size).c_str()) == 0;
    }
    ~SmallDisk() {
        if (mounted) umount(at.c_str());
    }
};

TEST(OutputSafety, FullDiskLeavesOnlyCompleteOutputsAndSaysSo) {
    const std::vector<uint8_t> img = read_file_bytes(data_path("../../examples/firmware.elf"));
    ASSERT_FALSE(img.empty());
    const char* names[] = {"fw.SYM", "fw.LIN", "fw.LXX", "fw.mot"};
    // Sizes from "nothing fits" to "everything fits", through the ones where only some outputs do.
    struct Case {
        std::vector<std::string> args;
        std::vector<const char*> sizes;
    } cases[] = {{{"fw.abs", "-a"}, {"24k", "64k", "76k", "88k"}}, {{"fw.abs", "-d", "-a"}, {"64k", "300k", "340k"}}};
    for (const Case& c : cases) {
        const std::vector<std::string>& args = c.args;
        // What the run writes on a disk with room.
        TempDir roomy;
        roomy.write("fw.abs", img);
        ASSERT_EQ(run_in(roomy.path, args), 0);
        for (const char* size : c.sizes) {
            TempDir d;
            SmallDisk disk(d.path / "disk", size);
            if (!disk.mounted) GTEST_SKIP() << "no tmpfs can be mounted here (needs root)";
            std::string what = args.back() + " " + args[1] + " on " + size;
            // An earlier run's outputs, an LXX of an earlier -d run among them.
            for (const char* name : names) std::ofstream(disk.at / name) << "earlier\r\n";
            std::ofstream(disk.at / "fw.abs", std::ios::binary).write(reinterpret_cast<const char*>(img.data()), img.size());
            int status = run_in(disk.at, args);
            size_t present = 0, expected = 0;
            for (const char* name : names) {
                bool wanted = fs::exists(roomy.path / name);
                expected += wanted;
                if (!fs::exists(disk.at / name)) continue;
                ++present;
                EXPECT_TRUE(wanted) << what << ": " << name << " stayed";
                if (wanted) {
                    EXPECT_EQ(slurp(disk.at / name), slurp(roomy.path / name)) << what << ": " << name;
                }
            }
            EXPECT_EQ(status == 0, present == expected) << what << ": status " << status;
            if (!fs::exists(disk.at / "fw.SYM")) {
                EXPECT_EQ(status, 253) << what;
            }
            EXPECT_EQ(temporaries_in(disk.at), 0u) << what;
        }
    }
}

TEST(OutputSafety, ConcurrentRunsLeaveOneRunsWholeSet) {
    TempDir d;
    d.write("a.abs", read_file_bytes(data_path("arm_le.elf")));
    d.write("b.abs", read_file_bytes(data_path("sh4.elf")));
    const std::vector<std::string> run_a = {"a.abs", "-a", "-o", "fw"}, run_b = {"b.abs", "-a", "-o", "fw"};
    // Each run alone, for the mot file (it carries no usage line).
    std::string mot_of[2];
    for (int i = 0; i < 2; ++i) {
        ASSERT_EQ(run_in(d.path, i ? run_b : run_a), 0);
        mot_of[i] = slurp(d.path / "fw.mot");
    }
    for (int round = 0; round < 25; ++round) {
        pid_t a = spawn(d.path, run_a), b = spawn(d.path, run_b);
        EXPECT_EQ(wait_status(a), 0);
        EXPECT_EQ(wait_status(b), 0);
        std::string sym = slurp(d.path / "fw.SYM"), lin = slurp(d.path / "fw.LIN");
        auto usage = [](const std::string& text) { return text.substr(0, text.find("\r\n", text.find("/usage"))); };
        bool from_a = usage(sym).find(" a.abs ") != std::string::npos;
        EXPECT_EQ(usage(sym), usage(lin)) << "round " << round;
        EXPECT_EQ(slurp(d.path / "fw.mot"), mot_of[from_a ? 0 : 1]) << "round " << round;
    }
    EXPECT_EQ(temporaries_in(d.path), 0u);
    EXPECT_FALSE(fs::exists(d.path / "fw.SYM.morvik-lock"));
}

TEST(OutputSafety, InterruptRemovesOnlyTheRunsTemporaryFiles) {
    const std::vector<uint8_t> img = read_file_bytes(data_path("../../examples/firmware.elf"));
    for (int sig : {SIGINT, SIGTERM, SIGKILL}) {
        TempDir d;
        d.write("fw.abs", img);
        d.write("fw.SYM", {'o', 'l', 'd'});
        // The trace dump is far more than a pipe holds: with nobody reading,
        // the run stops in a console write with its temporary files open.
        int pipe_fds[2];
        ASSERT_EQ(pipe(pipe_fds), 0);
        pid_t pid = spawn(d.path, {"-d", "-a", "fw.abs"}, pipe_fds[1]);
        close(pipe_fds[1]);
        for (int i = 0; i < 1000 && temporaries_in(d.path) < 3; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        ASSERT_EQ(temporaries_in(d.path), 3u) << "signal " << sig;
        kill(pid, sig);
        EXPECT_EQ(wait_status(pid), 128 + sig);
        close(pipe_fds[0]);
        EXPECT_EQ(slurp(d.path / "fw.SYM"), "old") << "signal " << sig;
        if (sig != SIGKILL) {
            EXPECT_EQ(d.files(), (std::vector<std::string>{"fw.SYM", "fw.abs"})) << "signal " << sig;
        } else {
            // Killed outright: the temporary files stay, and the next run is not disturbed by them.
            EXPECT_EQ(run_in(d.path, {"-d", "-a", "fw.abs"}), 0);
            EXPECT_EQ(temporaries_in(d.path), 3u);
            EXPECT_NE(slurp(d.path / "fw.SYM"), "old");
        }
    }
}

}  // namespace
