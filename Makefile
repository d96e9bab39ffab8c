# Zelv top-level commands. `make run` and `make test` work on a fresh Debian 12 machine.
BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?= -DCMAKE_BUILD_TYPE=Release

# Runs drawing programs under a virtual display when there is none.
XRUN := $(if $(DISPLAY),,xvfb-run -a -s "-screen 0 1280x1024x24")

.PHONY: all build deps run test clean asan

all: build

deps:
	@scripts/install-deps

$(BUILD)/CMakeCache.txt:
	@scripts/install-deps
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)

build: $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

run: build
	$(XRUN) scripts/run-sample $(BUILD)/zelv

test: build
	$(XRUN) ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

asan:
	@scripts/install-deps
	cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DZELV_SANITIZE=ON
	cmake --build build-asan -j $(JOBS)
	$(XRUN) ctest --test-dir build-asan --output-on-failure -j $(JOBS)

clean:
	rm -rf $(BUILD) build-asan
