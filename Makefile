# The everyday commands:
#   make run      - build morvik alone and convert the bundled example firmware
#   make test     - build and run every test (plain build, sanitizer build, and
#                   the Windows build under wine where wine and MinGW-w64 are installed)
#   make windows  - cross-build a static build-win/morvik.exe with MinGW-w64
#   make install  - install morvik and its man page (PREFIX=/usr/local)
BUILD      ?= build
BUILD_SAN  ?= build-asan
BUILD_WIN  ?= build-win
JOBS       ?= 2
CMAKE      ?= cmake
PREFIX     ?= /usr/local
MINGW_TRIPLET ?= x86_64-w64-mingw32

.PHONY: all build configure run test test-plain test-sanitize test-windows windows install bench fuzz fuzz-build fuzz-all fuzz-cov clean

all: build

configure:
	$(CMAKE) -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release

build: configure
	$(CMAKE) --build $(BUILD) -j$(JOBS)

# Builds only the converter (no GoogleTest needed); the recipe ends with the
# converter's own exit status, so a failed conversion fails `make run`.
run: configure
	$(CMAKE) --build $(BUILD) -j$(JOBS) --target morvik
	mkdir -p out
	cp examples/firmware.elf out/firmware.elf
	@cd out && ../$(BUILD)/morvik firmware.elf -a; status=$$?; \
	  echo "morvik exit code: $$status"; \
	  echo "Outputs in out/: out/firmware.SYM (symbols), out/firmware.LIN (lines), out/firmware.mot (S-records)"; \
	  exit $$status

test: test-plain test-sanitize test-windows

test-plain: build
	cd $(BUILD) && ctest --output-on-failure --no-tests=error -j$(JOBS)

test-sanitize:
	$(CMAKE) -S . -B $(BUILD_SAN) -DCMAKE_BUILD_TYPE=Debug -DMORVIK_SANITIZE=ON
	$(CMAKE) --build $(BUILD_SAN) -j$(JOBS)
	cd $(BUILD_SAN) && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure --no-tests=error -j$(JOBS)

windows:
	$(CMAKE) -S . -B $(BUILD_WIN) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DMINGW_TRIPLET=$(MINGW_TRIPLET) -DCMAKE_BUILD_TYPE=Release
	$(CMAKE) --build $(BUILD_WIN) -j$(JOBS)

# The Windows build's outputs against the Linux build's, under wine.
test-windows:
	@if command -v wine >/dev/null 2>&1 && command -v $(MINGW_TRIPLET)-g++ >/dev/null 2>&1; then \
	  $(MAKE) --no-print-directory build windows && \
	  bash tests/windows/wine_compare.sh $(BUILD)/morvik $(BUILD_WIN)/morvik.exe; \
	else \
	  echo "test-windows: skipped (needs wine and $(MINGW_TRIPLET)-g++; .ci/run installs them)"; \
	fi

install: configure
	$(CMAKE) --build $(BUILD) -j$(JOBS) --target morvik
	$(CMAKE) --install $(BUILD) --prefix $(PREFIX)

clean:
	rm -rf $(BUILD) $(BUILD_SAN) $(BUILD_WIN) out

# Fuzzing (needs clang and libclang-rt-14-dev).
#   make fuzz FUZZ_SECONDS=600       the whole-file target alone
#   make fuzz-all FUZZ_SECONDS=600   every target that long, FUZZ_JOBS at a time (one per core),
#                                    corpora merged, a summary line per target
#   make fuzz-cov                    llvm-cov per source file over the corpora, unreached functions
BUILD_FUZZ   ?= build-fuzz
BUILD_COV    ?= build-cov
FUZZ_SECONDS ?= 300
FUZZ_JOBS    ?= $(shell nproc)
fuzz-build:
	$(CMAKE) -S . -B $(BUILD_FUZZ) -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMORVIK_FUZZ=ON -DMORVIK_TESTS=OFF
	$(CMAKE) --build $(BUILD_FUZZ) -j$(JOBS)
fuzz: fuzz-build
	FUZZ_JOBS=1 bash fuzz/fuzz_all.sh $(BUILD_FUZZ) $(FUZZ_SECONDS) convert
fuzz-all: fuzz-build
	FUZZ_JOBS=$(FUZZ_JOBS) bash fuzz/fuzz_all.sh $(BUILD_FUZZ) $(FUZZ_SECONDS)
fuzz-cov:
	JOBS=$(JOBS) bash fuzz/fuzz_cov.sh $(BUILD_COV) $(BUILD_FUZZ)

# Benchmark against readelf on generated firmware (needs gcc-arm-none-eabi,
# binutils, python3; see bench/README.md): make bench [BENCH_N=250] [BENCH_RUNS=5]
#   [BENCH_PHASES=1 [BENCH_BASELINE=old/morvik]]: instructions per phase under callgrind
bench:
	$(CMAKE) -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release
	$(CMAKE) --build $(BUILD) -j$(JOBS) --target morvik
	BENCH_JOBS=$(JOBS) bash bench/run_bench.sh -m $(BUILD)/morvik
