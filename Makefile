# Front end to the CMake build. `make run` installs what is missing, builds and starts the GUI
# on the bundled sample; `make test` builds and runs every test; `make package` builds the Debian
# package.
BUILD ?= build
JOBS ?= $(shell nproc)
SAMPLE ?= data/sample.bmp

# Fuzzing: `make fuzz` runs every target for FUZZ_TIME seconds; FUZZ_TARGETS picks some of
# bmp, jpeg, filters, script. Corpora grow under $(BUILD)-fuzz/corpus, outside the repository;
# a target's findings land in $(BUILD)-fuzz/artifacts.
FUZZ_TIME ?= 60
FUZZ_TARGETS ?= bmp jpeg filters script
BMPSUITE ?= ../shared/testdata/bmpsuite
FUZZ_FLAGS ?= -rss_limit_mb=2048 -timeout=10 -max_len=65536

.PHONY: all deps configure build run test bench fuzz package install clean

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

bench:
	@scripts/install-deps.sh bench
	cmake -S . -B $(BUILD)-bench -DCMAKE_BUILD_TYPE=Release -DIMVORA_BENCH=ON -DIMVORA_TESTS=OFF -DIMVORA_GUI=OFF
	cmake --build $(BUILD)-bench -j$(JOBS) --target imvora_bench
	$(BUILD)-bench/bench/imvora_bench

fuzz:
	@scripts/install-deps.sh clang libclang-rt-14-dev
	CC=clang CXX=clang++ cmake -S . -B $(BUILD)-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DIMVORA_FUZZ=ON -DIMVORA_TESTS=OFF -DIMVORA_GUI=OFF
	cmake --build $(BUILD)-fuzz -j$(JOBS) $(foreach t,$(FUZZ_TARGETS),--target fuzz_$(t))
	@for t in $(FUZZ_TARGETS); do \
	  scripts/fuzz-seeds.sh $$t $(BUILD)-fuzz/seeds/$$t $(BMPSUITE) && \
	  mkdir -p $(BUILD)-fuzz/corpus/$$t $(BUILD)-fuzz/artifacts && \
	  echo "== fuzz_$$t for $(FUZZ_TIME) s" && \
	  $(BUILD)-fuzz/fuzz/fuzz_$$t $(FUZZ_FLAGS) -max_total_time=$(FUZZ_TIME) -print_final_stats=1 \
	    -artifact_prefix=$(BUILD)-fuzz/artifacts/$$t- \
	    $(BUILD)-fuzz/corpus/$$t $(BUILD)-fuzz/seeds/$$t \
	    $$(test -d fuzz/regressions/$$t && echo fuzz/regressions/$$t) || exit 1; \
	done

package: build
	cd $(BUILD) && cpack -G DEB

install: build
	cmake --install $(BUILD)

clean:
	rm -rf $(BUILD) $(BUILD)-bench $(BUILD)-fuzz
