# Everything on a fresh Debian 12 machine: `make run` and `make test`.
JOBS ?= 2
BUILD := build
SAN_BUILD := build/sanitize
BENCH_BUILD := build/bench

.PHONY: all deps build run test bench clean

all: build

deps:
	@bash scripts/install-deps.sh

build: deps
	cmake -S . -B $(BUILD) -DDWELLOR_SANITIZE=OFF
	cmake --build $(BUILD) -j$(JOBS) --target dwellor

run: build
	./$(BUILD)/dwellor

# Every test, built with AddressSanitizer and UBSan; the GUI tests start
# their own Xvfb.
test: deps
	cmake -S . -B $(SAN_BUILD) -DDWELLOR_SANITIZE=ON
	cmake --build $(SAN_BUILD) -j$(JOBS)
	cd $(SAN_BUILD) && ctest --output-on-failure --timeout 300

bench: deps
	cmake -S . -B $(BENCH_BUILD) -DDWELLOR_BENCH=ON -DDWELLOR_TESTS=OFF -DCMAKE_BUILD_TYPE=Release
	cmake --build $(BENCH_BUILD) -j$(JOBS) --target dwellor_bench
	./$(BENCH_BUILD)/bench/dwellor_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true

clean:
	rm -rf $(BUILD)
