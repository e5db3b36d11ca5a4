// The command-line parser on arbitrary argument vectors: the bytes split at
// line feeds and zero bytes into arguments.
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "run/run.h"

using namespace vorbex;

namespace {
constexpr std::size_t MAX_ARGUMENTS = 64;

bool terminatedWithin(const char* slot) {
    return std::memchr(slot, '\0', NAME_SIZE) != nullptr;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::prepareProcess();
    std::vector<std::string> words{"vorbex"};
    std::string word;
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == '\n' || data[i] == '\0') {
            words.push_back(word);
            word.clear();
        } else {
            word.push_back(static_cast<char>(data[i]));
        }
    }
    if (size > 0)
        words.push_back(word);
    if (words.size() > MAX_ARGUMENTS)
        words.resize(MAX_ARGUMENTS);
    std::vector<char*> argv;
    for (std::string& w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);

    fuzz::startRun();
    const int code = parseArguments(static_cast<int>(words.size()), argv.data());
    fuzz::require(code == 0 || code == ERARG || code == USAGE_SHOWN, "result code");
    const RunSettings& s = runSettings;
    fuzz::require(terminatedWithin(s.inputFileName) && terminatedWithin(s.treeFileName) &&
                      terminatedWithin(s.outputFileName),
                  "file names fit their slots");
    // A star tree is read from the sequences alone
    if (code == 0)
        fuzz::require(s.inputFileName[0] != '\0' && (s.treeFileName[0] != '\0') != longOptions.starTree &&
                          s.outputFileName[0] != '\0',
                      "a run has its names");
    fuzz::closeStreams();
    return 0;
}
