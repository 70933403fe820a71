# Quillpad: `make test` builds everything and runs every test; `make run`
# starts the program under Wine. See README.md.

SHELL := /bin/bash
ROOT := $(abspath .)
B := $(ROOT)/build
CMAKE_GEN := -G Ninja
FILE ?=

.PHONY: all deps build win32 win64 native test run bench fuzz clean

all: build

deps:
	@scripts/install-deps.sh

build: deps win32 win64 native

# The shipped 32-bit program, and (unless QP_NO_WINE32=1) its tests, which
# run under 32-bit Wine.
WIN32_TESTS := $(if $(filter 1,$(QP_NO_WINE32)),OFF,ON)

win32:
	@cmake -S . -B $(B)/win32 $(CMAKE_GEN) -DCMAKE_TOOLCHAIN_FILE=$(ROOT)/cmake/toolchain-i686-mingw.cmake \
	  -DCMAKE_BUILD_TYPE=Release -DQP_TESTS=$(WIN32_TESTS) >/dev/null
	@cmake --build $(B)/win32

win64:
	@cmake -S . -B $(B)/win64 $(CMAKE_GEN) -DCMAKE_TOOLCHAIN_FILE=$(ROOT)/cmake/toolchain-x86_64-mingw.cmake \
	  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build $(B)/win64

native:
	@cmake -S . -B $(B)/native $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug -DQP_SANITIZE=ON >/dev/null
	@cmake --build $(B)/native

test: build
	@scripts/run-tests.sh

run: deps win64
	@scripts/run.sh "$(FILE)"

bench: deps
	@cmake -S . -B $(B)/bench $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release -DQP_BENCH=ON -DQP_TESTS=OFF \
	  -DQP_SANITIZE=OFF >/dev/null
	@cmake --build $(B)/bench
	@$(B)/bench/bin/qp_bench
	@cmake -S . -B $(B)/bench-win64 $(CMAKE_GEN) -DCMAKE_TOOLCHAIN_FILE=$(ROOT)/cmake/toolchain-x86_64-mingw.cmake \
	  -DCMAKE_BUILD_TYPE=Release -DQP_BENCH=ON -DQP_TESTS=OFF >/dev/null
	@cmake --build $(B)/bench-win64 --target qp_win_bench
	@scripts/wine-bench.sh $(B)/bench-win64/bin/qp_win_bench.exe
	@# The shipped 32-bit build's figures, where this machine runs 32-bit programs.
	@if problem="$$(source scripts/wine-env.sh && qp_wine32_problem)" && [ -z "$$problem" ]; then \
	  cmake -S . -B $(B)/bench-win32 $(CMAKE_GEN) -DCMAKE_TOOLCHAIN_FILE=$(ROOT)/cmake/toolchain-i686-mingw.cmake \
	    -DCMAKE_BUILD_TYPE=Release -DQP_BENCH=ON -DQP_TESTS=OFF >/dev/null && \
	  cmake --build $(B)/bench-win32 --target qp_win_bench && \
	  scripts/wine-bench.sh $(B)/bench-win32/bin/qp_win_bench.exe; \
	else echo "32-bit figures SKIPPED: $$problem"; fi

fuzz: deps
	@CC=clang CXX=clang++ cmake -S . -B $(B)/fuzz $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQP_FUZZ=ON \
	  -DQP_SANITIZE=OFF >/dev/null
	@cmake --build $(B)/fuzz
	@scripts/fuzz.sh $(B)/fuzz/bin $(or $(SECONDS),60)

clean:
	rm -rf $(B)
