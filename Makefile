# The two commands of the README, plus a few conveniences. Each target does its own set-up.
BUILD ?= build
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_FLAGS ?=
XVFB := xvfb-run -a -s "-screen 0 1280x800x24"

.PHONY: all deps configure build run test bench check-sanitizers fuzz clean

all: build

deps:
	@bash scripts/install-deps

configure: deps
	@cmake -S . -B $(BUILD) -G Ninja $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

# Builds and starts the application; with no accessory attached it plays the built-in demo.
run: build
	@if [ -x $(BUILD)/app/tarvo ]; then \
	  cd $(BUILD) && exec ./app/tarvo; \
	else \
	  echo "The application is not built yet (no $(BUILD)/app/tarvo)."; \
	fi

# Builds everything and runs every test through CTest. GL tests need an X display: without one
# the whole run goes under xvfb-run.
test: build
	@cd $(BUILD) && if [ -n "$$DISPLAY" ]; then \
	  ctest --output-on-failure -j $(JOBS); \
	else \
	  $(XVFB) ctest --output-on-failure -j $(JOBS); \
	fi

# Sanitizer builds in their own directories (build-asan, build-tsan): every GL-free test under
# AddressSanitizer + UndefinedBehaviorSanitizer, the suites labelled `threads` under
# ThreadSanitizer, then each fuzz target for FUZZ_SECONDS (default 60). See scripts/check-sanitizers.
check-sanitizers: deps
	@JOBS=$(JOBS) bash scripts/check-sanitizers

# Only the fuzz build and the fuzz run (FUZZ_SECONDS per target).
fuzz: deps
	@JOBS=$(JOBS) SANITIZER_STEPS=fuzz bash scripts/check-sanitizers

bench: build
	@for b in $(BUILD)/bench/*/bench_*; do [ -x "$$b" ] && "$$b"; done; true

clean:
	rm -rf $(BUILD) build-asan build-tsan
