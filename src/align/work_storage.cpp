#include <cstdlib>

#include "align/align.h"

namespace vorbex {

double* scoreMatrix = nullptr;
double* gapInFirstMatrix = nullptr;
double* gapInSecondMatrix = nullptr;
std::uint8_t* traceMatrix = nullptr;
ProfileColumn* alignedBuffer1 = nullptr;
ProfileColumn* alignedBuffer2 = nullptr;
std::uint8_t* alignmentPath = nullptr;
bool usePlainImplementation = false;
int alignmentThreads = 1;

namespace {

template <typename T> bool allocateOnce(T*& storage, std::size_t count) {
    if (storage == nullptr)
        storage = static_cast<T*>(std::calloc(count, sizeof(T)));
    return storage != nullptr;
}

} // namespace

bool allocateAlignmentStorage() {
    const std::size_t cells = std::size_t{MATRIX_SIZE} * MATRIX_SIZE;
    bool ok = allocateOnce(scoreMatrix, cells);
    ok = allocateOnce(gapInFirstMatrix, cells) && ok;
    ok = allocateOnce(gapInSecondMatrix, cells) && ok;
    ok = allocateOnce(traceMatrix, cells) && ok;
    ok = allocateOnce(alignedBuffer1, ALIGNED_BUFFER_SIZE) && ok;
    ok = allocateOnce(alignedBuffer2, ALIGNED_BUFFER_SIZE) && ok;
    ok = allocateOnce(alignmentPath, ALIGNED_BUFFER_SIZE) && ok;
    return ok;
}

} // namespace vorbex
