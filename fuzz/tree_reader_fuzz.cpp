// Both tree readers on arbitrary bytes (bit 2 of the first byte chooses the
// standard one); a tree a reader takes must read back the same from its own
// NEWICK text, where the names need no quotes.
#include <cstdlib>
#include <cstring>

#include "fuzz_support.h"
#include "input/input.h"
#include "run/run.h"

using namespace vorbex;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::prepareProcess();
    fuzz::startRun();
    const bool standard = size > 0 && (data[0] & 2);
    runSettings.outputMask = size > 0 && (data[0] & 1) ? OUT_VERBOSE : 0;
    longOptions.standardNewick = standard;
    treeFile = fuzz::openBytes(data, size);
    const int code = readTree();
    fuzz::require(nodeCount <= DEFAULT_MAX_NODES && leafCount <= nodeCount, "table counts");
    if (code == 0 && rootNode != nullptr) {
        // Nodes still open where the text ended keep an empty name: their text reads differently
        bool named = true;
        for (int i = 0; i < nodeCount; ++i) {
            fuzz::require(nodeTable[i] != nullptr, "table entry");
            fuzz::require(std::strlen(nodeTable[i]->name) <= MAX_TREE_NAME_LENGTH, "name length");
            fuzz::require(nodeTable[i]->childCount <= MAX_CHILDREN, "child count");
            named = named && nodeTable[i]->name[0] != '\0';
            // Unquoted, the standard reader would split or refuse such a name
            if (standard)
                named = named && std::strpbrk(nodeTable[i]->name, " ()[]':;,") == nullptr;
        }
        // Read the tree's own text again: the same counts must come back
        const int nodes = nodeCount;
        const int leaves = leafCount;
        char* text = static_cast<char*>(std::calloc(newickTextSize() + 1, 1));
        char* end = writeNewick(rootNode, text, text + newickTextSize());
        fuzz::require(end != nullptr, "NEWICK text fits its buffer");
        *end++ = ';';
        const std::size_t length = static_cast<std::size_t>(end - text);
        fuzz::closeStreams();
        releaseRun();
        if (named && length < treeTextSize()) {
            fuzz::startRun();
            longOptions.standardNewick = standard;
            treeFile = fuzz::openBytes(reinterpret_cast<const std::uint8_t*>(text), length);
            fuzz::require(readTree() == 0, "own text reads back");
            fuzz::require(nodeCount == nodes && leafCount == leaves, "own text gives the same tree");
        }
        std::free(text);
    }
    fuzz::closeStreams();
    releaseRun();
    return 0;
}
