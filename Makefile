# Words for the newcomer; the flags live in CMakePresets.json.
JOBS ?= $(shell nproc)
BUILD_PACKAGES := g++ cmake make
TEST_PACKAGES := $(BUILD_PACKAGES) libgtest-dev diffutils
BENCH_PACKAGES := $(BUILD_PACKAGES) libbenchmark-dev

.PHONY: example build test fuzz bench format format-check clean

# Build the optimised tool and run it on the bundled example.
example: build
	cd examples && ../build/release/vorbex betaglobin.fasta betaglobin.nwk betaglobin.log; \
	status=$$?; echo "(exit status $$status; report in examples/betaglobin.log)"

build:
	@tools/require-packages.sh $(BUILD_PACKAGES)
	cmake --preset release -DVORBEX_TESTS=OFF >/dev/null
	cmake --build --preset release -j $(JOBS)

# Build every test under the sanitizers and run them all.
test:
	@tools/require-packages.sh $(TEST_PACKAGES)
	cmake --preset sanitize >/dev/null
	cmake --build --preset sanitize -j $(JOBS)
	ctest --preset sanitize -j $(JOBS)

# Build the fuzz targets with clang and run each for FUZZ_SECONDS.
FUZZ_SECONDS ?= 60
fuzz:
	@tools/require-packages.sh $(BUILD_PACKAGES) clang-14 libclang-rt-14-dev
	bash fuzz/run.sh $(FUZZ_SECONDS)

format:
	clang-format-14 -i $$(git ls-files '*.cpp' '*.h')

format-check:
	clang-format-14 --dry-run --Werror $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf build
