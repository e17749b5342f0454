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

# The sample report: examples/sales/sales.form reads build/sales.db (its FileName is relative to
# the form's folder: ../../build/sales.db), which is built here from the committed SQL; the report
# goes to $(BUILD)/sales-report.xlsx.
DEMO_DB     = build/sales.db
DEMO_REPORT = $(BUILD)/sales-report.xlsx

demo: build
	@mkdir -p $(dir $(DEMO_DB))
	@rm -f $(DEMO_DB).new
	@sqlite3 -bail $(DEMO_DB).new < examples/sales/sales.sql
	@mv $(DEMO_DB).new $(DEMO_DB)
	@$(BUILD)/brelix run examples/sales/sales.form -o $(DEMO_REPORT)
	@echo "$(abspath $(DEMO_REPORT))"

clean:
	rm -rf build build-asan
