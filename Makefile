# Front door: `make run` and `make test` install what is missing, build, and run.
BUILD ?= build
JOBS ?= $(shell nproc)
EXAMPLE ?= examples/office.prj

.PHONY: deps build run test bench clean

deps:
	@bash scripts/install-deps.sh

build: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)

# The example runs in a folder of its own under the build tree, so its log and result
# files do not land among the sources.
RUNDIR = $(BUILD)/example-run

run: build
	@mkdir -p $(RUNDIR)
	@cp $(EXAMPLE) $(RUNDIR)/
	@cd $(RUNDIR) && $(CURDIR)/$(BUILD)/vexlar-x $(notdir $(EXAMPLE)); \
	  status=$$?; echo "results in $(RUNDIR)/:"; ls $(CURDIR)/$(RUNDIR); exit $$status

test: build
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

bench: deps
	@cmake -S . -B $(BUILD)-bench -DCMAKE_BUILD_TYPE=Release -DVEXLAR_BENCH=ON >/dev/null
	@cmake --build $(BUILD)-bench -j $(JOBS)

clean:
	rm -rf $(BUILD) $(BUILD)-asan $(BUILD)-bench
