# make test  - installs missing packages, builds into build/ and runs every test
# make demo  - builds and runs the sample report
# make test-sanitize - the same tests under AddressSanitizer and UndefinedBehaviorSanitizer (build-asan/)

BUILD      ?= build
BUILD_TYPE ?= RelWithDebInfo
JOBS       ?= $(shell nproc)

.PHONY: all deps configure build test demo test-sanitize clean

all: build

deps:
	@scripts/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) $(CMAKE_ARGS) >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS) -- --no-print-directory

test: build
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

test-sanitize:
	@$(MAKE) --no-print-directory test BUILD=build-asan BUILD_TYPE=Debug CMAKE_ARGS=-DBRELIX_SANITIZE=ON

demo: build
	@echo "brelix: the sample report needs the report run, which is not built yet; the build is done."

clean:
	rm -rf build build-asan
