# Two commands a user needs: `make demo` and `make test`.
# `make` and `make demo` build the program alone (no test libraries needed);
# `make test` builds and runs the tests, `make bench` the benchmarks.
BUILD   ?= build
ASAN    ?= build-sanitize
TSAN    ?= build-tsan
JOBS    ?= $(shell nproc 2>/dev/null || echo 2)
EXAMPLE ?= aldmouth-bank
DEMO    ?= demo-run

FUZZ    ?= build-fuzz
FUZZ_SECONDS ?= 60

.PHONY: all build deps-demo deps-test test test-sanitize test-tsan bench demo clean fuzz

# Run as root on Debian, `make test` and `make bench` install the library
# they need when it is missing (the program itself needs none).
define apt_need
	@if [ "$$(id -u)" = 0 ] && command -v apt-get >/dev/null && ! dpkg -s $(1) >/dev/null 2>&1; then \
	  echo "make: installing $(1)"; \
	  DEBIAN_FRONTEND=noninteractive apt-get install -y -q $(1) >/dev/null || \
	  { apt-get update -q >/dev/null && DEBIAN_FRONTEND=noninteractive apt-get install -y -q $(1) >/dev/null; }; \
	fi
endef

all: build

# The first configuration leaves the tests and benchmarks out; `make test`
# and `make bench` switch them on in the same build folder.
$(BUILD)/CMakeCache.txt: CMakeLists.txt src/vorn2nc/CMakeLists.txt src/vorncheck/CMakeLists.txt \
                         tests/vornens/CMakeLists.txt
	@if [ -f $@ ]; then cmake -S . -B $(BUILD) >/dev/null; \
	else cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DVORN_BENCH=OFF; fi
	@touch $@

# The programs alone: vornv7, vorncheck, and vorn2nc when netcdf-c is there.
build: $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS) --target programs

# The Debian packages of vorn2nc and the figures (the demo), and besides
# them the ensemble engines of the tests, with no service started or
# enabled: installed when run as root (tools/deps.sh says what first).
deps-demo:
	@bash tools/deps.sh demo
deps-test:
	@bash tools/deps.sh test

test: deps-test $(BUILD)/CMakeCache.txt
	$(call apt_need,libgtest-dev)
	cmake -S . -B $(BUILD) -DBUILD_TESTING=ON
	cmake --build $(BUILD) -j $(JOBS)
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

$(ASAN)/CMakeCache.txt:
	$(call apt_need,libgtest-dev)
	cmake -S . -B $(ASAN) -DCMAKE_BUILD_TYPE=Debug -DVORN_SANITIZE=ON -DBUILD_TESTING=ON

test-sanitize: deps-test $(ASAN)/CMakeCache.txt
	cmake --build $(ASAN) -j $(JOBS)
	cd $(ASAN) && ctest --output-on-failure -j $(JOBS)

# The threaded whole runs and interrupted runs under ThreadSanitizer; a
# report makes the program's exit status 66, which the tests catch.
$(TSAN)/CMakeCache.txt:
	$(call apt_need,libgtest-dev)
	cmake -S . -B $(TSAN) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVORN_TSAN=ON -DBUILD_TESTING=ON

test-tsan: $(TSAN)/CMakeCache.txt
	cmake --build $(TSAN) -j $(JOBS) --target vorn_tests
	cd $(TSAN) && TSAN_OPTIONS="halt_on_error=0 exitcode=66" ctest --output-on-failure -j $(JOBS)

bench: $(BUILD)/CMakeCache.txt
	$(call apt_need,libbenchmark-dev)
	cmake -S . -B $(BUILD) -DVORN_BENCH=ON
	bash tools/benchlib.sh $(BUILD)
	cmake --build $(BUILD) -j $(JOBS) --target benchmarks
	bash bench/run.sh $(BUILD)
	if [ -x $(BUILD)/vorn2nc_bench ]; then $(BUILD)/vorn2nc_bench; fi
	if [ -x $(BUILD)/vorn2nc_assess_bench ]; then $(BUILD)/vorn2nc_assess_bench; fi

# The libFuzzer targets (clang), each run for FUZZ_SECONDS.
fuzz:
	cmake -S fuzz -B $(FUZZ) -DCMAKE_CXX_COMPILER=clang++
	cmake --build $(FUZZ) -j $(JOBS)
	bash fuzz/run.sh $(FUZZ) $(FUZZ_SECONDS)

# make demo EXAMPLE=NAME runs examples/NAME instead of Aldmouth Bank.
demo: deps-demo
	@$(MAKE) --no-print-directory build
	bash tools/demo.sh $(BUILD) $(DEMO) $(EXAMPLE)

clean:
	rm -rf $(BUILD) $(ASAN) $(TSAN) $(FUZZ) $(DEMO)
