# Front door of the project. `make demo` runs the plug-in against a simulated
# PDU on loopback; `make test` runs every test. Every target installs what it
# is missing first.
#
#   make demo         build, start the simulated PDU, poll it three times, stop it
#   make test         native build and the whole test suite
#   make test-armhf   cross build for 32-bit ARM, whole suite under qemu-arm
#   make test-asan    whole suite with AddressSanitizer + UndefinedBehaviorSanitizer
#   make test-tsan    whole suite with ThreadSanitizer
#   make fuzz         the fuzz targets, FUZZ_SECONDS each
#   make bench        the benchmark against the simulated PDU

BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?= -DCMAKE_BUILD_TYPE=RelWithDebInfo
CTEST = ctest --output-on-failure -j $(JOBS)
FUZZ_SECONDS ?= 60

.PHONY: all deps build test demo test-armhf test-asan test-tsan fuzz bench clean

all: build

deps:
	@tools/install-deps.sh

build: deps
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)
	cmake --build $(BUILD) -j $(JOBS)

test: build
	cd $(BUILD) && $(CTEST)

demo: build
	tools/run-demo.sh $(BUILD)

test-armhf: deps
	tools/install-armhf-deps.sh build-armhf/netsnmp-armhf
	cmake -S . -B build-armhf $(CMAKE_FLAGS) -DPDU_BENCH=OFF \
	  -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/arm-linux-gnueabihf.cmake \
	  -DNETSNMP_ARMHF_ROOT=$(CURDIR)/build-armhf/netsnmp-armhf
	cmake --build build-armhf -j $(JOBS)
	cd build-armhf && $(CTEST)

test-asan: deps
	cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DPDU_BENCH=OFF \
	  -DPDU_SANITIZE=address,undefined
	cmake --build build-asan -j $(JOBS)
	cd build-asan && $(CTEST)

test-tsan: deps
	cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPDU_BENCH=OFF \
	  -DPDU_SANITIZE=thread
	cmake --build build-tsan -j $(JOBS)
	cd build-tsan && $(CTEST)

fuzz: deps
	tools/run-fuzz.sh build-fuzz $(FUZZ_SECONDS)

bench: build
	tools/run-bench.sh $(BUILD)

clean:
	rm -rf $(BUILD) build-armhf build-asan build-tsan build-fuzz
