# Quick start: `make run` starts Marrowlark, `make test` runs the whole test suite.
# Each installs what is missing and builds first.
#
# `make run` needs only the program's build and run-time packages: it configures the build folder
# without the tests and benchmarks, whose tools (a session bus, Xvfb, lintian, ...) it does not
# install, and builds the program alone. `make test` installs those tools and turns the tests and
# benchmarks on in the same folder. A stamp is written only after cmake succeeded, so a failed
# configure is run again next time instead of being taken for a configured folder.

BUILD_DIR ?= build
JOBS ?= $(shell nproc)
# -g1: line tables are all a backtrace needs, and the build takes a sixth less processor time than
# with full debug information.
CONFIGURE = cmake -S . -B "$(BUILD_DIR)" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMARROWLARK_WERROR=ON \
	-DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG"

.PHONY: run test build deps test-deps package-deps tidy fuzz test-sanitize package

run: deps $(BUILD_DIR)/.configured
	cmake --build "$(BUILD_DIR)" -j "$(JOBS)" --target marrowlark
	cd "$(CURDIR)" && "$(BUILD_DIR)/app/marrowlark"

# What runs, where and why: the README's "Checks" table.
test: test-deps $(BUILD_DIR)/.configured-tests
	scripts/check.sh "$(BUILD_DIR)"

tidy: test-deps $(BUILD_DIR)/.configured-tests
	cmake --build "$(BUILD_DIR)" -j "$(JOBS)"
	scripts/tidy.sh "$(BUILD_DIR)"

# FUZZ_SECONDS per harness (default 20); new inputs are not kept (fuzz/run.sh --update keeps them).
fuzz: test-deps
	fuzz/run.sh $(FUZZ_SECONDS)

# The unit, engine and hostile tests on the sanitized build (build-asan); every test with
# SANITIZE_ALL=1.
test-sanitize: test-deps
	scripts/sanitize.sh $(if $(SANITIZE_ALL),--all)

# The Debian package, built by CPack in the build folder: $(BUILD_DIR)/marrowlark_1.00_amd64.deb.
package: deps package-deps build
	cd "$(BUILD_DIR)" && cpack -G DEB

build: $(BUILD_DIR)/.configured
	cmake --build "$(BUILD_DIR)" -j "$(JOBS)"

deps:
	@scripts/deps.sh

test-deps:
	@scripts/deps.sh --test

package-deps:
	@scripts/deps.sh --package

$(BUILD_DIR)/.configured:
	$(CONFIGURE) -DBUILD_TESTING=OFF -DMARROWLARK_BUILD_BENCHMARKS=OFF
	@touch "$@"

$(BUILD_DIR)/.configured-tests:
	@rm -f "$@" "$(BUILD_DIR)/.configured"
	$(CONFIGURE) -DBUILD_TESTING=ON -DMARROWLARK_BUILD_BENCHMARKS=ON
	@touch "$@" "$(BUILD_DIR)/.configured"
