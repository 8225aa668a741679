# Quick start: `make run` converts the bundled sample, `make test` runs the whole suite.
# Both install what is missing (scripts/install-deps.sh), configure and build first.
BUILD ?= build
CMAKE_FLAGS ?= -DQELP_WERROR=ON
JOBS ?= $(shell nproc)

.PHONY: all deps configure build run test gui install clean

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

install: build
	cmake --install $(BUILD) --prefix $(or $(PREFIX),/usr/local)

clean:
	rm -rf $(BUILD)
