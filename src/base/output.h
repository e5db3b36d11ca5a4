// The run's streams and the two ways of writing a message.
#pragma once

#include <cstdio>

namespace vorbex {

// Open while the run reads or writes them, null otherwise.
extern FILE* inputFile;
extern FILE* treeFile;
extern FILE* reportFile;

// True when `name` names the file open as `open` (also by another name).
bool isSameFile(const char* name, FILE* open);

// Number of the candidate tree being evaluated, from 1; 0 before the first.
extern int candidateNumber;

// Writes to standard output and, when it is open, to the report file, which
// is then flushed.
[[gnu::format(printf, 1, 2)]] void reportBoth(const char* format, ...);
// Writes to the report file when it is open.
[[gnu::format(printf, 1, 2)]] void reportOnly(const char* format, ...);

} // namespace vorbex
