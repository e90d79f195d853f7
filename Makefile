# Thin wrapper over CMake.  `make run` builds and starts the program,
# `make test` builds and runs every test.  Both install missing Debian
# packages first (as root, or through sudo).
BUILD ?= build
JOBS ?= 2
# Warnings are errors here, as in CI; WERROR=OFF only shows them.
WERROR ?= ON
CMAKE_FLAGS ?=

SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)
PACKAGES := $(shell grep -v '^\#' packages.txt | grep -v '^$$')

MINUTES ?= 10

.PHONY: deps configure build run test fuzz fuzz-build fuzz-long bench screenshots package clean

deps:
	@missing=""; for p in $(PACKAGES); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q 'install ok installed' || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  echo "Installing:$$missing"; \
	  $(SUDO) apt-get update -qq && DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -qq $$missing; \
	fi

configure: deps
	cmake -S . -B $(BUILD) -G Ninja -DOLMEK_WERROR=$(WERROR) $(CMAKE_FLAGS)

build: configure
	cmake --build $(BUILD) -j $(JOBS)

run: build
	@if [ -x $(BUILD)/app/olmek ]; then \
	  $(BUILD)/app/olmek $(ARGS); \
	else \
	  $(BUILD)/cli/olmek-cli type $(BUILD)/cli/sample.zip; \
	fi

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

fuzz-build: deps
	CC=clang CXX=clang++ cmake -S . -B $(BUILD)-fuzz -G Ninja -DOLMEK_FUZZ=ON -DOLMEK_TESTS=OFF \
	  -DOLMEK_GUI=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo -DOLMEK_WERROR=$(WERROR) \
	  -DCMAKE_CXX_FLAGS="-fsanitize=address,undefined -fsanitize=fuzzer-no-link -fno-sanitize-recover=undefined" \
	  -DCMAKE_C_FLAGS="-fsanitize=address,undefined -fsanitize=fuzzer-no-link"
	cmake --build $(BUILD)-fuzz -j $(JOBS)

# Short, bounded runs of every target (CI).
fuzz: fuzz-build
	cd $(BUILD)-fuzz && ctest --output-on-failure

# MINUTES minutes per target (TARGETS names some, default all); what adds
# coverage is merged into fuzz/corpus.
fuzz-long: fuzz-build
	fuzz/run-long.sh $(BUILD)-fuzz $(MINUTES) $(TARGETS)

bench: configure
	cmake --build $(BUILD) -j $(JOBS) --target benchmarks
	@for b in $(BUILD)/bench/bench_*; do [ -x $$b ] && $$b; done
	cmake --build $(BUILD) -j $(JOBS) --target olmek-cli
	BUILD=$(BUILD) sh bench/encoders.sh
	BUILD=$(BUILD) sh bench/lha-writer.sh
	BUILD=$(BUILD) sh bench/zip-writer.sh

screenshots: build
	QT_QPA_PLATFORM=offscreen $(BUILD)/app/olmek-screenshots $(BUILD)/screenshots

# A Debian package (olmek95_*.deb in $(BUILD)-package) from a Release build
# for /usr with the distribution's compiler and linker flags, all hardening on.
package: export DEB_BUILD_MAINT_OPTIONS = hardening=+all
package: deps
	cmake -S . -B $(BUILD)-package -G Ninja -DCMAKE_BUILD_TYPE=Release \
	  -DCMAKE_INSTALL_PREFIX=/usr -DOLMEK_TESTS=OFF -DOLMEK_BENCH=OFF -DOLMEK_WERROR=$(WERROR) \
	  -DCMAKE_C_FLAGS="$$(dpkg-buildflags --get CPPFLAGS) $$(dpkg-buildflags --get CFLAGS)" \
	  -DCMAKE_CXX_FLAGS="$$(dpkg-buildflags --get CPPFLAGS) $$(dpkg-buildflags --get CXXFLAGS)" \
	  -DCMAKE_EXE_LINKER_FLAGS="$$(dpkg-buildflags --get LDFLAGS)" $(CMAKE_FLAGS)
	cmake --build $(BUILD)-package -j $(JOBS)
	cd $(BUILD)-package && cpack -G DEB

clean:
	rm -rf $(BUILD) $(BUILD)-fuzz $(BUILD)-package
