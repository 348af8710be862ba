# The two commands of the README: `make demo` and `make test`.
BUILD   ?= build
JOBS    ?= $(shell nproc)
CMAKE_FLAGS ?= -DKELVAN_WERROR=ON
# `cmake --build` runs make again, which would frame its output in "Entering/Leaving directory".
MAKEFLAGS += --no-print-directory

.PHONY: all deps configure build demo test test-unit bench bench-record screenshots package format clean

all: build

deps:
	@scripts/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD) $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

# Builds only what the demo runs, then loads DEMO_DAYS faked nights (scripts/demo.sh).
DEMO_TARGETS = kelvan-batch kelvan-report vltsim vltodbc
demo: configure
	@echo "make demo: builds kelvan-batch, kelvan-report and vltsim (about 2 minutes on two idle cores, seconds once"
	@echo "built), then loads two stand-in servers for 8 nights (about 1 minute)."
	@cmake --build $(BUILD) -j $(JOBS) --target $(DEMO_TARGETS)
	@scripts/demo.sh $(BUILD)

# Starts the database servers in a folder of this invocation's own, on free loopback ports unless
# KELVAN_PG_PORT / KELVAN_MARIADB_PORT name them, runs every test, and stops the servers whatever
# happened. A server that does not start prints its log and leaves the folder for a look.
test: build
	@db=$$(mktemp -d /tmp/kelvan-test-db.XXXXXX) && \
	  scripts/test-servers.sh start $$db > $$db.env || { rm -f $$db.env; exit 1; }; \
	  set -a; . $$db.env; set +a; rm -f $$db.env; \
	  (cd $(BUILD) && ctest --output-on-failure -j $(JOBS) --timeout 900); rc=$$?; \
	  scripts/test-servers.sh stop $$db; exit $$rc

# The copy against the databases' own loads and pgloader, then the other operations' benches and
# a whole night of ten servers; writes $(BENCH_RESULTS), never a file of the repository
# (`make bench-record` does that). Its own PostgreSQL and MariaDB, on free loopback ports as for
# `make test`.
BENCH_ROWS ?= 1000000
BENCH_OTHERS = derived_bench prune_bench forecast_bench report_bench
BENCH_RESULTS = $(BUILD)/bench/results.md
# The forecast catch-up reads its whole window every day: a year of snapshots takes about 7
# minutes on two cores, so the default keeps `make bench` short; FORECAST_DAYS=365 measures the year.
FORECAST_DAYS ?= 120
bench: build
	@rm -f $(BENCH_RESULTS)
	@db=$$(mktemp -d /tmp/kelvan-bench-db.XXXXXX) && \
	  scripts/test-servers.sh start $$db > $$db.env || { rm -f $$db.env; exit 1; }; \
	  set -a; . $$db.env; set +a; rm -f $$db.env; \
	  $(BUILD)/bench/copy_bench $(BENCH_ROWS) $(BENCH_RESULTS); rc=$$?; \
	  for b in $(BENCH_OTHERS); do \
	    [ -x $(BUILD)/bench/$$b ] || continue; \
	    printf '\n## %s\n\n```\n' $$b >> $(BENCH_RESULTS); \
	    args=; [ $$b = forecast_bench ] && args=$(FORECAST_DAYS); \
	    $(BUILD)/bench/$$b $$args > $(BUILD)/$$b.out || rc=1; \
	    tee -a $(BENCH_RESULTS) < $(BUILD)/$$b.out; \
	    printf '```\n' >> $(BENCH_RESULTS); \
	  done; \
	  $(BUILD)/bench/night_bench $(BENCH_RESULTS) || rc=1; \
	  $(BUILD)/bench/scale_out_bench $(BENCH_RESULTS) || rc=1; \
	  scripts/test-servers.sh stop $$db; \
	  echo "Results in $(BENCH_RESULTS); make bench-record keeps them in bench/results.md."; \
	  exit $$rc

# The figures of the last `make bench` become the repository's bench/results.md.
bench-record:
	@[ -s $(BENCH_RESULTS) ] || { echo "No $(BENCH_RESULTS): run make bench first." >&2; exit 1; }
	@cp $(BENCH_RESULTS) bench/results.md
	@echo "bench/results.md now holds the figures of $(BENCH_RESULTS)."

# Renders the console's windows and the installation guide offscreen, for review.
screenshots: build
	@mkdir -p $(BUILD)/screenshots
	@QT_QPA_PLATFORM=offscreen $(BUILD)/console/kelvan-screenshots $(BUILD)/screenshots
	@QT_QPA_PLATFORM=offscreen $(BUILD)/installguide/setup-screenshots $(BUILD)/screenshots
	@ls $(BUILD)/screenshots

# The Debian package (packaging/): builds the installed programs only, then build/kelvan_*.deb.
PACKAGE_TARGETS = kelvan kelvan-batch kelvan-report qobra vltsim vltodbc Setup kelvan_relnotes
package: configure
	@cmake --build $(BUILD) -j $(JOBS) --target $(PACKAGE_TARGETS)
	@cd $(BUILD) && cpack -G DEB

# Tests that need no database server.
test-unit: build
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS) -L unit

format:
	@find platform engine worker console report installguide vltsim bench tests \
	  \( -name '*.cpp' -o -name '*.h' \) -print0 | xargs -0 -r clang-format -i

clean:
	@rm -rf $(BUILD)
