# Kelvane: the everyday commands. Each one installs what is missing first.
BUILD      ?= build
ASAN_BUILD ?= build-asan
JOBS       ?= $(shell nproc)
CMAKE_GEN  := -G Ninja
SAMPLE_DIR := $(BUILD)/sample

PACKAGE_BUILD ?= build-package
RELEASE_BUILD ?= build-release
PREFIX     ?= /usr/local
DESTDIR    ?=
# The test builds stop on any compiler warning; a user's build does not.
WERROR     := -DKELVANE_WERROR=ON

FUZZ_BUILD   ?= build-fuzz
FUZZ_SECONDS ?= 60
FUZZ_TARGETS ?=
FUZZ_WORKERS ?= 1

.PHONY: all deps configure build run test test-asan monkey bench fuzz mutants format clean install uninstall package

all: build

deps:
	@bash scripts/install-deps.sh

$(BUILD)/build.ninja: | deps
	cmake -S . -B $(BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo

configure: deps $(BUILD)/build.ninja

build: configure
	cmake --build $(BUILD) -j $(JOBS)

# With a display the viewer opens on the sample locomotive (its pantograph is
# fetched through the stand-in utility); without one the locomotive is
# rendered to a JPEG.
SAMPLE_LOCO := $(SAMPLE_DIR)/velmora/userdata/editing/locomotive
run: build
	$(BUILD)/tools/kelvane-sample --out $(SAMPLE_DIR)
	@if [ -n "$$DISPLAY" ] || [ -n "$$WAYLAND_DISPLAY" ]; then \
	  $(BUILD)/src/app/kelvane --settings $(BUILD)/kelvane-run.ini $(SAMPLE_LOCO); \
	else \
	  $(BUILD)/src/app/kelvane --render $(SAMPLE_LOCO) --size 800x600 -o $(SAMPLE_DIR)/locomotive.jpg && \
	  echo "no display: rendered the sample locomotive to $(SAMPLE_DIR)/locomotive.jpg"; \
	fi

test: configure
	@bash scripts/install-deps.sh test
	cmake -S . -B $(BUILD) $(WERROR)
	cmake --build $(BUILD) -j $(JOBS)
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

$(ASAN_BUILD)/build.ninja: | deps
	cmake -S . -B $(ASAN_BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug \
	  -DKELVANE_SANITIZE=ON -DKELVANE_BENCH=OFF -DCMAKE_CXX_FLAGS_DEBUG="-g -O1" $(WERROR)

# LeakSanitizer's thread tracer can crash at exit while llvmpipe's worker
# threads come and go; llvmpipe drawing on the calling thread gives the same
# pixels.
test-asan: deps $(ASAN_BUILD)/build.ninja
	@bash scripts/install-deps.sh test
	cmake -S . -B $(ASAN_BUILD) $(WERROR)
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 LP_NUM_THREADS=0 \
	  ctest --test-dir $(ASAN_BUILD) --output-on-failure -j $(JOBS)

# Seeded random use of the sanitizer build of the viewer under a private X
# server. MONKEY_SEED picks the input (a new seed each run when empty);
# MONKEY_REPLAY plays a saved finding's events again. Findings are saved
# under $(ASAN_BUILD)/monkey/findings.
MONKEY_SECONDS ?= 600
MONKEY_SEED    ?=
MONKEY_REPLAY  ?=
monkey: $(ASAN_BUILD)/build.ninja
	@bash scripts/install-deps.sh test
	cmake -S . -B $(ASAN_BUILD) $(WERROR)
	cmake --build $(ASAN_BUILD) -j $(JOBS) --target kelvane kelvane-sample
	DBUS_SESSION_BUS_ADDRESS=disabled: xvfb-run -a -s "-screen 0 1280x1024x24" \
	  sh tests/gui/with_window_manager.sh python3 tools/monkey.py \
	  --viewer $(ASAN_BUILD)/src/app/kelvane --sample-writer $(ASAN_BUILD)/tools/kelvane-sample \
	  --suppressions tests/gui/gl_driver_leaks.supp --work $(ASAN_BUILD)/monkey \
	  --seconds $(MONKEY_SECONDS) $(if $(MONKEY_SEED),--seed $(MONKEY_SEED)) \
	  $(if $(MONKEY_REPLAY),--replay $(MONKEY_REPLAY))

# The distribution's hardening (stack protector, fortify, full RELRO,
# bind-now) for the builds that are installed or packed.
HARDENING := DEB_BUILD_MAINT_OPTIONS=hardening=+all
HARDENED_FLAGS = \
  -DCMAKE_CXX_FLAGS="$$($(HARDENING) dpkg-buildflags --get CPPFLAGS) $$($(HARDENING) dpkg-buildflags --get CXXFLAGS)" \
  -DCMAKE_EXE_LINKER_FLAGS="$$($(HARDENING) dpkg-buildflags --get LDFLAGS)"

# A stripped Release build of its own, installed into $(DESTDIR)$(PREFIX);
# `make uninstall` removes what it wrote and the folders it made.
install:
	@bash scripts/install-deps.sh build
	cmake -S . -B $(RELEASE_BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release \
	  -DKELVANE_TESTS=OFF -DKELVANE_BENCH=OFF $(HARDENED_FLAGS)
	cmake --build $(RELEASE_BUILD) -j $(JOBS)
	DESTDIR="$(DESTDIR)" bash scripts/install.sh $(RELEASE_BUILD) $(PREFIX)

uninstall:
	DESTDIR="$(DESTDIR)" bash scripts/uninstall.sh $(RELEASE_BUILD)

# A hardened Release build for /usr without the tests, packed as a .deb.
package:
	@bash scripts/install-deps.sh package
	cmake -S . -B $(PACKAGE_BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release \
	  -DCMAKE_INSTALL_PREFIX=/usr -DKELVANE_TESTS=OFF -DKELVANE_BENCH=OFF $(HARDENED_FLAGS)
	cmake --build $(PACKAGE_BUILD) -j $(JOBS)
	cd $(PACKAGE_BUILD) && cpack -G DEB
	@ls $(PACKAGE_BUILD)/kelvane_*.deb

BENCH_MESH := $(BUILD)/bench/large.im

bench: build
	@bash scripts/install-deps.sh bench
	@mkdir -p $(BUILD)/bench
	@test -f $(BENCH_MESH) || $(BUILD)/tools/kelvane-sample --large $(BENCH_MESH)
	KELVANE_BENCH_MESH=$(BENCH_MESH) $(BUILD)/tests/bench/kelvane-bench \
	  --benchmark_repetitions=7 --benchmark_report_aggregates_only=true
	$(BUILD)/tests/bench/mesh-load-peak $(BENCH_MESH)
	bash scripts/check-scaling.sh $(BUILD)

fuzz:
	@bash scripts/install-deps.sh fuzz
	@test -f $(FUZZ_BUILD)/build.ninja || cmake -S . -B $(FUZZ_BUILD) $(CMAKE_GEN) \
	  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ -DKELVANE_FUZZ=ON
	cmake --build $(FUZZ_BUILD) -j $(JOBS)
	FUZZ_WORKERS=$(FUZZ_WORKERS) bash scripts/run-fuzzers.sh $(FUZZ_BUILD) $(FUZZ_SECONDS) $(FUZZ_TARGETS)

# Seeded mutation sampling of the core: the share of mutants the tests catch,
# by folder. MUTANT_SEED and MUTANT_COUNT pick the sample.
MUTANT_SEED  ?= 1
MUTANT_COUNT ?= 160
mutants:
	@bash scripts/install-deps.sh mutants
	python3 tools/mutants.py --build build-mutants --seed $(MUTANT_SEED) \
	  --count $(MUTANT_COUNT) --survivors build-mutants/survivors.txt

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD) $(PACKAGE_BUILD) $(RELEASE_BUILD) build-mutants
