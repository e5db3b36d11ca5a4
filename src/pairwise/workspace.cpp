// The work storage of the pairwise alignment, grown to the largest alignment
// met so far and never shrunk: no alignment allocates unless it is larger
// than every one before.
#include "pairwise/workspace.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>

namespace vorbex {

namespace {

constexpr std::size_t CACHE_LINE = 64;

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

} // namespace

double alignmentStorageBytes(KernelKind kind, int n, int m) {
    const double cells = static_cast<double>(cellsOf(n, m));
    const double matrices = kind == KernelKind::Plain ? 3.0 * sizeof(double) : 0.0;
    return cells * (1.0 + matrices) + 3.0 * sizeof(ProfileColumn) * (static_cast<double>(n) + m);
}

// It grows by a quarter at least, so that alignments growing up a tree a few
// columns at a time do not each fault in a new matrix.
bool WorkBlock::reserve(std::size_t wanted) {
    if (wanted <= bytes_ && data != nullptr)
        return true;
    const std::size_t roomy = std::max(wanted, bytes_ + bytes_ / 4);
    release();
    return map(roomy) || map(wanted);
}

void WorkBlock::release() {
    if (data != nullptr)
        munmap(data, bytes_);
    data = nullptr;
    bytes_ = 0;
}

bool WorkBlock::map(std::size_t wanted) {
    const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    const std::size_t rounded = (std::max<std::size_t>(wanted, 1) + page - 1) / page * page;
    void* mapped = mmap(nullptr, rounded, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED)
        return false;
    // Large pages where the system offers them: a large matrix faults in far fewer times
    madvise(mapped, rounded, MADV_HUGEPAGE);
    data = mapped;
    bytes_ = rounded;
    return true;
}

bool PairwiseWorkspace::reserveFlagBlocks(int m, int threads) {
    const std::size_t columns = static_cast<std::size_t>(m) + STRIPE_PAD;
    for (int t = 0; t < threads && t < MAX_ALIGNMENT_THREADS; ++t)
        if (!flagBlocks_[t].reserve(columns * MAX_STRIPE_ROWS))
            return false;
    for (int t = 0; t < MAX_ALIGNMENT_THREADS; ++t)
        stripeBuffers.flags[t] = static_cast<std::uint8_t*>(flagBlocks_[t].data);
    return true;
}

bool PairwiseWorkspace::reserveStripeBuffers(int n, int m, int threads) {
    const std::size_t rows = static_cast<std::size_t>(n) + STRIPE_PAD;
    const std::size_t columns = static_cast<std::size_t>(m) + STRIPE_PAD;
    const std::size_t reversed = static_cast<std::size_t>(m) + 3 * STRIPE_PAD;
    if (!rowBlock_.reserve(carvedBytes<double>(BASE_COUNT + 1, rows)))
        return false;
    if (!columnBlock_.reserve(carvedBytes<double>(BASE_COUNT, reversed) + carvedBytes<double>(4, columns) +
                              carvedBytes<long long>(2, columns)))
        return false;
    if (!reserveFlagBlocks(m, threads))
        return false;
    StripeBuffers& b = stripeBuffers;
    auto* next = static_cast<unsigned char*>(rowBlock_.data);
    for (double*& first : b.first)
        first = carve<double>(next, rows);
    b.leftEdge = carve<double>(next, rows);
    next = static_cast<unsigned char*>(columnBlock_.data);
    for (double*& second : b.second)
        second = carve<double>(next, reversed);
    for (int r = 0; r < 2; ++r) {
        b.rowS[r] = carve<double>(next, columns);
        b.rowV[r] = carve<double>(next, columns);
        b.rowPair[r] = carve<long long>(next, columns);
    }
    return true;
}

bool PairwiseWorkspace::reserveSumOfPairsStorage(KernelKind kind, int n, int m, int threads) {
    if (!reserveTraceStorage(n, m))
        return false;
    if (kind == KernelKind::Plain)
        return true;
    const std::size_t rows = static_cast<std::size_t>(n) + STRIPE_PAD;
    const std::size_t columns = static_cast<std::size_t>(m) + STRIPE_PAD;
    const std::size_t reversed = static_cast<std::size_t>(m) + 3 * STRIPE_PAD;
    if (!sumOfPairsRowBlock_.reserve(carvedBytes<double>(BASE_COUNT + 5, rows)) ||
        !sumOfPairsColumnBlock_.reserve(carvedBytes<double>(BASE_COUNT + 4, reversed) +
                                        carvedBytes<double>(6, columns)) ||
        !reserveFlagBlocks(m, threads))
        return false;
    SumOfPairsBuffers& b = sumOfPairsBuffers;
    auto* next = static_cast<unsigned char*>(sumOfPairsRowBlock_.data);
    for (double*& first : b.first)
        first = carve<double>(next, rows);
    b.firstOpen = carve<double>(next, rows);
    b.firstExtend = carve<double>(next, rows);
    b.firstEndExtend = carve<double>(next, rows);
    b.firstGapFactor = carve<double>(next, rows);
    b.leftGap = carve<double>(next, rows);
    next = static_cast<unsigned char*>(sumOfPairsColumnBlock_.data);
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

bool PairwiseWorkspace::reservePathStorage(int n, int m) {
    const std::size_t length = static_cast<std::size_t>(n) + static_cast<std::size_t>(m) + 1;
    if (!alignedBlock1_.reserve(length * sizeof(ProfileColumn)) ||
        !alignedBlock2_.reserve(length * sizeof(ProfileColumn)) || !pathBlock_.reserve(length))
        return false;
    alignedBuffer1 = static_cast<ProfileColumn*>(alignedBlock1_.data);
    alignedBuffer2 = static_cast<ProfileColumn*>(alignedBlock2_.data);
    alignmentPath = static_cast<std::uint8_t*>(pathBlock_.data);
    return true;
}

bool PairwiseWorkspace::reserveTrace(int n, int m, std::size_t bytes) {
    if (!traceBlock_.reserve(bytes) || !reservePathStorage(n, m))
        return false;
    traceMatrix = static_cast<std::uint8_t*>(traceBlock_.data);
    return true;
}

bool PairwiseWorkspace::reserveTraceStorage(int n, int m) {
    if (!reserveTrace(n, m, cellsOf(n, m)))
        return false;
    traceStride = static_cast<std::size_t>(m) + 1;
    traceOffset = 0;
    return true;
}

bool PairwiseWorkspace::reserveBandTraceStorage(int n, int m, int lowest, int highest,
                                                std::size_t scratchBytes) {
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

bool PairwiseWorkspace::reserveAlignmentStorage(KernelKind kind, int n, int m, int threads) {
    const std::size_t cells = cellsOf(n, m);
    if (!reserveTraceStorage(n, m))
        return false;
    if (kind != KernelKind::Plain)
        return reserveStripeBuffers(n, m, threads);
    if (!scoreBlock_.reserve(cells * sizeof(double)) || !gapInFirstBlock_.reserve(cells * sizeof(double)) ||
        !gapInSecondBlock_.reserve(cells * sizeof(double)))
        return false;
    scoreMatrix = static_cast<double*>(scoreBlock_.data);
    gapInFirstMatrix = static_cast<double*>(gapInFirstBlock_.data);
    gapInSecondMatrix = static_cast<double*>(gapInSecondBlock_.data);
    return true;
}

void PairwiseWorkspace::releaseWorkStorage() {
    for (WorkBlock* block :
         {&traceBlock_, &scoreBlock_, &gapInFirstBlock_, &gapInSecondBlock_, &alignedBlock1_, &alignedBlock2_,
          &pathBlock_, &rowBlock_, &columnBlock_, &sumOfPairsRowBlock_, &sumOfPairsColumnBlock_})
        block->release();
    for (WorkBlock& block : flagBlocks_)
        block.release();
    scoreMatrix = gapInFirstMatrix = gapInSecondMatrix = nullptr;
    traceMatrix = nullptr;
    traceStride = traceOffset = 0;
    alignedBuffer1 = alignedBuffer2 = nullptr;
    alignmentPath = nullptr;
    bandScratch = nullptr;
    stripeBuffers = {};
    sumOfPairsBuffers = {};
    edgeBounds = {};
    edgeBoundRows = {};
}

PairwiseWorkspace& mainWorkspace() {
    // Never destroyed: what a run leaves in it stays readable to the end of the process
    static PairwiseWorkspace* const work = new PairwiseWorkspace;
    return *work;
}

} // namespace vorbex
