#include "base/output.h"
#include "report/report.h"

namespace vorbex {
namespace {

// Words of the result report, in ascending order of their bits.
constexpr const char* RESULT_WORDS[] = {" ERARG",  " ERMEM", " ERIO", " ERDATA",
                                        " ERTREE", " ERINT", " ERSYS"};

} // namespace

void writeResultReport(int code) {
    reportBoth("RC=%d (", code);
    for (int bit = 0; bit < 7; ++bit)
        if (code & (1 << bit))
            reportBoth("%s", RESULT_WORDS[bit]);
    reportBoth(" )\n");
}

} // namespace vorbex
