# Two commands for a newcomer: `make demo` and `make test`. Both set up the machine first.
# `make check` adds the longer checks CI runs: the suite under sanitizers, fuzzing, memcheck, threads.
SHELL := /bin/bash
LINUX := build/linux-x86
WINDOWS := build/windows-x86
FUZZ_SECONDS ?= 60

.PHONY: all setup configure build test demo check clean
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

check: setup
	@cmake --preset linux-x86 >/dev/null
	cmake --build --preset linux-x86
	@cmake --preset linux-x86-asan >/dev/null
	cmake --build --preset linux-x86-asan
	ctest --preset linux-x86-asan
	@cmake --preset linux-x86-fuzz >/dev/null
	cmake --build --preset linux-x86-fuzz
	./scripts/fuzz.sh $(FUZZ_SECONDS)
	./scripts/memcheck.sh
	./scripts/threadcheck.sh

demo: setup
	@cmake --preset linux-x86 >/dev/null
	cmake --build --preset linux-x86
	@./scripts/demo.sh

clean:
	rm -rf build out
