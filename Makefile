# Thin wrapper around CMake: `make run`, `make test`, `make bench`.
BUILD_DIR ?= build
BUILD_TYPE ?= RelWithDebInfo
JOBS ?= $(shell nproc)
# Paths relative to the checkout, so ccache hits across clones (CI builds a fresh one).
export CCACHE_BASEDIR ?= $(CURDIR)

.PHONY: all deps build run test unit-test fuzz bench clean install package package-check

all: build

deps:
	@./scripts/install-deps.sh build

$(BUILD_DIR)/build.ninja:
	cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE)

build: deps $(BUILD_DIR)/build.ninja
	cmake --build $(BUILD_DIR) -j $(JOBS)

run: build
	./$(BUILD_DIR)/pelcrow

test: unit-test fuzz

unit-test: build
	cd $(BUILD_DIR) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

# Every parser runs under libFuzzer (ASan + UBSan) for FUZZ_SECONDS each.
fuzz: deps
	FUZZ_SECONDS=$(or $(FUZZ_SECONDS),10) ./scripts/run-fuzzers.sh

# make install [PREFIX=/usr/local] [DESTDIR=...]
PREFIX ?= /usr/local
install: build
	DESTDIR=$(DESTDIR) cmake --install $(BUILD_DIR) --prefix $(PREFIX)

# The Debian package, in $(BUILD_DIR)/package/; package-check runs lintian on it and the
# programs from the unpacked package.
package: build
	@./scripts/install-deps.sh package
	cd $(BUILD_DIR) && cpack -G DEB

package-check: package
	./scripts/check-package.sh $(BUILD_DIR)/package

bench: build
	@./scripts/install-deps.sh bench
	./bench/run-bench.sh $(BUILD_DIR)

clean:
	rm -rf $(BUILD_DIR) build-fuzz build-release
