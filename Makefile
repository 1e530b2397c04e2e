# Front end to the CMake build. `make run` installs what is missing, builds and starts the GUI
# on the bundled sample; `make test` builds and runs every test.
BUILD ?= build
JOBS ?= $(shell nproc)
SAMPLE ?= data/sample.bmp

.PHONY: all deps configure build run test bench install clean

all: build

deps:
	@scripts/install-deps.sh

configure: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: configure
	cmake --build $(BUILD) -j$(JOBS)

run: build
	$(BUILD)/app/imvora $(SAMPLE)

test: build
	cd $(BUILD) && ctest --output-on-failure -j$(JOBS)

bench: deps
	cmake -S . -B $(BUILD)-bench -DCMAKE_BUILD_TYPE=Release -DIMVORA_BENCH=ON -DIMVORA_TESTS=OFF -DIMVORA_GUI=OFF
	cmake --build $(BUILD)-bench -j$(JOBS) --target imvora_bench
	$(BUILD)-bench/bench/imvora_bench

install: build
	cmake --install $(BUILD)

clean:
	rm -rf $(BUILD) $(BUILD)-bench
