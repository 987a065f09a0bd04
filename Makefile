# The commands of the README: `make run`, `make test` and `make dist`. Everything
# else here is what they are made of.
BUILD      ?= build
PREFIX_DIR := $(abspath $(BUILD))/wineprefix
ARCHS      := i686 x86_64
CMAKE_GEN  := -G Ninja -DCMAKE_BUILD_TYPE=Release
# The package is named after the fixed file version that the resource script gives
# the programs (FILEVERSION 1, 0, 0, 0 -> 1.0.0.0).
DIST_VERSION := $(shell sed -nE 's/^[[:space:]]*FILEVERSION[[:space:]]+([0-9]+)[[:space:]]*,[[:space:]]*([0-9]+)[[:space:]]*,[[:space:]]*([0-9]+)[[:space:]]*,[[:space:]]*([0-9]+).*/\1.\2.\3.\4/p' res/quillmere.rc)
DIST_ZIP     := $(BUILD)/dist/quillmere-$(DIST_VERSION).zip
# Where the release's zip is downloaded from; the winget and Scoop manifests
# beside the zip point there.
RELEASE_URL  ?= https://quillmere.example/releases/download/$(DIST_VERSION)

.PHONY: all deps build build-i686 build-x86_64 configure-i686 configure-x86_64 test dist run bench soak sandbox-reset clean

all: build

deps:
	@bash scripts/deps.sh

# Phony targets get no pattern rules, hence one explicit pair per architecture.
define arch_rules
configure-$(1): deps
	@test -f $(BUILD)/$(1)/build.ninja || cmake -S . -B $(BUILD)/$(1) $(CMAKE_GEN) \
	  -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/toolchain-$(1).cmake \
	  -DQM_WINEPREFIX=$(PREFIX_DIR)
build-$(1): configure-$(1)
	cmake --build $(BUILD)/$(1)
endef
$(foreach a,$(ARCHS),$(eval $(call arch_rules,$(a))))

build: deps build-i686 build-x86_64

# The package is checked first: it takes seconds, the tests minutes.
test: deps build dist
	@bash scripts/check_dist.sh $(DIST_ZIP)
	@set -e; for a in $(ARCHS); do \
	  echo "== tests, $$a =="; \
	  ctest --test-dir $(BUILD)/$$a --output-on-failure; \
	done

dist: deps build
	@bash scripts/dist.sh $(BUILD) $(DIST_ZIP) "$(RELEASE_URL)"

bench: deps build-i686
	@bash scripts/bench.sh $(BUILD)/i686 $(PREFIX_DIR)

# Random park, restore and delete operations against the prefix's registry; not
# part of `make test`. SOAK_OPS and SOAK_SEED change the run.
SOAK_OPS  ?= 100000
SOAK_SEED ?= 20261208
soak: deps build-i686
	@bash scripts/wineprefix.sh $(PREFIX_DIR)
	@WINEPREFIX=$(PREFIX_DIR) WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" \
	  wine $(BUILD)/i686/tests/filters/soak_filter_store.exe $(SOAK_OPS) $(SOAK_SEED)

run: deps build-i686
	@bash scripts/run.sh $(BUILD)/i686/quillmere.exe

# Throws away the sandbox prefix `make run` uses; the next run seeds a new one.
sandbox-reset:
	rm -rf $(BUILD)/sandbox

clean:
	rm -rf $(BUILD)
