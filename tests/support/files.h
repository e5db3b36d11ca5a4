// Streams and files for tests: texts to read, the report file captured, and
// whole files written and read back.
#pragma once

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "base/output.h"

namespace vorbex::test_support {

// A temporary stream holding `text`, read from its start; fmemopen refuses no bytes.
inline FILE* fileWith(const std::string& text) {
    FILE* file = std::tmpfile();
    std::fwrite(text.data(), 1, text.size(), file);
    std::rewind(file);
    return file;
}

// Points the report file at a temporary file for the life of the object.
class ReportCapture {
  public:
    ReportCapture() : saved_(reportFile), file_(std::tmpfile()) { reportFile = file_; }
    ~ReportCapture() {
        reportFile = saved_;
        std::fclose(file_);
    }
    ReportCapture(const ReportCapture&) = delete;
    ReportCapture& operator=(const ReportCapture&) = delete;

    std::string text() {
        std::fflush(file_);
        std::rewind(file_);
        std::string result;
        for (int c; (c = std::fgetc(file_)) != EOF;)
            result += static_cast<char>(c);
        return result;
    }

  private:
    FILE* saved_;
    FILE* file_;
};

inline void writeFile(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace vorbex::test_support
