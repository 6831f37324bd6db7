# The two commands of the README: `make demo` and `make test`. Both install the Debian
# packages that are missing, then build.
DEBS := cmake make g++ pkg-config libgtest-dev libgmock-dev libsqlite3-dev zlib1g-dev \
        libutfcpp-dev libcli11-dev libtomlplusplus-dev libmspack-dev libgcab-dev \
        libpugixml-dev python3 tmux bsdutils libpng-dev libfreetype-dev fonts-dejavu-core sqlite3
# What the benchmarks measure against; installed by the bench targets, never by `make test`.
BENCH_DEBS := hyperfine zip unzip cabextract gcab time strace
BUILD ?= build
JOBS ?= $(shell nproc)
SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)

.PHONY: deps bench-deps build test test-sanitize demo clean bench bench-pack bench-memory bench-registry fuzz

# Installs those of the packages $(1) that are missing.
define install_missing
	@missing=$$(for p in $(1); do dpkg -s $$p >/dev/null 2>&1 || echo $$p; done); \
	if [ -n "$$missing" ]; then \
	  echo "Installing Debian packages:" $$missing; \
	  $(SUDO) apt-get update -qq && \
	  $(SUDO) env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $$missing; \
	fi
endef

deps:
	$(call install_missing,$(DEBS))

bench-deps: deps
	$(call install_missing,$(BENCH_DEBS))

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j $(JOBS)

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

# Every test again, with everything built under AddressSanitizer and UndefinedBehaviorSanitizer
# in a build folder of its own; a finding in any process a test starts fails the test.
SANITIZE_BUILD ?= build-asan
SANITIZE_ENV := ASAN_OPTIONS=abort_on_error=0:detect_leaks=1:detect_stack_use_after_return=0 \
                UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
test-sanitize: deps
	cmake -S . -B $(SANITIZE_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSTOWKIT_SANITIZE=ON \
	  -DSTOWKIT_FUZZ=OFF
	cmake --build $(SANITIZE_BUILD) -j $(JOBS)
	$(SANITIZE_ENV) ctest --test-dir $(SANITIZE_BUILD) --output-on-failure -j $(JOBS)

# Builds the example package, installs it on the default device, shows what it left there
# and removes it again.
demo: build
	examples/demo.sh $(BUILD)

# Installs against unzip, tar, cabextract, gcab and a plain C floor; removals against rm -rf;
# package builds against zip -9 -r; the registry merge against one SQLite transaction; the
# peak memory of each: on four seeded datasets, in one run (bench/run.sh: BENCH_RUNS,
# BENCH_PROFILES, BENCH_DATA).
bench: bench-deps build
	bench/run.sh $(BUILD)

# stowkit-pack build and verify against zip -9 -r and unzip -t on a generated data set.
bench-pack: bench-deps build
	bench/pack.sh $(BUILD)

# Peak memory of stowkit-pack build, verify and unpack on a 256 MiB file (limit 32 MiB).
bench-memory: bench-deps build
	bench/memory.sh $(BUILD)

# 10,000 SetRegString calls, one registry transaction each, against one SQLite transaction.
bench-registry: build
	$(BUILD)/bin/registry-bench

# Every fuzz target for FUZZ_SECONDS each, one after the other (FUZZ_TARGETS picks some);
# the corpora grow in build-fuzz/corpus/.
FUZZ_SECONDS ?= 60
FUZZ_TARGETS ?=
fuzz: deps
	@command -v clang++ >/dev/null || $(SUDO) env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq clang
	fuzz/run.sh $(FUZZ_SECONDS) $(FUZZ_TARGETS)

clean:
	rm -rf $(BUILD)
