#include "run/parallel_candidates.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <string>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "align/align.h"
#include "resolve/resolve.h"
#include "run/candidate_messages.h"
#include "run/run.h"

namespace vorbex {

int candidateWorkers = 0;
int candidateChunk = 0;
void (*beforeWorkerCandidate)(int number) = nullptr;

namespace {

constexpr int PIPE_BYTES = 1 << 20; // the most an unprivileged process may ask for by default
constexpr int WORKER_BROKEN = 70;   // exit status of a worker that cannot go on

bool writeAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = write(fd, data, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

// False on the end of the pipe before `size` bytes
bool readAll(int fd, char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t got = read(fd, data, size);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        data += got;
        size -= static_cast<std::size_t>(got);
    }
    return true;
}

// ---- Worker side

int messageFd = -1;

// Everything a worker writes goes into memory until it is sent: the report
// text and anything for standard output, which belongs to the parent alone.
void openCapture() {
    if (!beginCandidateCapture())
        _exit(WORKER_BROKEN);
}

void sendMessage(MessageKind kind, int number, int code, const AlignmentScore& score,
                 const CandidateCapture& files = {}) {
    const std::string bytes = packCandidateMessage(kind, number, code, score, files);
    if (!writeAll(messageFd, bytes.data(), bytes.size()))
        _exit(WORKER_BROKEN);
}

// Evaluates the candidate standing as `number` and sends its message; a
// failure inside it is the worker's last message. The best is this worker's.
void evaluateAndSend(int number, BestAlignment& best, CandidateCapture& files) {
    AlignmentScore score;
    if (const ResultCode failed = evaluateCandidate(number, score); failed != 0) {
        sendMessage(CANDIDATE_FAILED, number, failed, {});
        _exit(0);
    }
    if (const ResultCode failed = captureEvaluated(takeIfBetter(best, number, score), files); failed != 0) {
        sendMessage(CANDIDATE_FAILED, number, failed, {});
        _exit(0);
    }
    sendMessage(CANDIDATE_DONE, number, 0, score, files);
    openCapture();
}

// Builds every candidate, evaluates those of chunks index, index + workers, ...
[[noreturn]] void runWorker(int index, int workers, int chunk, int fd) {
    messageFd = fd;
    mainWorkspace().choices.threads = 1;
    // A fresh cache, its share of the budget
    clearSubtreeCache();
    setSubtreeCacheBudget(defaultSubtreeCacheBudget() / static_cast<std::size_t>(workers));
    sharingCounters = {0, 0, 0};
    openCapture();
    // The best of this worker's candidates: only these may be the best of all
    BestAlignment best = NO_BEST_ALIGNMENT;
    CandidateCapture files;
    for (int number = 1;; ++number) {
        const int code = nextCandidateTree();
        if (code != 0) {
            sendMessage(code == NO_MORE_CANDIDATES ? ALL_BUILT : BUILD_FAILED, number, code, {});
            _exit(0);
        }
        candidateNumber = number;
        if ((number - 1) / chunk % workers != index)
            continue;
        if (beforeWorkerCandidate != nullptr)
            beforeWorkerCandidate(number);
        evaluateAndSend(number, best, files);
    }
}

// Evaluates the batch's candidates index, index + workers, ... The best
// starts as the parent's: a candidate not better than every one before it
// in this worker, that best included, cannot be the best of all.
[[noreturn]] void runBatchWorker(int index, int workers, const CandidateBatch& batch, BestAlignment best,
                                 int fd) {
    messageFd = fd;
    mainWorkspace().choices.threads = 1;
    openCapture();
    CandidateCapture files;
    for (int c = index; c < batch.count; c += workers) {
        const int number = batch.firstNumber + c;
        if (const int code = batch.stand(c); code != 0) {
            sendMessage(BUILD_FAILED, number, code, {});
            _exit(0);
        }
        candidateNumber = number;
        evaluateAndSend(number, best, files);
    }
    _exit(0);
}

// ---- Parent side

struct Worker {
    pid_t pid;
    int fd; // read end of its pipe
};

void closeAll(const std::vector<int>& fds) {
    for (const int fd : fds)
        if (fd >= 0)
            close(fd);
}

// Waits for every worker, killed first when `kill` is set; true when all ended well.
bool reapWorkers(std::vector<Worker>& workers, bool killFirst) {
    for (Worker& worker : workers) {
        if (worker.fd >= 0)
            close(worker.fd);
        worker.fd = -1;
        if (killFirst && worker.pid > 0)
            kill(worker.pid, SIGKILL);
    }
    bool allWell = true;
    for (Worker& worker : workers) {
        if (worker.pid <= 0)
            continue;
        int status = 0;
        pid_t ended;
        while ((ended = waitpid(worker.pid, &status, 0)) < 0 && errno == EINTR) {
        }
        allWell = allWell && ended == worker.pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
        worker.pid = -1;
    }
    return allWell;
}

// Each worker gets its own pipe and holds no end of any other; `work` is what
// worker i does, never returning.
bool startWorkers(int count, const std::function<void(int index, int fd)>& work,
                  std::vector<Worker>& workers) {
    std::vector<int> readEnds, writeEnds;
    for (int i = 0; i < count; ++i) {
        int ends[2];
        if (pipe(ends) != 0) {
            closeAll(readEnds);
            closeAll(writeEnds);
            return false;
        }
        // A worker blocks when its pipe is full: a larger pipe lets it run
        // further ahead of the parent when candidates write much
        fcntl(ends[1], F_SETPIPE_SZ, PIPE_BYTES);
        readEnds.push_back(ends[0]);
        writeEnds.push_back(ends[1]);
    }
    // Nothing buffered may be written twice: not the output, the report or a result file
    std::fflush(nullptr);
    for (int i = 0; i < count; ++i) {
        const pid_t pid = fork();
        if (pid == 0) {
            for (int j = 0; j < count; ++j) {
                close(readEnds[j]);
                if (j != i)
                    close(writeEnds[j]);
            }
            work(i, writeEnds[i]);
        }
        if (pid < 0) {
            closeAll(std::vector<int>(readEnds.begin() + i, readEnds.end()));
            closeAll(writeEnds);
            reapWorkers(workers, true);
            workers.clear();
            return false;
        }
        workers.push_back({pid, readEnds[i]});
    }
    closeAll(writeEnds);
    return true;
}

using Message = CandidateMessage;

// False when the worker ended without a whole message
bool receive(const Worker& worker, Message& message) {
    if (!readAll(worker.fd, reinterpret_cast<char*>(&message.header), sizeof message.header))
        return false;
    message.report.resize(message.header.reportBytes);
    message.output.resize(message.header.outputBytes);
    message.files.tree.resize(message.header.treeBytes);
    message.files.rows.resize(message.header.rowsBytes);
    message.files.shape.resize(message.header.shapeBytes);
    return readAll(worker.fd, message.report.data(), message.report.size()) &&
           readAll(worker.fd, message.output.data(), message.output.size()) &&
           readAll(worker.fd, message.files.tree.data(), message.files.tree.size()) &&
           readAll(worker.fd, message.files.rows.data(), message.files.rows.size()) &&
           readAll(worker.fd, message.files.shape.data(), message.files.shape.size());
}

// The normal end: every other worker has nothing left but its counters.
bool finishWorkers(std::vector<Worker>& workers, const Worker& last, const Message& lastMessage) {
    SharingCounters total = lastMessage.header.counters;
    bool allWell = true;
    Message message;
    for (const Worker& worker : workers) {
        if (&worker == &last)
            continue;
        if (!receive(worker, message) || message.header.kind != ALL_BUILT) {
            allWell = false;
            break;
        }
        total.alignmentsComputed += message.header.counters.alignmentsComputed;
        total.alignmentsReused += message.header.counters.alignmentsReused;
        total.nodesKept += message.header.counters.nodesKept;
    }
    allWell = reapWorkers(workers, !allWell) && allWell;
    if (allWell) {
        sharingCounters.alignmentsComputed += total.alignmentsComputed;
        sharingCounters.alignmentsReused += total.alignmentsReused;
        sharingCounters.nodesKept += total.nodesKept;
    }
    return allWell;
}

} // namespace

int candidateChunkSize(int workers) {
    if (candidateChunk > 0)
        return candidateChunk;
    // Enough chunks that each worker gets several and their counts differ little
    const double chunk = std::floor(treesToTry / (8.0 * workers));
    return static_cast<int>(std::clamp(chunk, 1.0, static_cast<double>(MAX_CANDIDATE_CHUNK)));
}

int candidateWorkerCount() {
    if (mainWorkspace().choices.plain || treesToTry < 2.0)
        return 1;
    if (candidateWorkers > 0)
        return std::min(candidateWorkers, MAX_CANDIDATE_WORKERS);
    int workers = std::min(availableProcessors(), MAX_CANDIDATE_WORKERS);
    const double chunks = std::ceil(treesToTry / candidateChunkSize(workers));
    if (workers > chunks)
        workers = static_cast<int>(chunks);
    return std::max(workers, 1);
}

bool runCandidatesInWorkers(int count, BestAlignment& best, int& code, bool& candidateFailed) {
    const int chunk = candidateChunkSize(count);
    std::vector<Worker> workers;
    if (!startWorkers(
            count, [&](int index, int fd) { runWorker(index, count, chunk, fd); }, workers))
        return false;
    Message message;
    for (int number = 1;; ++number) {
        Worker& worker = workers[static_cast<std::size_t>((number - 1) / chunk % count)];
        const bool received = receive(worker, message);
        const MessageKind kind = received ? static_cast<MessageKind>(message.header.kind) : MessageKind{};
        if (kind == CANDIDATE_DONE && message.header.number == number) {
            writeCandidateTexts(message);
            candidateNumber = number;
            takeCandidate(best, number, message.header.score, message.files);
            continue;
        }
        if (kind == CANDIDATE_FAILED && message.header.number == number) {
            reapWorkers(workers, true);
            writeCandidateTexts(message);
            code = message.header.code;
            candidateFailed = true;
            return true;
        }
        if (kind == BUILD_FAILED) {
            reapWorkers(workers, true);
            code = message.header.code;
            return true;
        }
        if (kind == ALL_BUILT && message.header.number == number && finishWorkers(workers, worker, message)) {
            code = NO_MORE_CANDIDATES;
            return true;
        }
        // A worker died or broke off: its candidates are lost, the run cannot succeed
        reapWorkers(workers, true);
        reportBoth("ERROR: Worker process failed at candidate tree #%d\n", number);
        code = ERINT;
        return true;
    }
}

} // namespace vorbex

