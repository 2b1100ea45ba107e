# Thin wrapper over CMake: `make run` builds and starts the calculator,
# `make test` builds and runs every test through ctest, once against the
# normal build and once against a build with the address and undefined-
# behaviour sanitizers (which also checks every limb index), and fails if
# either fails; then .ci/checks runs cppcheck on src/ and each fuzz target
# for FUZZ_SECONDS seconds (when clang can build them). Warnings are errors
# in the builds `make test` makes. `make fuzz` builds the fuzz targets with
# clang (installing it and libFuzzer when missing) and runs each for
# FUZZ_SECONDS seconds. `make tune` measures the method thresholds on this
# machine (bench/tune.cpp); `make test-loaded` runs `make test` beside two
# busy loops (.ci/test-loaded).
BUILD ?= build
SAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

# The pool is carved once and kept for the life of the process (unit tests
# carve it again and again), so leak reports would only name that.
SAN_ENV = ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

.PHONY: all build build-san run test test-normal test-san deps deps-run deps-fuzz configure clean fuzz fuzz-build bench tune test-loaded

all: build

deps:
	@./.ci/ensure-packages

# What the calculator alone needs: a compiler, cmake and make.
deps-run:
	@./.ci/ensure-packages --calculator

# Configured anew each time, so that a build first made by `make run`
# (without GoogleTest) picks the tests up once their packages are there.
configure: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release -DVANTREL_WERROR=ON

$(SAN_BUILD)/CMakeCache.txt: | deps
	cmake -S . -B $(SAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DVANTREL_SANITIZE=ON -DVANTREL_WERROR=ON

build: configure
	cmake --build $(BUILD) -j $(JOBS)

build-san: deps $(SAN_BUILD)/CMakeCache.txt
	cmake -S . -B $(SAN_BUILD)
	cmake --build $(SAN_BUILD) -j $(JOBS)

# Builds and starts only the calculator.
run: deps-run
	@[ -f $(BUILD)/CMakeCache.txt ] || cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release
	cmake --build $(BUILD) -j $(JOBS) --target vantrel
	$(BUILD)/vantrel

# Both suites run even when the first fails, so one run shows every failure.
test: build build-san
	@status=0; \
	echo "== tests: normal build ($(BUILD))"; \
	(cd $(BUILD) && ctest --output-on-failure -j $(JOBS)) || status=1; \
	echo "== tests: sanitizer build ($(SAN_BUILD))"; \
	(cd $(SAN_BUILD) && $(SAN_ENV) ctest --output-on-failure -j $(JOBS)) || status=1; \
	./.ci/checks $(FUZZ_BUILD) $(FUZZ_SECONDS) $(JOBS) || status=1; \
	exit $$status

test-normal: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

test-san: build-san
	cd $(SAN_BUILD) && $(SAN_ENV) ctest --output-on-failure -j $(JOBS)

# Clang and its libFuzzer runtime, installed when missing (as root on Debian).
deps-fuzz: deps
	@./.ci/ensure-packages --fuzz

fuzz-build: deps-fuzz
	CXX=clang++ cmake -S fuzz -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(FUZZ_BUILD) -j $(JOBS)

fuzz: fuzz-build
	./fuzz/run_fuzzers.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

bench: build
	bench/run.sh $(BUILD)/vantrel

# Builds the tuning program (not part of `make`) and prints the crossovers.
tune: configure
	cmake --build $(BUILD) -j $(JOBS) --target tune
	$(BUILD)/tune

# `make test` while two processes keep both cores busy: no test may depend
# on the machine being idle.
test-loaded:
	./.ci/test-loaded

clean:
	rm -rf $(BUILD) $(SAN_BUILD) $(FUZZ_BUILD)
