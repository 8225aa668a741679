# Quick start: `make run` converts the bundled sample, `make test` runs the whole suite.
# Both install what is missing (scripts/install-deps.sh), configure and build first.
BUILD ?= build
CMAKE_FLAGS ?= -DQELP_WERROR=ON
JOBS ?= $(shell nproc)
FUZZ_SECONDS ?= 60
# Areas whose tests run threads, checked under ThreadSanitizer.
THREADED_AREAS ?= normalizer|player|controller|concurrency|parallel_batch

.PHONY: all deps configure build run test test-portable gui install sanitize fuzz clean

all: build

deps:
	@scripts/install-deps.sh

$(BUILD)/build.ninja: | deps
	cmake -S . -B $(BUILD) -G Ninja $(CMAKE_FLAGS)

configure: $(BUILD)/build.ninja

build: deps configure
	cmake --build $(BUILD) -j $(JOBS)

run: build
	$(BUILD)/bin/qelp convert -y samples/demo.ac3 demo.wav

gui: build
	$(BUILD)/bin/QelpConvert

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

# The decoder's tests on a build whose vector code is the portable form only (no SSE2). `make test`
# already runs the accuracy tests with both forms; this also builds without the SSE2 code.
test-portable: deps
	cmake -S . -B build-portable -G Ninja -DQELP_WERROR=ON -DQELP_GUI=OFF -DQELP_PORTABLE_VECTORS=ON
	cmake --build build-portable -j $(JOBS) --target test_decoder_transform test_decoder_accuracy qelp
	ctest --test-dir build-portable --output-on-failure -j $(JOBS) -L 'decoder_transform|decoder_accuracy'

install: build
	cmake --install $(BUILD) --prefix $(or $(PREFIX),/usr/local)

# The whole suite under AddressSanitizer + UndefinedBehaviorSanitizer, then the threaded areas
# under ThreadSanitizer.
sanitize: deps
	cmake -S . -B build-asan -G Ninja -DQELP_WERROR=ON -DCMAKE_BUILD_TYPE=Debug -DQELP_SANITIZE=address,undefined
	cmake --build build-asan -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  LSAN_OPTIONS=suppressions=$(CURDIR)/scripts/lsan.supp \
	  ctest --test-dir build-asan --output-on-failure -j $(JOBS) --timeout 1200
	cmake -S . -B build-tsan -G Ninja -DQELP_WERROR=ON -DCMAKE_BUILD_TYPE=Debug -DQELP_SANITIZE=thread -DQELP_GUI=OFF
	cmake --build build-tsan -j $(JOBS)
	TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
	  ctest --test-dir build-tsan --output-on-failure -j $(JOBS) -L '$(THREADED_AREAS)' --no-tests=ignore

# Builds the fuzz targets with clang under ASan+UBSan, in the fuzzing mode that lets the decoder
# parse frames failing their CRC check, and runs each for FUZZ_SECONDS from the committed corpora
# (fuzz/corpus) and seeds (fuzz/seeds). FUZZ_BUILD=build-fuzz-fast FUZZ_SANITIZE= builds them
# without sanitizers, for long campaigns (fuzz/campaign.sh).
FUZZ_BUILD ?= build-fuzz
FUZZ_SANITIZE ?= address,undefined
fuzz: deps
	CXX=clang++ CC=clang cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQELP_WERROR=ON \
	  -DQELP_SANITIZE=$(FUZZ_SANITIZE) -DQELP_FUZZ=ON -DQELP_GUI=OFF -DQELP_BUILD_TESTS=OFF
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzz_targets
	scripts/run-fuzzers.sh $(FUZZ_BUILD)/fuzz $(FUZZ_SECONDS)

clean:
	rm -rf $(BUILD) build-asan build-tsan build-fuzz build-fuzz-fast build-portable
