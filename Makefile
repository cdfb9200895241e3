# Two entry points for a fresh Debian/Ubuntu machine:
#   make run   install what is missing, build, start the program
#   make test  install what is missing, build, run the whole suite in a private network namespace
BUILD_DIR ?= build
BUILD_TYPE ?= RelWithDebInfo
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

.PHONY: all deps configure build run test bench setcap demo cli-demo screenshot clean

all: build

deps:
	@tools/install-deps.sh

CONFIGURE = cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE)

# Runs CMake's configure step again, on request (for instance with another BUILD_TYPE).
configure: deps
	$(CONFIGURE)

# Configured once, when the build folder is new. After that `cmake --build` configures again by
# itself whenever a CMake file has changed, so a rebuild prints only what it builds.
$(BUILD_DIR)/build.ninja: | deps
	$(CONFIGURE)

build: deps $(BUILD_DIR)/build.ninja
	cmake --build $(BUILD_DIR) -j $(JOBS)

run: build
	$(BUILD_DIR)/kvrctl700

# Every test runs inside its own network namespace: nothing the suite sends can reach a real network.
test: build
	tools/isolated.sh ctest --test-dir $(BUILD_DIR) --output-on-failure -j $(JOBS)

# The whole tree again with AddressSanitizer and UndefinedBehaviorSanitizer, in a build folder of its
# own, and the suite run as `make test` runs it: a memory fault, a leak or undefined behaviour in any
# program the suite runs fails it (tools/sanitizers.supp lists the only leaks let through).
SANITIZE_DIR ?= build-sanitize
.PHONY: sanitize
sanitize: deps
	[ -f $(SANITIZE_DIR)/build.ninja ] || cmake -S . -B $(SANITIZE_DIR) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) -DKVR_SANITIZE=ON
	cmake --build $(SANITIZE_DIR) -j $(JOBS)
	tools/sanitize-test.sh $(SANITIZE_DIR) $(JOBS)

bench: build
	tools/isolated.sh --loopback-only $(BUILD_DIR)/bench/kvrctl700-bench

# The Ansible collection's figure: four segments of 30 devices, the plan's playbook beside a no-op one.
.PHONY: bench-ansible
bench-ansible: build
	tools/isolated.sh --loopback-only ansible/tests/bench.sh $(BUILD_DIR)

# Lets the programs bind UDP port 102 without running as root (lost when a binary is rebuilt).
setcap: build
	$(if $(filter 0,$(shell id -u)),,sudo) setcap 'cap_net_bind_service=+ep' $(BUILD_DIR)/kvrctl700
	$(if $(filter 0,$(shell id -u)),,sudo) setcap 'cap_net_bind_service=+ep' $(BUILD_DIR)/kvrctl700-cli

# Redraws the README's picture of the main window (a local socket plays the devices, so it runs isolated).
screenshot: build
	tools/isolated.sh $(BUILD_DIR)/tools/screenshot/kvrctl700-screenshot docs/mainwindow.png

# The tool and simulated devices in two network namespaces joined by a virtual cable. Needs root:
# as root, `make demo`; as a user with sudo, `make build && sudo tools/demo.sh`.
demo: build
	BUILD_DIR=$(BUILD_DIR) tools/demo.sh

# The Debian packages kvrctl700 and kvrctl700-devsim, built by CPack into $(BUILD_DIR)/.
.PHONY: package
package: build
	cmake --build $(BUILD_DIR) --target package

# kvrctl700-cli against simulated devices behind two adapters, in a private namespace (no root).
cli-demo: build
	BUILD_DIR=$(BUILD_DIR) tools/cli-demo.sh

clean:
	rm -rf $(BUILD_DIR) $(SANITIZE_DIR)
