# A thin wrapper over CMake for everyday work; the scripts in scripts/ are
# what a fresh machine runs.
BUILD ?= build/test
ASAN_BUILD ?= build/asan
BENCH_BUILD ?= build/bench
JOBS ?= $(shell nproc)

.PHONY: all test asan run bench format clean

all: $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo

test: all
	QT_QPA_PLATFORM=offscreen ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

asan:
	bash scripts/test.sh --sanitize

run: all
	$(BUILD)/tarnwell

bench:
	bash scripts/bench.sh

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf build
