# The two entry points of the README, and the helpers CI uses.
JOBS ?= 2

.PHONY: demo test test-asan test-win32 fuzz-smoke screenshots deps build release format clean

deps:
	@scripts/install-deps.sh

build: deps
	cmake --preset dev >/dev/null
	cmake --build --preset dev -j $(JOBS)

# The main job: the desktop host on the simulated device where a display exists, else the
# command line's headless demo. Only what the demo runs is built: the plug-in and the hosts.
demo: deps
	cmake --preset dev >/dev/null
	cmake --build --preset dev -j $(JOBS) --target vx58420Cal vx58420-host vx58420cal
	@scripts/demo.sh build/dev

test: build
	ctest --preset dev

# The optimised build the benchmarks and docs/performance.md use; CI builds it so that it keeps
# compiling (GCC warns differently at -O3).
release: deps
	cmake --preset release >/dev/null
	cmake --build --preset release -j $(JOBS)

test-asan: deps
	cmake --preset asan >/dev/null
	cmake --build --preset asan -j $(JOBS)
	ctest --preset asan

# The Windows build (mingw-w64) and its tests under Wine: registration, the test container,
# the configuration tests on the system's reader, unregistration.
test-win32:
	JOBS=$(JOBS) scripts/win32-test.sh

# Each libFuzzer target for a short while (FUZZ_SECONDS each). Records are fuzzed with inputs
# long enough to nest past the readers' bound and to hold hundreds of references.
FUZZ_SECONDS ?= 20
fuzz-smoke: deps
	cmake --preset fuzz >/dev/null
	cmake --build --preset fuzz -j $(JOBS)
	@for t in fuzz_ini fuzz_text fuzz_sim_state fuzz_script fuzz_adapter fuzz_record; do \
	  mkdir -p build/fuzz/corpus/$$t; \
	  echo "== $$t"; \
	  len=$$( [ $$t = fuzz_record ] && echo -max_len=262144 ); \
	  build/fuzz/fuzz/$$t -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 $$len \
	    -artifact_prefix=build/fuzz/ build/fuzz/corpus/$$t $$(ls -d fuzz/seeds/$$t 2>/dev/null) 2>&1 \
	    | grep -E "stat::number_of_executed_units|ERROR|SUMMARY" || exit 1; \
	  ! ls build/fuzz/crash-* build/fuzz/leak-* build/fuzz/timeout-* 2>/dev/null | grep -q . || exit 1; \
	done

# The user guide's screenshots from real windows on a virtual X display at 96 dpi: the page and
# the Records window by the desktop tests, the whole window with its device bar by the desktop
# host; the Windows page's by the test container under Wine.
XVFB = xvfb-run -a -s "-screen 0 1280x1024x24 -dpi 96" env QT_QPA_PLATFORM=xcb
screenshots: build
	scripts/install-deps.sh --win32
	$(XVFB) LANG=de_DE.UTF-8 VX_SCREENSHOT_DIR=$(CURDIR)/docs/images build/dev/tests/test_desktop
	$(XVFB) LANG=de_DE.UTF-8 VX_SCREENSHOT_DIR=$(CURDIR)/docs/images build/dev/tests/test_desktop_station
	$(XVFB) build/dev/hosts/desktop/vx58420-host --screenshot $(CURDIR)/docs/images/desktop-window.png
	VX_WIN_SCREENSHOT='Z:$(subst /,\,$(CURDIR))\docs\images\win32-page-after-calibration.png' \
	  scripts/win32-test.sh
	scripts/png-recompress.py docs/images/win32-page-after-calibration.png

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf build
