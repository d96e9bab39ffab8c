# Zelv top-level commands. `make run` and `make test` work on a fresh Debian 12 machine.
BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?= -DCMAKE_BUILD_TYPE=Release

# Runs drawing programs under a virtual display when there is none.
XRUN := $(if $(DISPLAY),,xvfb-run -a -s "-screen 0 1280x1024x24 -noreset")

.PHONY: all build deps run test clean asan fuzz

all: build

deps:
	@scripts/install-deps

$(BUILD)/CMakeCache.txt:
	@scripts/install-deps
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)

build: $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

run: build
	$(XRUN) env ZELV_RUN_HEADLESS=$(if $(DISPLAY),0,1) scripts/run-sample $(BUILD)/zelv

test: build
	$(XRUN) ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

# The whole suite built with AddressSanitizer and UBSan, leak checking on (CI runs it).
# The software rasterizer draws on the calling thread here. The leak checker
# stops every thread at exit, and now and then its tracer crashes while a
# driver thread winds down (the test itself passed): a test that fails is run
# once more. A memory fault or a leak of ours fails both runs.
SANITIZE_ENV := LP_NUM_THREADS=0 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
	LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp:print_suppressions=0
asan:
	@scripts/install-deps
	cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DZELV_SANITIZE=ON
	cmake --build build-asan -j $(JOBS)
	$(XRUN) env $(SANITIZE_ENV) ctest --test-dir build-asan --output-on-failure --repeat until-pass:2 -j $(JOBS)

# The libFuzzer targets of the readers (clang, AddressSanitizer and UBSan) in
# build-fuzz, each then run once over its seed corpus (CI runs it). Fuzz one
# from its seeds, keeping what it finds elsewhere:
#   mkdir -p /tmp/zf && build-fuzz/fuzz/zf_fuzz /tmp/zf fuzz/corpus/zf_fuzz -max_total_time=60
# Targets: one per folder of fuzz/corpus.
fuzz:
	@scripts/install-deps
	CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZELV_FUZZ=ON -DZELV_TESTS=OFF
	cmake --build build-fuzz -j $(JOBS) --target fuzz
	@for corpus in fuzz/corpus/*/; do \
		target=$$(basename $$corpus); \
		echo "fuzz: $$target over its seeds"; \
		build-fuzz/fuzz/$$target -runs=0 $$corpus > build-fuzz/$$target.log 2>&1 || \
			{ tail -n 40 build-fuzz/$$target.log; exit 1; }; \
	done

clean:
	rm -rf $(BUILD) build-asan build-fuzz
