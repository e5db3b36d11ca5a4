// The sequence reader on arbitrary bytes, against a fixed tree.
#include <cstring>

#include "fuzz_support.h"
#include "input/input.h"
#include "run/run.h"

using namespace vorbex;

namespace {
constexpr char TREE[] = "((Human,Chimp)Hominini,(Mouse,Rat)Muridae,Dog,(Cow,Pig));";
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::prepareProcess();
    fuzz::startRun();
    treeFile = fuzz::openBytes(reinterpret_cast<const std::uint8_t*>(TREE), sizeof TREE - 1);
    fuzz::require(readTree() == 0, "fixed tree reads");
    inputFile = fuzz::openBytes(data, size);
    const int code = readSequences();
    fuzz::require(columnCapacity <= MAXSEQLEN, "record length");
    // A refused file may keep records with invalid characters; the run stops there
    for (int i = 0; code == 0 && i < nodeCount; ++i) {
        const TreeNode* node = nodeTable[i];
        if (node->workText == nullptr)
            continue;
        fuzz::require(node->savedLength >= 0 && node->savedLength <= MAXSEQLEN, "saved length");
        fuzz::require(std::strlen(node->workText) == static_cast<std::size_t>(node->savedLength),
                      "text and length agree");
    }
    fuzz::closeStreams();
    releaseRun();
    return 0;
}