namespace vorbex {

bool evaluateBatchInWorkers(int count, const CandidateBatch& batch, BestAlignment& best,
                            std::vector<AlignmentScore>& scores, int& code, bool& candidateFailed) {
    std::vector<Worker> workers;
    const BestAlignment before = best;
    if (!startWorkers(
            count, [&](int index, int fd) { runBatchWorker(index, count, batch, before, fd); }, workers))
        return false;
    Message message;
    code = 0;
    for (int c = 0; c < batch.count; ++c) {
        const int number = batch.firstNumber + c;
        const bool received = receive(workers[static_cast<std::size_t>(c % count)], message);
        const MessageKind kind = received ? static_cast<MessageKind>(message.header.kind) : MessageKind{};
        if (kind == CANDIDATE_DONE && message.header.number == number) {
            writeCandidateTexts(message);
            candidateNumber = number;
            takeCandidate(best, number, message.header.score, message.files);
            scores.push_back(message.header.score);
            continue;
        }
        reapWorkers(workers, true);
        if (kind == CANDIDATE_FAILED && message.header.number == number) {
            writeCandidateTexts(message);
            code = message.header.code;
            candidateFailed = true;
        } else if (kind == BUILD_FAILED && message.header.number == number) {
            code = message.header.code;
        } else {
            reportBoth("ERROR: Worker process failed at candidate tree #%d\n", number);
            code = ERINT;
        }
        return true;
    }
    if (!reapWorkers(workers, false)) {
        reportBoth("ERROR: Worker process failed at candidate tree #%d\n",
                   batch.firstNumber + batch.count - 1);
        code = ERINT;
    }
    return true;
}

} // namespace vorbex
