# make        installs what is missing, builds the DLL, the tool, the benchmark and the tests,
#             creates the Wine prefix and runs a short demonstration
# make test   builds and runs every test under Wine (ctest)
# make bench  runs the benchmark program
# make dist   packs the release zip (DLL, import libraries, headers, tool, licences) into build/dist
# make format runs clang-format over the project's sources

BUILD ?= build
JOBS ?= 2
export KWILL_BUILD := $(abspath $(BUILD))
CMAKE_FLAGS ?= -DCMAKE_BUILD_TYPE=Release

.PHONY: all deps configure build prefix language demo test bench dist format clean

all: build prefix language demo

deps:
	@scripts/deps.sh

configure: deps
	@mkdir -p $(BUILD)
	@cmake -S . -B $(BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake $(CMAKE_FLAGS) >$(BUILD)/configure.log 2>&1 \
	    || { cat $(BUILD)/configure.log; exit 1; }

build: configure
	cmake --build $(BUILD) -j $(JOBS)

prefix: deps
	@scripts/wine-prefix.sh

# A signed english.dll in bin/Language, beside the library (the build leaves it unsigned).
language: build prefix
	@scripts/with-wineserver.sh scripts/sign-language.sh

demo: build prefix
	@scripts/demo.sh

# A test that outlives its time limit runs once more: under a heavily loaded Wine a test program
# has been seen to hang after its last test passed. A test that fails is never run again.
test: build prefix
	@scripts/with-wineserver.sh ctest --test-dir $(BUILD) -j $(JOBS) --output-on-failure --no-tests=error \
	    --repeat after-timeout:2

bench: build prefix language
	@scripts/deps.sh bench
	@scripts/with-wineserver.sh scripts/bench.sh

dist: build
	@scripts/dist.sh

format:
	@find frame text strings codec shellns hostlink shellext util exports tests tools bench include examples \
	    -name '*.cpp' -o -name '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD)
