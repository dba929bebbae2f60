# The two entry points of the README, and the helpers CI uses.
JOBS ?= 2

.PHONY: demo test test-asan deps build format clean

deps:
	@scripts/install-deps.sh

build: deps
	cmake --preset dev >/dev/null
	cmake --build --preset dev -j $(JOBS)

# The main job: the desktop host on the simulated device where a display exists, else the
# command line's headless demo.
demo: deps build
	@scripts/demo.sh build/dev

test: build
	ctest --preset dev

test-asan: deps
	cmake --preset asan >/dev/null
	cmake --build --preset asan -j $(JOBS)
	ctest --preset asan

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf build
