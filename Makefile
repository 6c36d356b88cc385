# Two commands a user needs: `make demo` and `make test`.
BUILD   ?= build
ASAN    ?= build-sanitize
JOBS    ?= $(shell nproc 2>/dev/null || echo 2)

FUZZ    ?= build-fuzz
FUZZ_SECONDS ?= 60

.PHONY: all build test test-sanitize bench demo clean fuzz

all: build

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release

build: $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

$(ASAN)/CMakeCache.txt:
	cmake -S . -B $(ASAN) -DCMAKE_BUILD_TYPE=Debug -DVORN_SANITIZE=ON

test-sanitize: $(ASAN)/CMakeCache.txt
	cmake --build $(ASAN) -j $(JOBS)
	cd $(ASAN) && ctest --output-on-failure -j $(JOBS)

bench: build
	$(BUILD)/vorn_bench

# The libFuzzer targets (clang), each run for FUZZ_SECONDS.
fuzz:
	cmake -S fuzz -B $(FUZZ) -DCMAKE_CXX_COMPILER=clang++
	cmake --build $(FUZZ) -j $(JOBS)
	bash fuzz/run.sh $(FUZZ) $(FUZZ_SECONDS)

demo: build
	bash tools/demo.sh $(BUILD) demo-run

clean:
	rm -rf $(BUILD) $(ASAN) $(FUZZ) demo-run
