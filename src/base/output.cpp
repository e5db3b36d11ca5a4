#include "base/output.h"

#include <cstdarg>

namespace vorbex {

FILE* inputFile = nullptr;
FILE* treeFile = nullptr;
FILE* reportFile = nullptr;
int candidateNumber = 0;

void reportBoth(const char* format, ...) {
    std::va_list arguments;
    va_start(arguments, format);
    if (reportFile != nullptr) {
        std::va_list copy;
        va_copy(copy, arguments);
        std::vfprintf(reportFile, format, copy);
        va_end(copy);
        std::fflush(reportFile);
    }
    std::vprintf(format, arguments);
    va_end(arguments);
}

void reportOnly(const char* format, ...) {
    if (reportFile == nullptr)
        return;
    std::va_list arguments;
    va_start(arguments, format);
    std::vfprintf(reportFile, format, arguments);
    va_end(arguments);
}

} // namespace vorbex
