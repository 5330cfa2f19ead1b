# Developer entry points. Each installs what is missing, configures and builds first.
BUILD ?= build
JOBS ?= 2

.PHONY: all deps configure build test bench demo clean configure-sanitize build-sanitize check-sanitize fuzz configure-thread build-thread check-thread monkey

all: build

deps:
	@scripts/install-deps

# A compiler cache, where the machine has one, makes rebuilds in several checkouts cheap.
LAUNCHER := $(if $(shell command -v ccache),-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)

configure: deps
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVANTREL_TESTS=ON -DVANTREL_BENCH=ON $(LAUNCHER) >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

test: build
	@ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

bench: build
	@for b in $(BUILD)/bench/*_bench; do echo "== $$b"; $$b --benchmark_min_time=0.5; done
	@bench/render-example $(BUILD)/bin/vantrel
	@bench/render-jobs $(BUILD)/bin/vantrel

# Renders the fountain example (or, while it is missing, the first example there is) into
# out/demo/ with the command-line host, and says where the frames are. It installs and builds
# only what that render needs: on a fresh machine no test packages, tests or benchmarks (a
# build folder configured before keeps its tests, and builds only these targets all the same).
DEMO_OUT ?= out/demo
DEMO_TARGETS = vantrel vantrel_tsx vantrel_data
demo:
	@scripts/install-deps build
	@[ -f $(BUILD)/CMakeCache.txt ] || cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DVANTREL_TESTS=OFF -DVANTREL_BENCH=OFF $(LAUNCHER) >/dev/null
	@cmake --build $(BUILD) -j $(JOBS) --target $(DEMO_TARGETS)
	@scene=examples/fountain/scene.json; \
	[ -f "$$scene" ] || scene=$$(ls examples/*/scene.json 2>/dev/null | head -n 1); \
	if [ -z "$$scene" ]; then echo "demo: there is no example scene (examples/NAME/scene.json) to render" >&2; exit 1; fi; \
	rm -rf "$(DEMO_OUT)"; \
	echo "demo: rendering $$scene"; \
	$(BUILD)/bin/vantrel render "$$scene" -o "$(DEMO_OUT)/####.png" && \
	echo "demo: the frames of $$scene are in $(CURDIR)/$(DEMO_OUT)/"

# ---- Checked builds (clang), in a build folder of their own.
# check-sanitize: the whole suite built with AddressSanitizer and UndefinedBehaviorSanitizer
# and run, the fuzz targets briefly over their seeds among it. Sanitizer reports of every
# process (the plug-in inside the programs and tests included) are collected in
# $(SANITIZE_BUILD)/sanitizer-reports/; any report fails the check.
SANITIZE_BUILD ?= build-sanitize
SANITIZE_REPORTS = $(CURDIR)/$(SANITIZE_BUILD)/sanitizer-reports
# Leaks of system libraries the Qt programs load (D-Bus) are not ours: tests/lsan.supp.
SANITIZE_ENV = LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp:print_suppressions=0 \
  ASAN_OPTIONS=log_path=$(SANITIZE_REPORTS)/asan:log_exe_name=1:detect_leaks=1:abort_on_error=1:verify_asan_link_order=0 \
  UBSAN_OPTIONS=log_path=$(SANITIZE_REPORTS)/ubsan:log_exe_name=1:print_stacktrace=1:halt_on_error=1
FUZZ_TARGETS = scene_file_fuzz payload_fuzz settings_file_fuzz map_list_fuzz picture_fuzz obj_mesh_fuzz
FUZZ_SECONDS ?= 60
# The shared test corpora beside the checkout (or beside the folder of worktrees).
SHARED_DIR ?= $(firstword $(wildcard $(CURDIR)/../shared $(CURDIR)/../../shared) $(CURDIR)/../shared)

