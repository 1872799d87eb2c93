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

run: build
	@if [ -f $(EXAMPLE) ]; then ./$(BUILD)/vexlar-x $(EXAMPLE); else ./$(BUILD)/vexlar-x -h; fi

test: build
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

bench: deps
	@cmake -S . -B $(BUILD)-bench -DCMAKE_BUILD_TYPE=Release -DVEXLAR_BENCH=ON >/dev/null
	@cmake --build $(BUILD)-bench -j $(JOBS)

clean:
	rm -rf $(BUILD) $(BUILD)-asan $(BUILD)-bench
