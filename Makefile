# Quick start: `make run` starts Marrowlark, `make test` runs the whole test suite.
# Each installs what is missing and builds first.

BUILD_DIR ?= build
JOBS ?= $(shell nproc)

.PHONY: run test build deps test-deps configure tidy fuzz test-sanitize package

run: deps build
	cd "$(CURDIR)" && "$(BUILD_DIR)/app/marrowlark"

# The whole suite, then the static checks, the fuzzers (20 s each) and the whole suite again
# under AddressSanitizer and UndefinedBehaviorSanitizer (build-asan).
test: test-deps build
	scripts/run-tests.sh "$(BUILD_DIR)"
	scripts/tidy.sh "$(BUILD_DIR)"
	fuzz/run.sh 20
	scripts/sanitize.sh

tidy: test-deps build
	scripts/tidy.sh "$(BUILD_DIR)"

fuzz: test-deps
	fuzz/run.sh $(FUZZ_SECONDS)

test-sanitize: test-deps
	scripts/sanitize.sh

# The Debian package, built by CPack in the build folder: $(BUILD_DIR)/marrowlark_1.00_amd64.deb.
package: deps build
	cd "$(BUILD_DIR)" && cpack -G DEB

deps:
	@scripts/deps.sh

test-deps:
	@scripts/deps.sh --test

configure:
	@test -f "$(BUILD_DIR)/CMakeCache.txt" || cmake -S . -B "$(BUILD_DIR)" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMARROWLARK_WERROR=ON

build: configure
	cmake --build "$(BUILD_DIR)" -j "$(JOBS)"
