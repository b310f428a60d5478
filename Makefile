# Two commands for a newcomer: `make demo` and `make test`. Both set up the machine first.
SHELL := /bin/bash
LINUX := build/linux-x86
WINDOWS := build/windows-x86

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

demo: setup
	@cmake --preset linux-x86 >/dev/null
	cmake --build --preset linux-x86
	@./scripts/demo.sh

clean:
	rm -rf build out