configure-sanitize: deps
	@command -v clang++ >/dev/null || { echo "check-sanitize and fuzz need clang (scripts/install-deps installs it)" >&2; exit 1; }
	@cmake -S . -B $(SANITIZE_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
	  -DVANTREL_SANITIZE=ON -DVANTREL_FUZZ=ON -DVANTREL_BENCH=OFF $(LAUNCHER) >/dev/null

build-sanitize: configure-sanitize
	@cmake --build $(SANITIZE_BUILD) -j $(JOBS)

check-sanitize: build-sanitize
	@rm -rf $(SANITIZE_REPORTS) && mkdir -p $(SANITIZE_REPORTS)
	@start=$$(date +%s); status=0; \
	$(SANITIZE_ENV) ctest --test-dir $(SANITIZE_BUILD) --output-on-failure -j $(JOBS) || status=1; \
	if [ -n "$$(ls -A $(SANITIZE_REPORTS))" ]; then \
	  echo "check-sanitize: sanitizer reports:" >&2; \
	  for f in $(SANITIZE_REPORTS)/*; do echo "== $$f" >&2; cat "$$f" >&2; done; status=1; \
	fi; \
	echo "check-sanitize: $$(( $$(date +%s) - start )) s, $$( [ $$status = 0 ] && echo clean || echo FAILED )"; \
	exit $$status

# check-thread: the tests that run the worker threads (the pool, stepping, compositing in bands,
# the preview's drawing pass, and the examples and presets rendered on 1, 2, 3 and 8 threads),
# built with ThreadSanitizer in a build folder of their own; any report fails the check.
# THREAD_TESTS narrows the run (a ctest -R pattern), e.g. for a short pass in CI.
THREAD_BUILD ?= build-thread
THREAD_REPORTS = $(CURDIR)/$(THREAD_BUILD)/tsan-reports
THREAD_TESTS ?= SeedAfter|WorkerPool|ParallelStep|Bands|PreviewSystem|ThreadIdentity

configure-thread: deps
	@command -v clang++ >/dev/null || { echo "check-thread needs clang (scripts/install-deps installs it)" >&2; exit 1; }
	@cmake -S . -B $(THREAD_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DVANTREL_TSAN=ON -DVANTREL_BENCH=OFF $(LAUNCHER) >/dev/null

build-thread: configure-thread
	@cmake --build $(THREAD_BUILD) -j $(JOBS) --target engine_tests renderer_tests thread_identity_tests

check-thread: build-thread
	@rm -rf $(THREAD_REPORTS) && mkdir -p $(THREAD_REPORTS)
	@status=0; \
	TSAN_OPTIONS=log_path=$(THREAD_REPORTS)/tsan:halt_on_error=1:second_deadlock_stack=1 \
	  ctest --test-dir $(THREAD_BUILD) -R '$(THREAD_TESTS)' --output-on-failure -j $(JOBS) || status=1; \
	if [ -n "$$(ls -A $(THREAD_REPORTS))" ]; then \
	  for f in $(THREAD_REPORTS)/*; do echo "== $$f" >&2; cat "$$f" >&2; done; status=1; \
	fi; \
	echo "check-thread: $$( [ $$status = 0 ] && echo clean || echo FAILED )"; exit $$status

# monkey: the seeded random walk over the studio and the plug-in's panel (tests/monkey), built
# with the sanitizers in $(SANITIZE_BUILD). SEED may list several seeds, each walked for STEPS
# actions (and a third as many panel edits that are then all undone). A walk that fails, or any
# sanitizer report, fails the target; the log of each seed (every action with its step number,
# to replay the same walk) is $(SANITIZE_BUILD)/monkey/seed-N.log.
SEED ?= 1
STEPS ?= 1000
monkey: configure-sanitize
	@cmake --build $(SANITIZE_BUILD) -j $(JOBS) --target studio_monkey
	@status=0; for seed in $(SEED); do \
	  dir=$(CURDIR)/$(SANITIZE_BUILD)/monkey/seed-$$seed; rm -rf $$dir; mkdir -p $$dir/reports; \
	  log=$(CURDIR)/$(SANITIZE_BUILD)/monkey/seed-$$seed.log; \
	  ( cd $$dir && QT_QPA_PLATFORM=offscreen $(subst $(SANITIZE_REPORTS),$$dir/reports,$(SANITIZE_ENV)) \
	    $(CURDIR)/$(SANITIZE_BUILD)/tests/monkey/studio_monkey --seed $$seed --steps $(STEPS) ) >$$log 2>&1 || status=1; \
	  tail -n 1 $$log; \
	  if [ -n "$$(ls -A $$dir/reports)" ]; then status=1; for f in $$dir/reports/*; do echo "== $$f" >&2; cat "$$f" >&2; done; fi; \
	  if [ $$status != 0 ]; then echo "monkey: seed $$seed failed; the last steps of $$log:" >&2; tail -n 25 $$log >&2; exit 1; fi; \
	done; exit $$status

# fuzz: each target for FUZZ_SECONDS (default 60), one after the other, at low priority. New
# inputs are kept in $(SANITIZE_BUILD)/fuzz/TARGET/corpus, what a target finds (crashes, time-outs,
# round trips that disagree) in $(SANITIZE_BUILD)/fuzz/TARGET/found.
fuzz: build-sanitize
	@$(SANITIZE_BUILD)/tests/fuzz/fuzz-seeds $(SANITIZE_BUILD)/fuzz/seeds examples tests/data/payload-scenes $(SHARED_DIR)/testdata
	@status=0; for t in $(FUZZ_TARGETS); do \
	  dir=$(SANITIZE_BUILD)/fuzz/$$t; mkdir -p $$dir/corpus $$dir/found; \
	  seeds=$$(sed -n "s/^vantrel_fuzz($$t \([a-z]*\) .*/\1/p" tests/fuzz/CMakeLists.txt); \
	  echo "== $$t, $(FUZZ_SECONDS) s"; \
	  $(SANITIZE_ENV) nice -n 19 $(SANITIZE_BUILD)/tests/fuzz/$$t -max_total_time=$(FUZZ_SECONDS) \
	    -rss_limit_mb=4096 -timeout=25 -print_final_stats=1 -artifact_prefix=$$dir/found/ \
	    $$dir/corpus $(SANITIZE_BUILD)/fuzz/seeds/$$seeds 2>$$dir/last-run.log || status=1; \
	  grep -E "^stat::number_of_executed_units|^#[0-9]+.*DONE|^Done" $$dir/last-run.log | tail -2; \
	  ls $$dir/found | sed "s|^|   found: $$dir/found/|"; \
	done; exit $$status

clean:
	@rm -rf $(BUILD) $(SANITIZE_BUILD)
