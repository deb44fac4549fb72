# The README's two commands:
#   make demo   build, then run salvage-cli on the bundled demo volume (its
#               geometry, then the deleted files it still holds)
#   make test   build, then run every test
# and make package: the Debian package (needs lintian: scripts/deps.sh install ci).
# Both install missing Debian packages first when run as root (otherwise they
# print the apt-get line to run and stop).

BUILD ?= build
BUILD_TYPE ?= RelWithDebInfo
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
CLI = $(BUILD)/salvage/cli/salvage-cli
DEMO_IMAGE = $(BUILD)/demo/holiday.img
DEMO_OUT = $(BUILD)/demo/recovered

.PHONY: all deps configure build demo test package clean

all: build

deps:
	@scripts/deps.sh install

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE)

configure: deps $(BUILD)/build.ninja

build: configure
	cmake --build $(BUILD) -j $(JOBS)

$(DEMO_IMAGE): demo/make-demo-volume.sh
	demo/make-demo-volume.sh $@

demo: build $(DEMO_IMAGE)
	@echo "== salvage-cli info $(DEMO_IMAGE)"
	@$(CLI) info $(DEMO_IMAGE)
	@echo
	@echo "== salvage-cli list --deleted $(DEMO_IMAGE)"
	@$(CLI) list --deleted $(DEMO_IMAGE)
	@echo
	@echo "== salvage-cli recover $(DEMO_IMAGE) --to $(DEMO_OUT)"
	@rm -rf $(DEMO_OUT)
	@$(CLI) recover $(DEMO_IMAGE) --to $(DEMO_OUT)

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# The Debian package, checked (packaging/check-package.sh: its contents,
# lintian): $(BUILD)/kestrel_VERSION_ARCH.deb.
package: build
	packaging/check-package.sh $(BUILD)

clean:
	rm -rf $(BUILD)
