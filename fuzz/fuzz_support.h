// Shared by the fuzz targets: inputs as streams, and the reset of every piece
// of global state that one run leaves behind, so that the next input starts
// clean and nothing leaks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace vorbex::fuzz {

// Silences standard output and opens a sink for the report (once per process).
void prepareProcess();
// A read stream over the bytes; an empty one for no bytes.
FILE* openBytes(const std::uint8_t* data, std::size_t size);
// Settings back to their defaults, the work storage allocated.
void startRun();
// Frees every node of the actual or candidate tree, the resolution tables and
// the tree text, and resets the table, census and candidate builder.
void releaseRun();
// Stops the process on a broken invariant, so that the fuzzer keeps the input.
void require(bool condition, const char* what);

} // namespace vorbex::fuzz
