# Zelv top-level commands. `make run` and `make test` work on a fresh Debian 12 machine.
BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?= -DCMAKE_BUILD_TYPE=Release

# Runs drawing programs under a virtual display when there is none.
XRUN := $(if $(DISPLAY),,xvfb-run -a -s "-screen 0 1280x1024x24 -noreset")

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
	$(XRUN) env ZELV_RUN_HEADLESS=$(if $(DISPLAY),0,1) scripts/run-sample $(BUILD)/zelv

test: build
	$(XRUN) ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

# The tests of the readers of untrusted files with AddressSanitizer and UBSan (CI runs them).
ASAN_TESTS := libext_image_tests libext_texture_tests libext_xmesh_tests libext_pass_tests libext_assimp_tests \
	scene_zf_tests scene_desc_tests scene_morphmap_tests scene_xm_tests scene_morph_tests zfwrite
asan:
	@scripts/install-deps
	cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DZELV_SANITIZE=ON
	cmake --build build-asan -j $(JOBS) --target $(ASAN_TESTS)
	UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp \
		ctest --test-dir build-asan -L "libext|scene" -E GL --output-on-failure -j $(JOBS)
	# Mesa unloads its driver before the leak check, so GL tests check memory errors only.
	UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 ASAN_OPTIONS=detect_leaks=0 \
		$(XRUN) ctest --test-dir build-asan -L libext -R GL --output-on-failure -j $(JOBS)

clean:
	rm -rf $(BUILD) build-asan
