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
# Where the release's zip and MSI packages are downloaded from, and the product's
# page; the winget and Scoop manifests beside the zip point there.
RELEASE_URL  ?= https://quillmere.example/releases/download/$(DIST_VERSION)
HOMEPAGE_URL ?= https://quillmere.example/

.PHONY: all deps build test dist run bench soak sandbox-reset clean \
  $(foreach a,$(ARCHS),configure-$(a) build-$(a) run-$(a) bench-$(a) soak-$(a))

all: build

deps:
	@bash scripts/deps.sh

# Phony targets get no pattern rules, hence one explicit set per architecture.
define arch_rules
configure-$(1): deps
	@test -f $(BUILD)/$(1)/build.ninja || cmake -S . -B $(BUILD)/$(1) $(CMAKE_GEN) \
	  -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/toolchain-$(1).cmake \
	  -DQM_WINEPREFIX=$(PREFIX_DIR)
build-$(1): configure-$(1)
	cmake --build $(BUILD)/$(1)
run-$(1): build-$(1)
	@QM_DPI=$(QM_DPI) bash scripts/run.sh $(BUILD)/$(1)/quillmere.exe
bench-$(1): build-$(1)
	@bash scripts/bench.sh $(BUILD)/$(1) $(PREFIX_DIR)
soak-$(1): build-$(1)
	@echo "soak with the $(1) build"
	@bash scripts/wineprefix.sh $(BUILD)/$(1)/wine $(PREFIX_DIR)
	@WINEPREFIX=$(PREFIX_DIR) WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" \
	  $(BUILD)/$(1)/wine $(BUILD)/$(1)/tests/filters/soak_filter_store.exe $(SOAK_OPS) $(SOAK_SEED)
endef
$(foreach a,$(ARCHS),$(eval $(call arch_rules,$(a))))

build: deps build-i686 build-x86_64

# The package is checked first: it takes seconds, installing its MSI packages
# under Wine half a minute, the tests minutes. Every architecture's tests run even
# when an earlier one failed. Where this machine runs no 32-bit program, the i686
# tests that need Wine report as skipped (and the import check still runs), and so
# does the x86 MSI package's install; QM_REQUIRE_32BIT=1 makes that a failure.
test: deps build dist
	@bash scripts/check_dist.sh $(DIST_ZIP)
	@bash scripts/check_msi.sh $(BUILD) $(PREFIX_DIR) $(DIST_VERSION)
	@status=0; for a in $(ARCHS); do \
	  echo "== tests, $$a =="; \
	  runs=$$(cat $(BUILD)/$$a/programs-run-here); \
	  if [ "$$runs" != yes ]; then \
	    if [ "$(QM_REQUIRE_32BIT)" = 1 ]; then \
	      echo "QM_REQUIRE_32BIT=1, but this machine cannot run $$a programs: $${runs#no: }"; status=1; continue; \
	    fi; \
	    echo "$$a tests that need Wine are skipped: this machine cannot run 32-bit Windows programs ($${runs#no: })"; \
	  fi; \
	  ctest --test-dir $(BUILD)/$$a --output-on-failure || status=1; \
	done; exit $$status

dist: deps build
	@bash scripts/dist.sh $(BUILD) $(DIST_ZIP) "$(RELEASE_URL)" "$(HOMEPAGE_URL)"

# Random park, restore and delete operations against the prefix's registry; not
# part of `make test`. SOAK_OPS and SOAK_SEED change the run.
SOAK_OPS  ?= 100000
SOAK_SEED ?= 20261208

# `make run`, `make bench` and `make soak` use the build this machine can run: the
# 32-bit one where 32-bit Windows programs run under Wine, else the 64-bit one.
run bench soak: configure-i686
	@$(MAKE) --no-print-directory $@-$$(bash scripts/runnable_arch.sh $(BUILD))

# Throws away the sandbox prefix `make run` uses; the next run seeds a new one.
sandbox-reset:
	rm -rf $(BUILD)/sandbox

clean:
	rm -rf $(BUILD)
