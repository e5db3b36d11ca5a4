// Shared by the fuzz targets: inputs as streams, and the streams of one input
// closed, so that the next input starts clean and nothing leaks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace vorbex::fuzz {

// Silences standard output (once per process).
void prepareProcess();
// A read stream over the bytes; an empty one for no bytes.
FILE* openBytes(const std::uint8_t* data, std::size_t size);
// Settings back to their defaults, the work storage allocated, a fresh report sink.
void startRun();
// Closes the input, tree and report streams, for targets that end without finishRun.
void closeStreams();
// Stops the process on a broken invariant, so that the fuzzer keeps the input.
void require(bool condition, const char* what);

} // namespace vorbex::fuzz
