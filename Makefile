# Two commands do all set-up on a fresh Debian 12 machine: `make run` and `make test`.
BUILD_DIR ?= build
MAKEFLAGS += --no-print-directory
JOBS ?= $(shell nproc)

.PHONY: run test build deps bench package clean

run: build
	@scripts/run.sh $(BUILD_DIR)

test: build
	cd $(BUILD_DIR) && ctest --output-on-failure -j$(JOBS)

build: deps
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	cmake --build $(BUILD_DIR) -j$(JOBS)

deps:
	@scripts/install-deps.sh

bench: build
	cmake --build $(BUILD_DIR) --target benchmarks -j$(JOBS)
	@scripts/bench.sh $(BUILD_DIR)

package: build
	cd $(BUILD_DIR) && cpack -G DEB

clean:
	rm -rf $(BUILD_DIR)
