// The work storage of the pairwise alignment, grown to the largest alignment
// met so far and never shrunk: no alignment allocates unless it is larger
// than every one before.
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>

#include "pairwise/kernels.h"
#include "pairwise/pairwise.h"

namespace vorbex {

thread_local constinit double* scoreMatrix = nullptr;
thread_local constinit double* gapInFirstMatrix = nullptr;
thread_local constinit double* gapInSecondMatrix = nullptr;
thread_local constinit std::uint8_t* traceMatrix = nullptr;
thread_local constinit std::size_t traceStride = 0;
thread_local constinit std::size_t traceOffset = 0;
thread_local constinit ProfileColumn* alignedBuffer1 = nullptr;
thread_local constinit ProfileColumn* alignedBuffer2 = nullptr;
thread_local constinit std::uint8_t* alignmentPath = nullptr;
thread_local constinit StripeBuffers stripeBuffers = {};
thread_local constinit SumOfPairsBuffers sumOfPairsBuffers = {};
bool usePlainImplementation = false;
bool useDiagonalBand = true;
int alignmentThreads = 1;

namespace {

constexpr std::size_t CACHE_LINE = 64;

// A block of at least `bytes` of its own pages, dropped and mapped afresh when
// it must grow (its contents are not kept): the pages of a smaller one go
// back to the system at once, and those never written cost nothing. It grows
// by a quarter at least, so that alignments growing up a tree a few columns
// at a time do not each fault in a new matrix.
struct Block {
    void* data = nullptr;
    std::size_t bytes = 0;
    bool reserve(std::size_t wanted) {
        if (wanted <= bytes && data != nullptr)
            return true;
        const std::size_t roomy = std::max(wanted, bytes + bytes / 4);
        if (data != nullptr)
            munmap(data, bytes);
        data = nullptr;
        bytes = 0;
        return map(roomy) || map(wanted);
    }

    void release() {
        if (data != nullptr)
            munmap(data, bytes);
        data = nullptr;
        bytes = 0;
    }

