# Front door of the project. `make demo` runs the plug-in against a simulated
# PDU on loopback; `make test` runs every test. Every target installs what it
# is missing first.
#
#   make demo         build the plug-in and pdu-host, start the simulated PDU (healthy), poll
#                     it twice, raise an alarm in its table, poll it once more, stop it
#   make test         native build and the whole test suite
#   make armhf        the file we ship: build-armhf/snmp_varno_pdu.so for 32-bit ARM,
#                     against net-snmp 5.8 built from source (NETSNMP_SOURCE)
#   make armhf-lock   pin the archive's current Debian 11 packages of the armhf roots
#                     in tools/armhf-roots.lock (ARMHF_DEBS: a folder of them to use)
#   make test-armhf   that build's whole suite under qemu-arm
#   make release      the archive we ship: dist/snmp_varno_pdu-VERSION-armhf.tar.gz
#   make test-release that archive unpacked and run in a clean Debian 11 armhf root
#   make release-check  a second build of the same commit elsewhere gives the same bytes
#   make test-asan    whole suite with AddressSanitizer + UndefinedBehaviorSanitizer
#   make test-tsan    whole suite with ThreadSanitizer
#   make check-locks  everything built with clang++ in build-locks/, a broken lock rule
#                     (Clang's -Wthread-safety) or any other warning an error
#   make fuzz         the fuzz targets, FUZZ_SECONDS each
#   make bench        the benchmark against the simulated PDU

BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?= -DCMAKE_BUILD_TYPE=RelWithDebInfo
CTEST = ctest --output-on-failure -j $(JOBS)
FUZZ_SECONDS ?= 60
# The net-snmp release the armhf build is made for, and the soname its
# library has; change both together to build for a host with another one.
NETSNMP_SOURCE ?= third_party/net-snmp-5.8.tar.gz
NETSNMP_SONAME ?= libnetsnmp.so.35
ARMHF_SYSROOT = $(CURDIR)/build-armhf/sysroot
# A folder of the .deb files tools/armhf-roots.lock names, for making the
# armhf roots without the Debian archive (empty: build-armhf/debs, filled
# from the archive as needed).
ARMHF_DEBS ?=
export ARMHF_DEBS
# Debian packages only the test suites use (the build's own are in
# tools/install-deps.sh): snmpsim serves .snmprec captures.
TEST_PACKAGES = snmpsim
CONFIGURE = cmake -S . -B $(BUILD) $(CMAKE_FLAGS)
VERSION := $(shell head -n 1 VERSION)
DIST ?= dist
RELEASE_ARCHIVE = $(DIST)/snmp_varno_pdu-$(VERSION)-armhf.tar.gz

.PHONY: all deps build test demo armhf armhf-configure armhf-lock test-armhf release test-release \
        release-check test-asan test-tsan check-locks fuzz bench clean

all: build

deps:
	@tools/install-deps.sh

build: deps
	$(CONFIGURE)
	cmake --build $(BUILD) -j $(JOBS)

test: build
	@tools/install-deps.sh $(TEST_PACKAGES)
	cd $(BUILD) && $(CTEST)

# Only what the demo runs: pdu-host, which depends on the plug-in (the
# simulated PDU is Python); not the tests and the benchmark.
demo: deps
	$(CONFIGURE)
	cmake --build $(BUILD) -j $(JOBS) --target pdu-host
	tools/run-demo.sh $(BUILD)

armhf-configure: deps
	tools/armhf-sysroot.sh $(ARMHF_SYSROOT)
	tools/build-netsnmp-armhf.sh $(NETSNMP_SOURCE) $(ARMHF_SYSROOT) build-armhf/netsnmp
	tools/build-jsoncpp-armhf.sh $(ARMHF_SYSROOT) build-armhf/jsoncpp
	cmake -S . -B build-armhf $(CMAKE_FLAGS) -DPDU_BENCH=OFF \
	  -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/arm-linux-gnueabihf.cmake \
	  -DARMHF_SYSROOT=$(ARMHF_SYSROOT) -DPDU_NETSNMP_SONAME=$(NETSNMP_SONAME)

armhf: armhf-configure
	cmake --build build-armhf -j $(JOBS)

# Rewrites the lock with the archive's current versions and remakes the roots
# from them; review and commit the lock's change.
armhf-lock: deps
	ARMHF_REFRESH_LOCK=1 tools/armhf-sysroot.sh $(ARMHF_SYSROOT)
	ARMHF_REFRESH_LOCK=1 tools/build-jsoncpp-armhf.sh $(ARMHF_SYSROOT) build-armhf/jsoncpp
	ARMHF_REFRESH_LOCK=1 tools/armhf-target-root.sh $(ARMHF_SYSROOT) build-armhf/target-root

# The armhf build's plug-in and pdu-host (not its tests), packed.
release: armhf-configure
	cmake --build build-armhf -j $(JOBS) --target snmp_varno_pdu pdu-host
	tools/make-release.sh build-armhf $(ARMHF_SYSROOT) $(DIST)

test-release: release
	tools/test-release.sh $(RELEASE_ARCHIVE) $(ARMHF_SYSROOT) build-armhf/target-root

release-check: release
	tools/release-check.sh $(RELEASE_ARCHIVE) $(ARMHF_SYSROOT)

test-armhf: armhf
	@tools/install-deps.sh $(TEST_PACKAGES)
	cd build-armhf && $(CTEST)

test-asan: deps
	cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DPDU_BENCH=OFF \
	  -DPDU_SANITIZE=address,undefined
	cmake --build build-asan -j $(JOBS)
	@tools/install-deps.sh $(TEST_PACKAGES)
	cd build-asan && $(CTEST)

test-tsan: deps
	cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPDU_BENCH=OFF \
	  -DPDU_SANITIZE=thread
	cmake --build build-tsan -j $(JOBS)
	@tools/install-deps.sh $(TEST_PACKAGES)
	cd build-tsan && $(CTEST)

# Compiles only: the analysis runs in the compiler.
check-locks: deps
	@tools/install-deps.sh clang
	cmake -S . -B build-locks -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=clang++ \
	  -DPDU_LOCK_CHECK=ON
	cmake --build build-locks -j $(JOBS)

fuzz: deps
	tools/run-fuzz.sh build-fuzz $(FUZZ_SECONDS)

bench: build
	tools/run-bench.sh $(BUILD)

clean:
	rm -rf $(BUILD) build-armhf build-asan build-tsan build-locks build-fuzz $(DIST)
