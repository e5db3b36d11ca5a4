#include <gtest/gtest.h>

#include "align/align.h"
#include "pairwise/kernels.h"

namespace vorbex {
namespace {

TEST(KernelDispatch, PlainChoiceForcesThePlainKernel) {
    EXPECT_EQ(selectedKernel({.plain = true}), KernelKind::Plain);
}

TEST(KernelDispatch, PicksTheWidestKernelTheProcessorRuns) {
    const KernelKind picked = selectedKernel({});
    EXPECT_TRUE(kernelAvailable(picked));
    EXPECT_TRUE(kernelAvailable(KernelKind::Plain));
    if (kernelAvailable(KernelKind::Avx512))
        EXPECT_EQ(picked, KernelKind::Avx512);
    else if (kernelAvailable(KernelKind::Avx2))
        EXPECT_EQ(picked, KernelKind::Avx2);
    else
        EXPECT_EQ(picked, KernelKind::Plain);
}

} // namespace
} // namespace vorbex
