# Corvina: make run | make test | make test-asan | make test-tsan | make bench | make fuzz-smoke | make fuzz
BUILD      ?= build
ASAN_BUILD ?= build-asan
TSAN_BUILD ?= build-tsan
FUZZ_BUILD ?= build-fuzz
JOBS       ?= $(shell nproc)
CTEST_ARGS ?=
# Extra CMake settings, e.g. CMAKE_ARGS=-DCORVINA_WERROR=ON (as CI builds).
CMAKE_ARGS ?=

.PHONY: all deps configure build build-tests build-bench run test test-asan test-tsan bench fuzz-build fuzz-smoke fuzz clean install package demo

all: build

deps:
	@bash scripts/install-deps.sh

configure: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release $(CMAKE_ARGS)

# The programs and their installed files only: what make run, demo,
# install and package need. The test programs and benchmarks are built by
# make test and make bench.
build: configure
	cmake --build $(BUILD) -j $(JOBS)

build-tests: configure
	cmake --build $(BUILD) -j $(JOBS) --target all corvina_tests

build-bench: configure
	cmake --build $(BUILD) -j $(JOBS) --target all corvina_bench

run: build
	$(BUILD)/src/app/corvina

# Corvina against a local stand-in search engine: no internet needed.
demo: build
	bash scripts/demo.sh $(BUILD)

test: build-tests
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS) $(CTEST_ARGS)

test-asan: deps
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DCORVINA_SANITIZE=ON -DCORVINA_BENCH=OFF $(CMAKE_ARGS)
	cmake --build $(ASAN_BUILD) -j $(JOBS) --target all corvina_tests
	cd $(ASAN_BUILD) && QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1 \
		ctest --output-on-failure -j $(JOBS) $(CTEST_ARGS)

# The test programs that run threads (sockets and host lookups, the parallel
# harvest, the base's shared state) under ThreadSanitizer; any report fails
# the test. Each test runs in a process of its own (ctest): a process that
# Qt has started leaves the sanitizer blind to the starting thread's locks
# afterwards. Qt, glib and libdbus are not built for the sanitizer:
# tests/tsan.supp names the reports from inside them. TSAN_SKIP holds the
# tests whose threads hand their data over only through Qt's event queue
# and QThread::wait, whose order the sanitizer cannot see in a Qt not built
# for it (and which it reports as races).
TSAN_TESTS ?= test_base test_net test_harvest
TSAN_SKIP  ?= ^(ParallelFetcher|ParallelHarvest|NmhttpTls)[.]
test-tsan: deps
	cmake -S . -B $(TSAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCORVINA_TSAN=ON -DCORVINA_BENCH=OFF $(CMAKE_ARGS)
	cmake --build $(TSAN_BUILD) -j $(JOBS) --target $(TSAN_TESTS)
	@suites=$$(for t in $(TSAN_TESTS); do QT_QPA_PLATFORM=offscreen $(TSAN_BUILD)/tests/$$t --gtest_list_tests | \
		sed -n 's/^\([A-Za-z0-9_]*\)\.$$/\1/p'; done | paste -sd'|'); \
	cd $(TSAN_BUILD) && QT_QPA_PLATFORM=offscreen \
		TSAN_OPTIONS="halt_on_error=1 exitcode=66 second_deadlock_stack=1 suppressions=$(CURDIR)/tests/tsan.supp" \
		ctest --output-on-failure -j $(JOBS) -R "^($$suites)[.]" -E '$(TSAN_SKIP)' $(CTEST_ARGS)

bench: build-bench
	@for b in $(BUILD)/bench/bench_*; do [ -x "$$b" ] && echo "== $$b" && "$$b"; done; \
	for s in bench/*.sh; do [ -f "$$s" ] && echo "== $$s" && BUILD=$(BUILD) bash "$$s"; done; true

# Installs under PREFIX (default /usr/local); DESTDIR stages it elsewhere.
PREFIX ?= /usr/local
install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

# A .deb of the programs and their desktop files, in $(BUILD).
package: build
	cd $(BUILD) && cpack -G DEB

# Fuzz targets (fuzz/): clang with libFuzzer, AddressSanitizer and UBSan.
# fuzz-smoke runs each for 30 seconds, fuzz for 10 minutes (FUZZ_SECONDS).
fuzz-build:
	@bash scripts/install-deps.sh clang-14 libclang-rt-14-dev
	cmake -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++-14 \
		-DCORVINA_FUZZ=ON -DCORVINA_TESTS=OFF -DCORVINA_BENCH=OFF $(CMAKE_ARGS)
	cmake --build $(FUZZ_BUILD) --target corvina_fuzz -j $(JOBS)

fuzz-smoke: fuzz-build
	bash fuzz/run.sh $(FUZZ_BUILD) $(or $(FUZZ_SECONDS),30)

fuzz: fuzz-build
	bash fuzz/run.sh $(FUZZ_BUILD) $(or $(FUZZ_SECONDS),600)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD)
