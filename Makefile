# Everything on a fresh Debian 12 machine: `make run`, `make test`,
# `make bench`, `make package`, `make install`.
JOBS ?= 2
BUILD := build
SAN_BUILD := build/sanitize
BENCH_BUILD := build/bench
PACKAGE_BUILD := build/package
WINDOWS_BUILD := build/windows
WINDOWS_TEST_BUILD := build/windows-test
WINDOWS_CMAKE := -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake

.PHONY: all build run test test-windows bench package install clean windows package-windows

all: build

# Only what building and running need; no tests, and warnings stay warnings
# so that a newer compiler cannot stop the build.
build:
	@bash scripts/install-deps.sh build
	cmake -S . -B $(BUILD) -DDWELLOR_SANITIZE=OFF -DDWELLOR_TESTS=OFF -DDWELLOR_WERROR=OFF
	cmake --build $(BUILD) -j$(JOBS) --target dwellor

run: build
	./$(BUILD)/dwellor

# Into /usr/local; builds first when nothing is built yet.
install:
	@[ -x $(BUILD)/dwellor ] || $(MAKE) build
	cmake --install $(BUILD)

# Every test, built with AddressSanitizer and UBSan and warnings as errors;
# the GUI tests start their own Xvfb. Then the Windows build, under Wine.
test:
	@bash scripts/install-deps.sh test
	cmake -S . -B $(SAN_BUILD) -DDWELLOR_SANITIZE=ON -DDWELLOR_WERROR=ON
	cmake --build $(SAN_BUILD) -j$(JOBS)
	cd $(SAN_BUILD) && ctest --output-on-failure --timeout 300
	$(MAKE) test-windows

# The Windows build's tests alone, under Wine on a private Xvfb.
test-windows:
	@bash scripts/install-deps.sh test
	cmake -S . -B $(WINDOWS_TEST_BUILD) $(WINDOWS_CMAKE) -DDWELLOR_WERROR=ON
	cmake --build $(WINDOWS_TEST_BUILD) -j$(JOBS)
	cd $(WINDOWS_TEST_BUILD) && ctest --output-on-failure --timeout 300

# build/windows/dwellor.exe: 64-bit Windows 10 and 11, one file, no DLL beside it.
windows:
	@bash scripts/install-deps.sh windows
	cmake -S . -B $(WINDOWS_BUILD) $(WINDOWS_CMAKE) -DCMAKE_BUILD_TYPE=Release -DDWELLOR_TESTS=OFF -DDWELLOR_WERROR=OFF
	cmake --build $(WINDOWS_BUILD) -j$(JOBS) --target dwellor

# dwellor-<version>-setup.exe (per-user NSIS installer) and
# dwellor-<version>-windows.zip, in this folder.
package-windows:
	@bash scripts/install-deps.sh windows-package
	cmake -S . -B $(WINDOWS_BUILD) $(WINDOWS_CMAKE) -DCMAKE_BUILD_TYPE=Release -DDWELLOR_TESTS=OFF -DDWELLOR_WERROR=OFF
	cmake --build $(WINDOWS_BUILD) -j$(JOBS) --target dwellor
	cd $(WINDOWS_BUILD) && cpack -G "NSIS;ZIP"
	cp $(WINDOWS_BUILD)/dwellor-*-setup.exe $(WINDOWS_BUILD)/dwellor-*-windows.zip .

# The cost of a tick; then both rest rules on replayed pointer traces, in a table.
bench:
	@bash scripts/install-deps.sh bench
	cmake -S . -B $(BENCH_BUILD) -DDWELLOR_BENCH=ON -DDWELLOR_TESTS=OFF -DCMAKE_BUILD_TYPE=Release
	cmake --build $(BENCH_BUILD) -j$(JOBS) --target dwellor_bench
	./$(BENCH_BUILD)/bench/dwellor_bench --benchmark_filter="Tick|CountdownFrame" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
	./$(BENCH_BUILD)/bench/dwellor_bench --benchmark_filter=^Trace/ --benchmark_min_time=0.1 --benchmark_counters_tabular=true
	./$(BENCH_BUILD)/bench/dwellor_bench --benchmark_filter=^BM_Countdown/ --benchmark_counters_tabular=true

# dwellor_<version>_<arch>.deb in this folder.
package:
	@bash scripts/install-deps.sh package
	cp "$$(JOBS=$(JOBS) bash scripts/build-package.sh $(PACKAGE_BUILD))" .

clean:
	rm -rf $(BUILD)
