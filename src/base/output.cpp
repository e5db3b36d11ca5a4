#include "base/output.h"

#include <cstdarg>
#include <sys/stat.h>

namespace vorbex {

FILE* inputFile = nullptr;
FILE* treeFile = nullptr;
FILE* reportFile = nullptr;
int candidateNumber = 0;

bool isSameFile(const char* name, FILE* open) {
    struct stat named, opened;
    return open != nullptr && stat(name, &named) == 0 && fstat(fileno(open), &opened) == 0 &&
           named.st_dev == opened.st_dev && named.st_ino == opened.st_ino;
}

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
