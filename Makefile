# Two commands a user needs: `make demo` and `make test`.
BUILD   ?= build
ASAN    ?= build-sanitize
JOBS    ?= $(shell nproc 2>/dev/null || echo 2)

.PHONY: all build deps test test-sanitize bench demo clean

all: build

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release

build: $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

# The Debian packages of vorn2nc and the figures: installed when run as root.
deps:
	@bash tools/deps.sh

test: deps
	@$(MAKE) --no-print-directory build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

$(ASAN)/CMakeCache.txt:
	cmake -S . -B $(ASAN) -DCMAKE_BUILD_TYPE=Debug -DVORN_SANITIZE=ON

test-sanitize: deps $(ASAN)/CMakeCache.txt
	cmake --build $(ASAN) -j $(JOBS)
	cd $(ASAN) && ctest --output-on-failure -j $(JOBS)

bench: $(BUILD)/CMakeCache.txt
	bash tools/benchlib.sh $(BUILD)
	cmake --build $(BUILD) -j $(JOBS)
	bash bench/run.sh $(BUILD)
	if [ -x $(BUILD)/vorn2nc_bench ]; then $(BUILD)/vorn2nc_bench; fi

demo: deps
	@$(MAKE) --no-print-directory build
	bash tools/demo.sh $(BUILD) demo-run

clean:
	rm -rf $(BUILD) $(ASAN) demo-run
