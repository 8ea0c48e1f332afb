# Front door of the build. `make` builds, `make test` installs what is
# missing, builds and runs every test, `make bench` runs the benchmarks.
# SANITIZE=1 builds with AddressSanitizer and UndefinedBehaviorSanitizer in a
# separate folder. `make fuzz` runs each fuzz target for FUZZ_SECONDS; `make
# test` ends with a short run of each (FUZZ_SMOKE_SECONDS), built with clang
# in build-fuzz/.

SANITIZE ?= 0
BUILD_TYPE ?= RelWithDebInfo
JOBS ?= $(shell nproc)

ifeq ($(SANITIZE),1)
BUILD_DIR ?= build-sanitize
CMAKE_FLAGS += -DTESSELLON_SANITIZE=ON
else
BUILD_DIR ?= build
endif

CMAKE_FLAGS += -DCMAKE_BUILD_TYPE=$(BUILD_TYPE)

FUZZ_SECONDS ?= 60
FUZZ_SMOKE_SECONDS ?= 3

.PHONY: all build deps configure test bench demo soak fuzz fuzz-build screenshots package clean

all: build

deps:
	@scripts/install-deps.sh

configure:
	@cmake -S . -B $(BUILD_DIR) -G Ninja $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD_DIR) -j $(JOBS)

test: deps
	@$(MAKE) --no-print-directory build
	@$(MAKE) --no-print-directory fuzz-build
	@fuzz/run.sh build-fuzz $(FUZZ_SMOKE_SECONDS)
	@cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS)

fuzz-build:
	@cmake -S . -B build-fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++-14 -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTESSELLON_BUILD_TESTS=OFF -DTESSELLON_BUILD_FUZZ=ON >/dev/null
	@cmake --build build-fuzz -j $(JOBS) --target fuzz_targets

fuzz: deps fuzz-build
	@fuzz/run.sh build-fuzz $(FUZZ_SECONDS)

bench: deps
	@cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DTESSELLON_BUILD_TESTS=OFF -DTESSELLON_BUILD_BENCH=ON >/dev/null
	@cmake --build build-bench -j $(JOBS)
	@bench/run-all.sh build-bench

demo:
	@scripts/demo.sh

soak: deps
	@$(MAKE) --no-print-directory build
	@scripts/soak.sh $(BUILD_DIR)/bin

# Every window on Xvfb, as PNGs in docs/screenshots/ (shown in the README).
screenshots: deps
	@$(MAKE) --no-print-directory build
	@scripts/screenshots.sh $(BUILD_DIR)/bin docs/screenshots

# A Debian package of the programs, $(BUILD_DIR)/tessellon_VERSION_ARCH.deb,
# checked by lintian (errors fail the target).
package:
	@scripts/install-deps.sh package
	@$(MAKE) --no-print-directory build
	@cd $(BUILD_DIR) && cpack -G DEB >/dev/null
	@lintian --fail-on error $(BUILD_DIR)/tessellon_*.deb
	@ls $(BUILD_DIR)/tessellon_*.deb

clean:
	rm -rf build build-sanitize build-bench build-fuzz
