// Result codes: a bit set of error classes, 0 for success.
#pragma once

namespace vorbex {

using ResultCode = int;
constexpr ResultCode ERARG = 1;
constexpr ResultCode ERMEM = 2;
constexpr ResultCode ERIO = 4;
constexpr ResultCode ERDATA = 8;
constexpr ResultCode ERTREE = 16;
constexpr ResultCode ERINT = 32;
constexpr ResultCode ERSYS = 64;

// Not error classes, but travelling the same paths
constexpr int USAGE_SHOWN = 256; // the usage text was printed; no run
constexpr int NO_MORE_CANDIDATES = -1;

} // namespace vorbex
