# The two everyday commands:
#   make run   - build morvik and convert the bundled example firmware
#   make test  - build and run every test (plain build, then the sanitizer build)
BUILD      ?= build
BUILD_SAN  ?= build-asan
JOBS       ?= 2
CMAKE      ?= cmake

.PHONY: all build run test test-plain test-sanitize bench fuzz fuzz-build fuzz-all fuzz-cov clean

all: build

build:
	$(CMAKE) -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release
	$(CMAKE) --build $(BUILD) -j$(JOBS)

run: build
	mkdir -p out
	cp examples/firmware.elf out/firmware.elf
	cd out && ../$(BUILD)/morvik firmware.elf -a; echo "morvik exit code: $$?"
	@echo "Outputs in out/: out/firmware.SYM (symbols), out/firmware.LIN (lines), out/firmware.mot (S-records)"

test: test-plain test-sanitize

test-plain: build
	cd $(BUILD) && ctest --output-on-failure -j$(JOBS)

test-sanitize:
	$(CMAKE) -S . -B $(BUILD_SAN) -DCMAKE_BUILD_TYPE=Debug -DMORVIK_SANITIZE=ON
	$(CMAKE) --build $(BUILD_SAN) -j$(JOBS)
	cd $(BUILD_SAN) && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure -j$(JOBS)

clean:
	rm -rf $(BUILD) $(BUILD_SAN) out

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
bench:
	$(CMAKE) -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release
	$(CMAKE) --build $(BUILD) -j$(JOBS) --target morvik
	BENCH_JOBS=$(JOBS) bash bench/run_bench.sh -m $(BUILD)/morvik
