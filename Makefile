# Two entry points on a fresh Debian 12 machine:
#   make run    set up, build, and open the viewer on a sample page
#               (headless: convert a sample page and say what was written)
#   make test   set up, build, and run every test
BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: setup build test run asan-test clean

setup:
	@bash tools/setup.sh

build: setup
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS)
	cmake --build $(BUILD) -j$(JOBS)

test: build
	bash tools/run-tests.sh $(BUILD)

asan-test: setup
	cmake -S . -B $(BUILD)-asan -DCMAKE_BUILD_TYPE=Debug -DVELLUM_SANITIZE=ON -DVELLUM_BUILD_GUI=OFF -DVELLUM_BUILD_BENCH=OFF $(CMAKE_FLAGS)
	cmake --build $(BUILD)-asan -j$(JOBS)
	bash tools/run-tests.sh $(BUILD)-asan -LE gui

run: build
	bash tools/run-sample.sh $(BUILD)

clean:
	rm -rf $(BUILD) $(BUILD)-asan
