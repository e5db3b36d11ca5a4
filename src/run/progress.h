// A progress line on standard error for runs of many candidate trees, shown
// only when standard error is a terminal; nothing of it reaches the report.
#pragma once

namespace vorbex {

// `searching`: a heuristic search, whose candidates are counted with no end known.
void startProgress(double totalCandidates, bool searching = false);
void showProgress(int candidatesDone);
void endProgress();

} // namespace vorbex
