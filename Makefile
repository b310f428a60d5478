# Two commands for a newcomer: `make demo` and `make test`. Both set up the machine first.
# `make check` adds the longer checks CI runs: the suite under sanitizers, fuzzing, memcheck, threads.
SHELL := /bin/bash
LINUX := build/linux-x86
WINDOWS := build/windows-x86
FUZZ_SECONDS ?= 60

.PHONY: all setup configure build test demo dist check-dist check-sdk check check-asan check-fuzz check-memcheck check-threads clean
all: build

setup:
	@./scripts/setup.sh

configure: setup
	@cmake --preset linux-x86 >/dev/null
	@cmake --preset windows-x86 >/dev/null

build: configure
	cmake --build --preset linux-x86
	cmake --build --preset windows-x86

test: build
	ctest --preset linux-x86
	ctest --preset windows-x86

# Each stage reports its time; `make -k check` runs every stage even when one fails.
check: check-asan check-fuzz check-memcheck check-threads

check-asan: setup
	@start=$$SECONDS; cmake --preset linux-x86-asan >/dev/null && \
	  cmake --build --preset linux-x86-asan && ctest --preset linux-x86-asan; \
	  status=$$?; echo "check-asan: $$((SECONDS - start)) s"; exit $$status

check-fuzz: setup
	@start=$$SECONDS; cmake --preset linux-x86-fuzz >/dev/null && \
	  cmake --build --preset linux-x86-fuzz && ./scripts/fuzz.sh $(FUZZ_SECONDS); \
	  status=$$?; echo "check-fuzz: $$((SECONDS - start)) s"; exit $$status

# Both run programs of the ordinary linux-x86 build under valgrind.
check-memcheck: setup
	@start=$$SECONDS; cmake --preset linux-x86 >/dev/null && \
	  cmake --build --preset linux-x86 && ./scripts/memcheck.sh; \
	  status=$$?; echo "check-memcheck: $$((SECONDS - start)) s"; exit $$status

check-threads: setup
	@start=$$SECONDS; cmake --preset linux-x86 >/dev/null && \
	  cmake --build --preset linux-x86 && ./scripts/threadcheck.sh; \
	  status=$$?; echo "check-threads: $$((SECONDS - start)) s"; exit $$status

demo: setup
	@cmake --preset linux-x86 >/dev/null
	cmake --build --preset linux-x86
	@./scripts/demo.sh

# The release archives in dist/, byte for byte the same for the same commit (see README).
dist: setup
	@./scripts/dist.sh

# Builds the release from two clones at different paths and compares the bytes.
check-dist: setup
	@start=$$SECONDS; ./scripts/check-dist.sh; \
	  status=$$?; echo "check-dist: $$((SECONDS - start)) s"; exit $$status

# Builds, tests and validates a new module from the SDK archive alone, outside the repository, on
# both targets. SDK_ARCHIVE names the archive (check-dist leaves one in dist/); without it, `make dist`
# runs first.
check-sdk: setup
	@start=$$SECONDS; ./scripts/check-sdk.sh $(SDK_ARCHIVE); \
	  status=$$?; echo "check-sdk: $$((SECONDS - start)) s"; exit $$status

clean:
	rm -rf build out dist
