# Thin wrapper over CMake: `make run` and `make test` on a fresh Debian
# machine. As root, missing packages are installed with apt-get.
BUILD ?= build
ASAN_BUILD ?= build-asan
JOBS ?= $(shell nproc)
BUILD_PKGS = g++ cmake make libgtest-dev libgmock-dev libbenchmark-dev
TEST_PKGS = $(BUILD_PKGS) libpwiz-tools comet-ms snakemake

define install_missing
	@missing=$$(for p in $(1); do dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q 'install ok installed' || echo $$p; done); \
	if [ -n "$$missing" ]; then \
	  if [ "$$(id -u)" = 0 ]; then \
	    echo "installing:" $$missing; \
	    apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $$missing >/dev/null; \
	  else \
	    echo "missing packages (install them as root):" $$missing >&2; exit 1; \
	  fi; \
	fi
endef

.PHONY: all build run test asan-test bench fuzz fuzz-smoke clean deps test-deps

all: build

deps:
	$(call install_missing,$(BUILD_PKGS))

test-deps:
	$(call install_missing,$(TEST_PKGS))

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release
	cmake --build $(BUILD) -j $(JOBS)

run: build
	@test -f test.RAW || $(BUILD)/tools/kolvex-fixture test.RAW
	$(BUILD)/kolvex

test: test-deps build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

asan-test: test-deps
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DKOLVEX_SANITIZE=ON -DKOLVEX_BENCH=OFF
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ctest --output-on-failure -j $(JOBS)

bench: build
	$(call install_missing,time)
	bench/run.sh $(BUILD)

FUZZ_PKGS = clang libclang-rt-14-dev make
FUZZ_SECONDS ?= 1800
fuzz:
	$(call install_missing,$(FUZZ_PKGS))
	fuzz/run.sh $(FUZZ_SECONDS)

# Every fuzz harness for a few seconds from a fixed seed (CI).
fuzz-smoke:
	$(call install_missing,$(FUZZ_PKGS))
	fuzz/run.sh --smoke

clean:
	rm -rf $(BUILD) $(ASAN_BUILD)
