# Set-up commands: `make demo` builds the three programs and runs them on a generated scene,
# `make test` builds and runs every test. Each first installs the Debian packages it needs
# and the machine lacks (tools/setup.sh, as root).
BUILD ?= build
JOBS ?= 2

.PHONY: all build test demo clean install

all: build

build:
	@bash tools/setup.sh test
	cmake -S . -B $(BUILD)
	cmake --build $(BUILD) -j $(JOBS)

test:
	@bash tools/setup.sh test
	@cmake -S . -B $(BUILD) >/dev/null
	cmake --build $(BUILD) -j $(JOBS)
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

# Only what the demo runs is built; the build's own output goes to $(BUILD)/demo-build.log and
# is shown only when the build fails.
demo:
	@bash tools/setup.sh demo
	@echo "=== building polyest, mkscene and offmap in $(BUILD) (log: $(BUILD)/demo-build.log)"
	@mkdir -p $(BUILD)
	@{ cmake -S . -B $(BUILD) && cmake --build $(BUILD) -j $(JOBS) --target polyest mkscene offmap; } \
	  >$(BUILD)/demo-build.log 2>&1 || { cat $(BUILD)/demo-build.log; exit 1; }
	@bash tools/demo.sh $(BUILD)

clean:
	rm -rf $(BUILD) demo

# The whole suite under AddressSanitizer and UndefinedBehaviorSanitizer, in its own build folder.
# The allocator returns null on an impossible size, as the plain one does, so the program's own
# allocation-failure messages are what the tests see.
SANITIZE_BUILD ?= build-sanitize

.PHONY: test-sanitize
test-sanitize:
	@bash tools/setup.sh test sanitize
	cmake -S . -B $(SANITIZE_BUILD) -DPOLYEST_SANITIZE=ON
	cmake --build $(SANITIZE_BUILD) -j $(JOBS)
	ASAN_OPTIONS=allocator_may_return_null=1:detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --test-dir $(SANITIZE_BUILD) --output-on-failure -j $(JOBS)

# libFuzzer targets (clang), each run FUZZ_SECONDS from its committed seed corpus; what a run
# adds to the corpus stays in the build folder, a crashing input is written there as crash-*.
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60
FUZZ_TARGETS ?= keyword_readers polyest_run
FUZZ_CXX ?= clang++

.PHONY: fuzz
fuzz:
	@bash tools/setup.sh test sanitize
	cmake -S . -B $(FUZZ_BUILD) -DPOLYEST_FUZZ=ON -DPOLYEST_TESTS=OFF \
	  -DCMAKE_CXX_COMPILER=$(FUZZ_CXX)
	cmake --build $(FUZZ_BUILD) -j $(JOBS)
	set -e; for t in $(FUZZ_TARGETS); do \
	  mkdir -p $(FUZZ_BUILD)/corpus/$$t; \
	  ASAN_OPTIONS=allocator_may_return_null=1 \
	    $(FUZZ_BUILD)/tests/fuzz/fuzz_$$t -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 \
	    -artifact_prefix=$(FUZZ_BUILD)/ $(FUZZ_BUILD)/corpus/$$t tests/fuzz/corpus/$$t; \
	done

# Whole-program benchmark on generated 1024, 2048 and 4096 square scenes (GRIDS, TERMS,
# REPEAT select), beside the numpy peer when numpy is installed; not part of `make test`.
BENCH_BUILD ?= build-bench

.PHONY: bench
bench:
	@bash tools/setup.sh bench
	cmake -S . -B $(BENCH_BUILD) -DPOLYEST_BENCH=ON -DPOLYEST_TESTS=OFF
	cmake --build $(BENCH_BUILD) -j $(JOBS)
	bash bench/run_bench.sh $(BENCH_BUILD)

# Installs the programs, their manual pages, the stack workflow and the Python module under
# $(PREFIX) (bin/, share/man/man1/, share/polyest/, the interpreter's folder for the prefix),
# from a build of its own without the tests, in $(INSTALL_BUILD): the demo's packages are
# enough, and no root is needed for a prefix of one's own (PREFIX=$$HOME/.local). Without the
# module's packages the module is left out, with a message.
PREFIX ?= /usr/local
INSTALL_BUILD ?= build-install
install:
	@bash tools/setup.sh install
	@echo "=== building what is installed in $(INSTALL_BUILD) (log: $(INSTALL_BUILD)/build.log)"
	@mkdir -p $(INSTALL_BUILD)
	@{ cmake -S . -B $(INSTALL_BUILD) -DPOLYEST_TESTS=OFF && cmake --build $(INSTALL_BUILD) -j $(JOBS); } \
	  >$(INSTALL_BUILD)/build.log 2>&1 || { cat $(INSTALL_BUILD)/build.log; exit 1; }
	@sed -n 's/^-- Python module not built: \(.*\)/install: the Python module is left out: \1/p' \
	  $(INSTALL_BUILD)/build.log
	@echo "=== installing under $(PREFIX)"
	@cmake --install $(INSTALL_BUILD) --prefix $(PREFIX)
	@case ":$$PATH:" in *":$(PREFIX)/bin:"*) ;; *) echo "install: $(PREFIX)/bin is not on PATH:" \
	  "a new login adds it when ~/.profile does (Debian's adds ~/.local/bin), or add it there";; esac

# The stack workflow on a one-machine Slurm that tests/stack/slurm-test.sh starts (munged,
# slurmctld, slurmd; configured in a scratch folder, stopped at the end); root. The local
# workflow test is part of `make test`.
.PHONY: test-slurm
test-slurm: build
	@bash tools/setup.sh slurm
	bash tests/stack/slurm-test.sh $(BUILD)

# The stack workflow's own cost per pair (wall time less the pairs' own time over the jobs) at
# 100 and 1000 small pairs, first run and unchanged rerun, and its summary picture's size;
# not part of `make test`.
.PHONY: bench-stack
bench-stack: build
	/usr/bin/python3 tools/stack/bench-stack.py $(BUILD) $(JOBS)
