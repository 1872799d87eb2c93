# Front door: `make run` builds the engine alone and runs it on an example; `make test`
# builds the engine and its tests and runs the suite. Both install what is missing first.
# JOBS limits the parallel compile and test jobs; BUILD names the build folder.
BUILD ?= build
JOBS ?= $(shell nproc)
EXAMPLE ?= examples/office.prj

.PHONY: deps configure engine build run test bench clean

deps:
	@bash scripts/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null

engine: configure
	@cmake --build $(BUILD) -j $(JOBS) --target vexlar-x

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

# The example runs in a folder of its own under the build tree, so its log and result
# files do not land among the sources; a CFD zone's solver input and a weather file of the
# example's name go with it.
# BUILD may be relative to this folder or absolute.
RUNDIR = $(BUILD)/example-run

run: engine
	@mkdir -p $(RUNDIR)
	@cp $(EXAMPLE) $(wildcard $(basename $(EXAMPLE))_*.CFD $(basename $(EXAMPLE)).wth) $(RUNDIR)/
	@cd $(RUNDIR) && $(abspath $(BUILD))/vexlar-x $(notdir $(EXAMPLE)); \
	  status=$$?; echo "results in $(RUNDIR)/:"; ls $(abspath $(RUNDIR)); exit $$status

test: build
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

bench: deps
	@cmake -S . -B $(BUILD)-bench -DCMAKE_BUILD_TYPE=Release -DVEXLAR_BENCH=ON >/dev/null
	@cmake --build $(BUILD)-bench -j $(JOBS)

clean:
	rm -rf $(BUILD) $(BUILD)-asan $(BUILD)-bench
