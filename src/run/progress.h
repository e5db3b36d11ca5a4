// A progress line on standard error for runs of many candidate trees, shown
// only when standard error is a terminal; nothing of it reaches the report.
#pragma once

namespace vorbex {

void startProgress(double totalCandidates);
void showProgress(int candidatesDone);
void endProgress();

} // namespace vorbex
