# The two commands for users: `make run` and `make test`. Both install what is
# missing first (Debian packages, needs root), then build. Off Debian the
# install step is skipped and CMake names whatever is missing.

BUILD_DIR ?= build
ASAN_DIR ?= build-asan
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: all deps build build-asan run test test-asan clean

all: build

deps:
	@if command -v dpkg-query >/dev/null 2>&1; then ./scripts/install-deps.sh; \
	else echo "note: no dpkg-query (not Debian): skipping the package install, building with what is installed"; fi

$(BUILD_DIR)/CMakeCache.txt:
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVESMIRA_WERROR=ON $(CMAKE_FLAGS)

build: deps $(BUILD_DIR)/CMakeCache.txt
	cmake --build $(BUILD_DIR) -j $(JOBS)

$(ASAN_DIR)/CMakeCache.txt:
	cmake -S . -B $(ASAN_DIR) -DCMAKE_BUILD_TYPE=Debug -DVESMIRA_WERROR=ON -DVESMIRA_SANITIZE=ON $(CMAKE_FLAGS)

build-asan: deps $(ASAN_DIR)/CMakeCache.txt
	cmake --build $(ASAN_DIR) -j $(JOBS)

run: build
	./$(BUILD_DIR)/app/vesmira

# Runs both builds' tests even when the first fails, and closes with the count
# of test cases in each.
test: build build-asan
	@JOBS=$(JOBS) ./scripts/run-tests.sh $(BUILD_DIR) $(ASAN_DIR)

# libFuzzer runs in a clang build of their own; FUZZ_SECONDS per target.
FUZZ_DIR ?= build-fuzz
FUZZ_SECONDS ?= 60

.PHONY: fuzz fuzz-smoke

fuzz: deps
	FUZZ_BUILD_DIR=$(FUZZ_DIR) FUZZ_SECONDS=$(FUZZ_SECONDS) JOBS=$(JOBS) ./scripts/fuzz.sh

fuzz-smoke: deps
	FUZZ_BUILD_DIR=$(FUZZ_DIR) FUZZ_SECONDS=5 JOBS=$(JOBS) ./scripts/fuzz.sh

# Start-up, step latency and the logic's own speed, measured on demand in a
# Release build of their own; see scripts/bench.sh.
BENCH_DIR ?= build-bench

.PHONY: bench

bench: deps
	BENCH_DIR=$(BENCH_DIR) JOBS=$(JOBS) ./scripts/bench.sh

# The Debian package (CPack), from a Release build of its own, with Debian's
# hardening flags (stack protector, fortified functions, read-only relocations
# bound at start) where dpkg-buildflags is there to name them.
PKG_DIR ?= build-pkg
BUILDFLAG = $(shell command -v dpkg-buildflags >/dev/null 2>&1 && \
	DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get $(1))

.PHONY: package

package: deps
	cmake -S . -B $(PKG_DIR) -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr -DVESMIRA_TESTS=OFF -DVESMIRA_WERROR=ON \
		-DCMAKE_CXX_FLAGS="$(call BUILDFLAG,CPPFLAGS) $(call BUILDFLAG,CXXFLAGS)" \
		-DCMAKE_EXE_LINKER_FLAGS="$(call BUILDFLAG,LDFLAGS)" $(CMAKE_FLAGS)
	cmake --build $(PKG_DIR) -j $(JOBS)
	cd $(PKG_DIR) && cpack

# Windows, cross-built here and tested under Wine (Debian 12): the installer
# and the zip in build-windows/; see scripts/windows-build.sh.
WINDOWS_DIR ?= build-windows

.PHONY: windows test-windows

windows:
	WINDOWS_DIR=$(WINDOWS_DIR) JOBS=$(JOBS) ./scripts/windows-build.sh

test-windows: windows
	WINDOWS_DIR=$(WINDOWS_DIR) JOBS=$(JOBS) ./scripts/windows-test.sh

clean:
	rm -rf $(WINDOWS_DIR) $(BUILD_DIR) $(ASAN_DIR) $(FUZZ_DIR) $(BENCH_DIR) $(PKG_DIR)
