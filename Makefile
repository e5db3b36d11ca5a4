# Words for the newcomer; the flags live in CMakePresets.json.
JOBS ?= $(shell nproc)
BUILD_PACKAGES := g++ cmake make
TEST_PACKAGES := $(BUILD_PACKAGES) libgtest-dev diffutils groff-base python3-biopython emboss libopenmpi-dev \
    openmpi-bin
BENCH_PACKAGES := $(BUILD_PACKAGES) libbenchmark-dev bc

.PHONY: example build test fuzz bench bench-mpi bench-search bench-large accuracy deb format format-check clean

# Build the optimised tool and run it on the bundled example.
example: build
	@cd examples && ../build/release/vorbex betaglobin.fasta betaglobin.nwk betaglobin.log; \
	status=$$?; echo "(exit status $$status; the report is examples/betaglobin.log)"

build:
	@tools/require-packages.sh $(BUILD_PACKAGES)
	cmake --preset release -DVORBEX_TESTS=OFF >/dev/null
	cmake --build --preset release -j $(JOBS)

# Build every test under the sanitizers and run them all; then the MPI build,
# under the sanitizers too, with its test (without LeakSanitizer, which would
# report Open MPI's own allocations), and the golden cases on it, run without
# a launcher.
test:
	@tools/require-packages.sh $(TEST_PACKAGES)
	cmake --preset sanitize >/dev/null
	cmake --build --preset sanitize -j $(JOBS)
	ctest --preset sanitize -j $(JOBS)
	cmake --preset mpi >/dev/null
	cmake --build --preset mpi -j $(JOBS) --target vorbex
	ctest --preset mpi -L 'mpi|e2e' -j $(JOBS)

# Build the release tool with the benchmarks (build/bench), then run the
# kernel benchmark K and the whole runs W1 to W5 against the plain code,
# the long runs L1, L2 (--max-length) on all processors and on one, then R:
# what the result files add to a run, and B: what the proven bands save
# (every workload on one processor against the same build without them).
BENCH_DIR := build/bench
bench:
	@tools/require-packages.sh $(BENCH_PACKAGES)
	cmake -S . -B $(BENCH_DIR) -DCMAKE_BUILD_TYPE=Release -DVORBEX_TESTS=OFF -DVORBEX_BENCH=ON >/dev/null
	cmake --build $(BENCH_DIR) -j $(JOBS)
	$(BENCH_DIR)/bench/vorbex_kernel_bench --benchmark_color=false
	$(BENCH_DIR)/bench/vorbex_run_bench $(BENCH_DIR)/vorbex "$(BENCH_DIR)/bench/vorbex_variant plain" $(BENCH_DIR)/work 3 1 W1,W2,W3,W4,W4B,W5
	$(BENCH_DIR)/bench/vorbex_run_bench $(BENCH_DIR)/vorbex - $(BENCH_DIR)/work 3 0 L1,L2
	bash bench/result_files_bench.sh $(BENCH_DIR)/vorbex examples 21
	bash bench/band_bench.sh $(BENCH_DIR) $(BENCH_DIR)/work 5

# Candidates per second of one process and of MPI ranks on this machine
# (bench/mpi_bench.sh), MPI_BENCH_RUNS times each.
MPI_BENCH_DIR := build/bench-mpi
MPI_BENCH_RUNS ?= 3
bench-mpi:
	@tools/require-packages.sh $(BENCH_PACKAGES) libopenmpi-dev openmpi-bin
	cmake -S . -B $(MPI_BENCH_DIR) -DCMAKE_BUILD_TYPE=Release -DVORBEX_TESTS=OFF -DVORBEX_BENCH=ON -DVORBEX_MPI=ON >/dev/null
	cmake --build $(MPI_BENCH_DIR) -j $(JOBS) --target vorbex vorbex_workload
	bash bench/mpi_bench.sh $(MPI_BENCH_DIR)/vorbex $(MPI_BENCH_DIR)/bench/vorbex_workload $(MPI_BENCH_DIR)/work $(MPI_BENCH_RUNS)

# The heuristic search against the exhaustive one on 20 generated cases
# (bench/search/search_bench.py), both scorings, one processor each.
bench-search: build
	@tools/require-packages.sh python3
	/usr/bin/python3 bench/search/search_bench.py build/release/vorbex build/bench-search 20 7

# Many sequences: 10,000 and 100,000 on their binary trees against Kalign and
# MAFFT's default, and the 10,000 with 30% of their branches collapsed under
# the heuristic search (bench/large/large_bench.py); a peer is stopped after
# LARGE_PEER_SECONDS.
LARGE_PEER_SECONDS ?= 1800
bench-large: build
	@tools/require-packages.sh python3 kalign mafft time
	/usr/bin/python3 bench/large/large_bench.py build/release/vorbex build/bench-large T10K,T100K,C10K $(LARGE_PEER_SECONDS)

# Alignments against the truth: families simulated by INDELible, aligned on
# their true tree by the release tool and by MAFFT (bench/accuracy/accuracy.py);
# outside the test suite.
accuracy: build
	@tools/require-packages.sh indelible mafft kalign infernal python3
	/usr/bin/python3 bench/accuracy/accuracy.py build/release/vorbex build/accuracy

# Build the fuzz targets with clang and run each for FUZZ_SECONDS.
FUZZ_SECONDS ?= 60
fuzz:
	@tools/require-packages.sh $(BUILD_PACKAGES) clang-14 libclang-rt-14-dev
	bash fuzz/run.sh $(FUZZ_SECONDS)

# Build the Debian package (release tool, every test run during the build) into
# build/deb; tools/check-deb.sh then checks, installs and removes it.
DEB_PACKAGES := $(TEST_PACKAGES) time debhelper dpkg-dev
deb:
	@tools/require-packages.sh $(DEB_PACKAGES)
	tools/build-deb.sh build/deb

format:
	clang-format-14 -i $$(git ls-files '*.cpp' '*.h')

format-check:
	clang-format-14 --dry-run --Werror $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf build
