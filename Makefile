# Developer entry points. Each installs what is missing, configures and builds first.
BUILD ?= build
JOBS ?= 2

.PHONY: all deps configure build test bench demo clean

all: build

deps:
	@scripts/install-deps

# A compiler cache, where the machine has one, makes rebuilds in several checkouts cheap.
LAUNCHER := $(if $(shell command -v ccache),-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)

configure: deps
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(LAUNCHER) >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

test: build
	@ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

bench: build
	@for b in $(BUILD)/bench/*_bench; do echo "== $$b"; $$b --benchmark_min_time=0.5; done
	@bench/render-example $(BUILD)/bin/vantrel
	@bench/render-jobs $(BUILD)/bin/vantrel

# Renders the fountain example (or, while it is missing, the first example there is) into
# out/demo/ with the command-line host, and says where the frames are.
DEMO_OUT ?= out/demo
demo: build
	@scene=examples/fountain/scene.json; \
	[ -f "$$scene" ] || scene=$$(ls examples/*/scene.json 2>/dev/null | head -n 1); \
	if [ -z "$$scene" ]; then echo "demo: there is no example scene (examples/NAME/scene.json) to render" >&2; exit 1; fi; \
	rm -rf "$(DEMO_OUT)"; \
	echo "demo: rendering $$scene"; \
	$(BUILD)/bin/vantrel render "$$scene" -o "$(DEMO_OUT)/####.png" && \
	echo "demo: the frames of $$scene are in $(CURDIR)/$(DEMO_OUT)/"

clean:
	@rm -rf $(BUILD)