  private:
    bool map(std::size_t wanted) {
        const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
        const std::size_t rounded = (std::max<std::size_t>(wanted, 1) + page - 1) / page * page;
        void* mapped = mmap(nullptr, rounded, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (mapped == MAP_FAILED)
            return false;
        // Large pages where the system offers them: a large matrix faults in far fewer times
        madvise(mapped, rounded, MADV_HUGEPAGE);
        data = mapped;
        bytes = rounded;
        return true;
    }
};

// Each thread that aligns has its own
thread_local Block traceBlock, scoreBlock, gapInFirstBlock, gapInSecondBlock;
thread_local Block alignedBlock1, alignedBlock2, pathBlock;
thread_local Block rowBlock, columnBlock;
thread_local Block sumOfPairsRowBlock, sumOfPairsColumnBlock;
thread_local Block flagBlocks[MAX_ALIGNMENT_THREADS];

std::size_t cellsOf(int n, int m) {
    return (static_cast<std::size_t>(n) + 1) * (static_cast<std::size_t>(m) + 1);
}

// Arrays of `count` elements each, one after the other on cache lines.
template <typename T> std::size_t carvedBytes(int arrays, std::size_t count) {
    return static_cast<std::size_t>(arrays) *
           ((count * sizeof(T) + CACHE_LINE - 1) / CACHE_LINE * CACHE_LINE);
}

template <typename T> T* carve(unsigned char*& next, std::size_t count) {
    T* array = reinterpret_cast<T*>(next);
    next += carvedBytes<T>(1, count);
    return array;
}

bool reserveFlagBlocks(int m, int threads) {
    const std::size_t columns = static_cast<std::size_t>(m) + STRIPE_PAD;
    for (int t = 0; t < threads && t < MAX_ALIGNMENT_THREADS; ++t)
        if (!flagBlocks[t].reserve(columns * MAX_STRIPE_ROWS))
            return false;
    for (int t = 0; t < MAX_ALIGNMENT_THREADS; ++t)
        stripeBuffers.flags[t] = static_cast<std::uint8_t*>(flagBlocks[t].data);
    return true;
}

bool reserveStripeBuffers(int n, int m, int threads) {
    const std::size_t rows = static_cast<std::size_t>(n) + STRIPE_PAD;
    const std::size_t columns = static_cast<std::size_t>(m) + STRIPE_PAD;
    const std::size_t reversed = static_cast<std::size_t>(m) + 3 * STRIPE_PAD;
    if (!rowBlock.reserve(carvedBytes<double>(BASE_COUNT + 1, rows)))
        return false;
    if (!columnBlock.reserve(carvedBytes<double>(BASE_COUNT, reversed) + carvedBytes<double>(4, columns) +
                             carvedBytes<long long>(2, columns)))
        return false;
    if (!reserveFlagBlocks(m, threads))
        return false;
    StripeBuffers& b = stripeBuffers;
    auto* next = static_cast<unsigned char*>(rowBlock.data);
    for (double*& first : b.first)
        first = carve<double>(next, rows);
    b.leftEdge = carve<double>(next, rows);
    next = static_cast<unsigned char*>(columnBlock.data);
    for (double*& second : b.second)
        second = carve<double>(next, reversed);
    for (int r = 0; r < 2; ++r) {
        b.rowS[r] = carve<double>(next, columns);
        b.rowV[r] = carve<double>(next, columns);
        b.rowPair[r] = carve<long long>(next, columns);
    }
    return true;
}

} // namespace

bool reserveSumOfPairsStorage(KernelKind kind, int n, int m, int threads) {
    if (!reserveTraceStorage(n, m))
        return false;
    if (kind == KernelKind::Plain)
        return true;
    const std::size_t rows = static_cast<std::size_t>(n) + STRIPE_PAD;
    const std::size_t columns = static_cast<std::size_t>(m) + STRIPE_PAD;
    const std::size_t reversed = static_cast<std::size_t>(m) + 3 * STRIPE_PAD;
    if (!sumOfPairsRowBlock.reserve(carvedBytes<double>(BASE_COUNT + 5, rows)) ||
        !sumOfPairsColumnBlock.reserve(carvedBytes<double>(BASE_COUNT + 4, reversed) +
                                       carvedBytes<double>(6, columns)) ||
        !reserveFlagBlocks(m, threads))
        return false;
    SumOfPairsBuffers& b = sumOfPairsBuffers;
    auto* next = static_cast<unsigned char*>(sumOfPairsRowBlock.data);
    for (double*& first : b.first)
        first = carve<double>(next, rows);
    b.firstOpen = carve<double>(next, rows);
    b.firstExtend = carve<double>(next, rows);
    b.firstEndExtend = carve<double>(next, rows);
    b.firstGapFactor = carve<double>(next, rows);
    b.leftGap = carve<double>(next, rows);
    next = static_cast<unsigned char*>(sumOfPairsColumnBlock.data);
    for (double*& second : b.second)
        second = carve<double>(next, reversed);
    b.secondOpen = carve<double>(next, reversed);
    b.secondExtend = carve<double>(next, reversed);
    b.secondGapExtend = carve<double>(next, reversed);
    b.secondEndExtend = carve<double>(next, reversed);
    for (int r = 0; r < 2; ++r) {
        b.rowPair[r] = carve<double>(next, columns);
        b.rowGapInSecond[r] = carve<double>(next, columns);
        b.rowGapInFirst[r] = carve<double>(next, columns);
    }
    return true;
}

double alignmentStorageBytes(KernelKind kind, int n, int m) {
    const double cells = static_cast<double>(cellsOf(n, m));
    const double matrices = kind == KernelKind::Plain ? 3.0 * sizeof(double) : 0.0;
    return cells * (1.0 + matrices) + 3.0 * sizeof(ProfileColumn) * (static_cast<double>(n) + m);
}

namespace {

bool reservePath(int n, int m) {
    const std::size_t length = static_cast<std::size_t>(n) + static_cast<std::size_t>(m) + 1;
    if (!alignedBlock1.reserve(length * sizeof(ProfileColumn)) ||
        !alignedBlock2.reserve(length * sizeof(ProfileColumn)) || !pathBlock.reserve(length))
        return false;
    alignedBuffer1 = static_cast<ProfileColumn*>(alignedBlock1.data);
    alignedBuffer2 = static_cast<ProfileColumn*>(alignedBlock2.data);
    alignmentPath = static_cast<std::uint8_t*>(pathBlock.data);
    return true;
}

bool reserveTrace(int n, int m, std::size_t cells) {
    if (!traceBlock.reserve(cells) || !reservePath(n, m))
        return false;
    traceMatrix = static_cast<std::uint8_t*>(traceBlock.data);
    return true;
}

} // namespace

bool reservePathStorage(int n, int m) {
    return reservePath(n, m);
}

bool reserveTraceStorage(int n, int m) {
    if (!reserveTrace(n, m, cellsOf(n, m)))
        return false;
    traceStride = static_cast<std::size_t>(m) + 1;
    traceOffset = 0;
    return true;
}

thread_local constinit void* bandScratch = nullptr;

bool reserveBandTraceStorage(int n, int m, int lowest, int highest, std::size_t scratchBytes) {
    if (lowest > 0 || highest < 0)
        return false;
    const std::size_t width = static_cast<std::size_t>(highest - lowest) + 1;
    const std::size_t flags =
        ((static_cast<std::size_t>(n) + 1) * width + CACHE_LINE - 1) / CACHE_LINE * CACHE_LINE;
    if (!reserveTrace(n, m, flags + scratchBytes))
        return false;
    traceStride = width - 1;
    traceOffset = static_cast<std::size_t>(-lowest);
    bandScratch = traceMatrix + flags;
    return true;
}

bool reserveAlignmentStorage(KernelKind kind, int n, int m, int threads) {
    const std::size_t cells = cellsOf(n, m);
    if (!reserveTraceStorage(n, m))
        return false;
    if (kind != KernelKind::Plain)
        return reserveStripeBuffers(n, m, threads);
    if (!scoreBlock.reserve(cells * sizeof(double)) || !gapInFirstBlock.reserve(cells * sizeof(double)) ||
        !gapInSecondBlock.reserve(cells * sizeof(double)))
        return false;
    scoreMatrix = static_cast<double*>(scoreBlock.data);
    gapInFirstMatrix = static_cast<double*>(gapInFirstBlock.data);
    gapInSecondMatrix = static_cast<double*>(gapInSecondBlock.data);
    return true;
}

void releaseWorkStorage() {
    for (Block* block :
         {&traceBlock, &scoreBlock, &gapInFirstBlock, &gapInSecondBlock, &alignedBlock1, &alignedBlock2,
          &pathBlock, &rowBlock, &columnBlock, &sumOfPairsRowBlock, &sumOfPairsColumnBlock})
        block->release();
    for (Block& block : flagBlocks)
        block.release();
    scoreMatrix = gapInFirstMatrix = gapInSecondMatrix = nullptr;
    traceMatrix = nullptr;
    traceStride = traceOffset = 0;
    alignedBuffer1 = alignedBuffer2 = nullptr;
    alignmentPath = nullptr;
    bandScratch = nullptr;
    stripeBuffers = {};
    sumOfPairsBuffers = {};
}

StripeBuffers& threadStripeBuffers() {
    return stripeBuffers;
}

SumOfPairsBuffers& threadSumOfPairsBuffers() {
    return sumOfPairsBuffers;
}

WorkStorage currentWorkStorage() {
    return {traceMatrix, traceStride, traceOffset, stripeBuffers, sumOfPairsBuffers};
}

namespace {

void useWorkStorage(const WorkStorage& storage) {
    traceMatrix = storage.trace;
    traceStride = storage.stride;
    traceOffset = storage.offset;
    stripeBuffers = storage.stripes;
    sumOfPairsBuffers = storage.sumOfPairs;
}

} // namespace

BorrowedStorage::BorrowedStorage(const WorkStorage& caller, int thread)
    : own_(currentWorkStorage()), borrowed_(thread != 0) {
    if (borrowed_)
        useWorkStorage(caller);
}

BorrowedStorage::~BorrowedStorage() {
    if (borrowed_)
        useWorkStorage(own_);
}

} // namespace vorbex
