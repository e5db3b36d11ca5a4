#include "run/mpi_candidates.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <functional>
#include <map>
#include <mpi.h>
#include <string>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "report/report.h"
#include "resolve/resolve.h"
#include "run/candidate_messages.h"
#include "run/run.h"

namespace vorbex {

namespace {

enum Tag : int {
    TAG_CHUNK = 1, // first rank to a follower: first candidate and count
    TAG_STOP,      // first rank to a follower: the run's code and whether a candidate failed
    TAG_RESULT,    // follower to the first rank: one candidate's message
    TAG_FINISHED,  // follower to the first rank: it sends nothing more
};

constexpr int MAX_RANK_CHUNK = 64;
// Chunks a follower holds at a time: one to evaluate, one waiting, so that it
// never waits for the first rank between two chunks
constexpr int CHUNKS_AHEAD = 2;
// Candidates dealt beyond the first one not yet written, per rank: results
// that arrive ahead of it wait in the first rank's memory
constexpr int WINDOW_CHUNKS_PER_RANK = 4;
constexpr int FIRST_RANK_CHUNK_SHARE = 8;

bool joined = false;
int rankIndex = 0;
int rankCount = 1;

// Launchers tell their processes so; a process started by hand runs alone
bool startedByLauncher() {
    for (const char* name : {"OMPI_COMM_WORLD_SIZE", "PMIX_RANK", "PMI_RANK"})
        if (std::getenv(name) != nullptr)
            return true;
    return false;
}

int ranksOnThisMachine() {
    MPI_Comm local;
    if (MPI_Comm_split_type(MPI_COMM_WORLD, MPI_COMM_TYPE_SHARED, 0, MPI_INFO_NULL, &local) != MPI_SUCCESS)
        return 1;
    int size = 1;
    MPI_Comm_size(local, &size);
    MPI_Comm_free(&local);
    return std::max(size, 1);
}

int chunkSize(int total) {
    // Enough chunks that the ranks' shares differ little however costs vary;
    // long ones, since consecutive candidates share subtrees a rank aligns once
    return std::clamp(total / (8 * rankCount), 1, MAX_RANK_CHUNK);
}

// True, with its envelope in `status`, when a message from `source` with
// `tag` is there to be received; waits for one when `wait` is set
bool messageWaiting(int source, int tag, bool wait, MPI_Status& status) {
    if (wait) {
        MPI_Probe(source, tag, MPI_COMM_WORLD, &status);
        return true;
    }
    int arrived = 0;
    MPI_Iprobe(source, tag, MPI_COMM_WORLD, &arrived, &status);
    return arrived != 0;
}

// Puts candidate `number` of the candidate loop in the tree
std::function<int()> candidateNumbered(int number) {
    return [number] { return candidateTreeAt(number); };
}

// Candidate `number`, put in the tree by `stand`, evaluated in this rank, as
// a message for the first rank. `broken` is set when the run cannot go on past it.
std::string evaluateForMessage(int number, const std::function<int()>& stand, BestAlignment& best,
                               CandidateCapture& files, bool& broken) {
    if (!beginCandidateCapture()) {
        broken = true;
        return packCandidateMessage(BUILD_FAILED, number, ERMEM, {});
    }
    if (const int built = stand(); built != 0) {
        broken = true;
        return packCandidateMessage(BUILD_FAILED, number, built == NO_MORE_CANDIDATES ? ERINT : built, {});
    }
    candidateNumber = number;
    AlignmentScore score{};
    if (const ResultCode failed = evaluateCandidate(number, score); failed != 0) {
        broken = true;
        return packCandidateMessage(CANDIDATE_FAILED, number, failed, score);
    }
    // Only the best of this rank's candidates may be the best of all
    if (const ResultCode failed = captureEvaluated(takeIfBetter(best, number, score), files); failed != 0) {
        broken = true;
        return packCandidateMessage(CANDIDATE_FAILED, number, failed, score);
    }
    return packCandidateMessage(CANDIDATE_DONE, number, 0, score, files);
}

// ---- Followers

struct Chunk {
    int first;
    int count;
};

// Takes the first rank's messages, waiting for one when `wait` is set. True
// once it said stop, with its code and failure flag in `stop`.
bool receiveOrders(std::deque<Chunk>& chunks, bool wait, int stop[2]) {
    while (true) {
        MPI_Status status;
        if (!messageWaiting(0, MPI_ANY_TAG, wait, status))
            return false;
        wait = false;
        int values[2];
        MPI_Recv(values, 2, MPI_INT, 0, status.MPI_TAG, MPI_COMM_WORLD, MPI_STATUS_IGNORE);
        if (status.MPI_TAG == TAG_STOP) {
            stop[0] = values[0];
            stop[1] = values[1];
            return true;
        }
        chunks.push_back({values[0], values[1]});
    }
}

// Results under way to the first rank. A blocking send waits until the first
// rank takes the message, which it does only between two of its own
// candidates: a follower would spend half its time waiting.
class ResultSender {
  public:
    void send(std::string&& message) {
        // The deque never moves its elements, so the buffer stays where MPI reads it
        pending_.push_back({std::move(message), MPI_REQUEST_NULL});
        Pending& last = pending_.back();
        MPI_Isend(last.bytes.data(), static_cast<int>(last.bytes.size()), MPI_BYTE, 0, TAG_RESULT,
                  MPI_COMM_WORLD, &last.request);
        reap(pending_.size() > MAX_PENDING);
    }
    // Waits for every send under way
    void finish() {
        while (!pending_.empty())
            reap(true);
    }

  private:
    struct Pending {
        std::string bytes;
        MPI_Request request;
    };
    static constexpr std::size_t MAX_PENDING = 2 * MAX_RANK_CHUNK;

    // Drops the sends that are done, oldest first; waits for the oldest when `wait` is set
    void reap(bool wait) {
        while (!pending_.empty()) {
            int done = 0;
            if (wait) {
                MPI_Wait(&pending_.front().request, MPI_STATUS_IGNORE);
                done = 1;
                wait = false;
            } else {
                MPI_Test(&pending_.front().request, &done, MPI_STATUS_IGNORE);
            }
            if (!done)
                return;
            pending_.pop_front();
        }
    }

    std::deque<Pending> pending_;
};

void runFollower(int& code, bool& candidateFailed) {
    std::deque<Chunk> chunks;
    BestAlignment best = NO_BEST_ALIGNMENT;
    CandidateCapture files;
    ResultSender sender;
    bool broken = false;
    int stop[2] = {0, 0};
    // After a failure nothing more is evaluated: the first rank ends the run there
    while (!receiveOrders(chunks, chunks.empty() || broken, stop)) {
        if (broken || chunks.empty())
            continue;
        const int number = chunks.front().first++;
        if (--chunks.front().count == 0)
            chunks.pop_front();
        sender.send(evaluateForMessage(number, candidateNumbered(number), best, files, broken));
    }
    sender.finish();
    MPI_Send(nullptr, 0, MPI_BYTE, 0, TAG_FINISHED, MPI_COMM_WORLD);
    code = stop[0];
    candidateFailed = stop[1] != 0;
}

// ---- The first rank

// When a rank dies, the launcher ends the others, the first rank too, and not
// always by a signal it could handle. So the first rank leaves a guardian
// process outside its process group, which waits for word that the candidate
// loop has ended: without it, the guardian writes where the run stopped and
// the result report, and takes the result files away, so that the run never
// looks complete.
struct Guardian {
    pid_t pid = -1;
    int fd = -1;                       // write end of its pipe
    volatile int* stoppedAt = nullptr; // the first candidate not yet written, shared
};

Guardian guardian;

[[noreturn]] void watchFirstRank(int fd) {
    setsid();
    char word = 0;
    ssize_t got;
    while ((got = read(fd, &word, 1)) < 0 && errno == EINTR) {
    }
    if (got == 1)
        _exit(0);
    reportBoth("ERROR: MPI rank failed at candidate tree #%d\n", *guardian.stoppedAt);
    discardResultFiles();
    writeResultReport(ERINT);
    std::fflush(stdout);
    if (reportFile != nullptr)
        std::fflush(reportFile);
    _exit(ERINT);
}

void startGuardian() {
    void* shared = mmap(nullptr, sizeof(int), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    int ends[2];
    if (shared == MAP_FAILED || pipe(ends) != 0)
        return;
    guardian.stoppedAt = static_cast<volatile int*>(shared);
    *guardian.stoppedAt = 1;
    // Nothing buffered may be written twice
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        close(ends[1]);
        watchFirstRank(ends[0]);
    }
    close(ends[0]);
    if (pid < 0) {
        close(ends[1]);
        return;
    }
    guardian.pid = pid;
    guardian.fd = ends[1];
}

void stopGuardian() {
    if (guardian.pid <= 0)
        return;
    const char word = 'd';
    while (write(guardian.fd, &word, 1) < 0 && errno == EINTR) {
    }
    close(guardian.fd);
    while (waitpid(guardian.pid, nullptr, 0) < 0 && errno == EINTR) {
    }
    guardian.pid = -1;
}

struct Coordinator {
    int total = 0;
    int chunk = 1;
    int window = 1;
    int nextDeal = 1;
    int nextToWrite = 1;
    std::vector<int> outstanding; // per rank: candidates dealt and not yet back
    std::deque<Chunk> own;
    std::map<int, CandidateMessage> arrived;
    BestAlignment* best = nullptr;
    std::vector<AlignmentScore>* scores = nullptr; // where the written candidates' scores go, if anywhere
    int code = 0;
    bool candidateFailed = false;
    bool ended = false;

    // Deals the next chunk to `rank`, unless none is left or the results held
    // back would pass the window
    bool dealTo(int rank) {
        if (nextDeal > total || nextDeal - nextToWrite >= window)
            return false;
        // The first rank also writes every text: its own chunks are short, so
        // that the oldest candidate not yet written is seldom one it holds
        const int size = rank == 0 ? std::max(1, chunk / FIRST_RANK_CHUNK_SHARE) : chunk;
        const int count = std::min(size, total - nextDeal + 1);
        if (rank == 0) {
            own.push_back({nextDeal, count});
        } else {
            const int values[2] = {nextDeal, count};
            MPI_Send(values, 2, MPI_INT, rank, TAG_CHUNK, MPI_COMM_WORLD);
        }
        outstanding[rank] += count;
        nextDeal += count;
        return true;
    }

    void topUpFollowers() {
        for (int rank = 1; rank < rankCount; ++rank)
            while (outstanding[rank] < CHUNKS_AHEAD * chunk && dealTo(rank)) {
            }
    }

    void take(int rank, CandidateMessage&& message) {
        --outstanding[rank];
        const int number = message.header.number;
        arrived.emplace(number, std::move(message));
    }

    // Takes the followers' results, waiting for one when `wait` is set
    void receiveResults(bool wait) {
        while (true) {
            MPI_Status status;
            if (!messageWaiting(MPI_ANY_SOURCE, TAG_RESULT, wait, status))
                return;
            wait = false;
            take(status.MPI_SOURCE, receiveResult(status));
        }
    }

    // The result `status` announced
    CandidateMessage receiveResult(const MPI_Status& status) const {
        int size = 0;
        MPI_Get_count(&status, MPI_BYTE, &size);
        std::string bytes(static_cast<std::size_t>(size), '\0');
        MPI_Recv(bytes.data(), size, MPI_BYTE, status.MPI_SOURCE, TAG_RESULT, MPI_COMM_WORLD,
                 MPI_STATUS_IGNORE);
        CandidateMessage message;
        if (!unpackCandidateMessage(bytes.data(), bytes.size(), message)) {
            // A garbled message: the run cannot be trusted beyond it
            message = CandidateMessage{};
            message.header.kind = 0;
            message.header.number = nextToWrite;
        }
        return message;
    }

    // A message of this rank's own
    void takeOwn(const std::string& bytes, int number) {
        CandidateMessage message;
        if (!unpackCandidateMessage(bytes.data(), bytes.size(), message))
            message.header = MessageHeader{0, number, ERINT, {}, {}, 0, 0, 0, 0, 0};
        take(0, std::move(message));
    }

    // The candidates that can be written now, in candidate order
    void writeInOrder() {
        for (auto next = arrived.find(nextToWrite); !ended && next != arrived.end();
             next = arrived.find(nextToWrite)) {
            const CandidateMessage& message = next->second;
            const int number = nextToWrite;
            switch (message.header.kind) {
            case CANDIDATE_DONE:
                writeCandidateTexts(message);
                candidateNumber = number;
                takeCandidate(*best, number, message.header.score, message.files);
                if (scores != nullptr)
                    scores->push_back(message.header.score);
                break;
            case CANDIDATE_FAILED:
                writeCandidateTexts(message);
                code = message.header.code;
                candidateFailed = true;
                ended = true;
                break;
            case BUILD_FAILED:
                code = message.header.code;
                ended = true;
                break;
            default:
                reportBoth("ERROR: MPI rank failed at candidate tree #%d\n", number);
                code = ERINT;
                ended = true;
            }
            if (!message.output.empty())
                std::fflush(stdout);
            arrived.erase(next);
            if (!ended && ++nextToWrite > total) {
                code = NO_MORE_CANDIDATES;
                ended = true;
            }
            if (guardian.stoppedAt != nullptr)
                *guardian.stoppedAt = nextToWrite;
        }
    }

    void run() {
        BestAlignment ownBest = NO_BEST_ALIGNMENT;
        CandidateCapture files;
        bool broken = false;
        topUpFollowers();
        while (true) {
            receiveResults(false);
            writeInOrder();
            if (ended)
                return;
            topUpFollowers();
            if (own.empty() && !broken)
                dealTo(0);
            if (!own.empty() && !broken) {
                const int number = own.front().first++;
                if (--own.front().count == 0)
                    own.pop_front();
                takeOwn(evaluateForMessage(number, candidateNumbered(number), ownBest, files, broken),
                        number);
                continue;
            }
            receiveResults(true);
        }
    }

    // Every follower told to stop; their results still under way are passed over
    void stopFollowers() {
        const int values[2] = {code, candidateFailed ? 1 : 0};
        for (int rank = 1; rank < rankCount; ++rank)
            MPI_Send(values, 2, MPI_INT, rank, TAG_STOP, MPI_COMM_WORLD);
        for (int finished = 0; finished < rankCount - 1;) {
            MPI_Status status;
            MPI_Probe(MPI_ANY_SOURCE, MPI_ANY_TAG, MPI_COMM_WORLD, &status);
            int size = 0;
            MPI_Get_count(&status, MPI_BYTE, &size);
            std::string bytes(static_cast<std::size_t>(size), '\0');
            MPI_Recv(bytes.data(), size, MPI_BYTE, status.MPI_SOURCE, status.MPI_TAG, MPI_COMM_WORLD,
                     MPI_STATUS_IGNORE);
            if (status.MPI_TAG == TAG_FINISHED)
                ++finished;
        }
    }
};

} // namespace

void startRanks(int& argc, char**& argv) {
    if (!startedByLauncher())
        return;
    if (MPI_Init(&argc, &argv) != MPI_SUCCESS)
        return;
    joined = true;
    MPI_Comm_rank(MPI_COMM_WORLD, &rankIndex);
    MPI_Comm_size(MPI_COMM_WORLD, &rankCount);
    if (rankIndex > 0 && std::freopen("/dev/null", "w", stdout) == nullptr)
        std::fclose(stdout);
}

int endRanks(int status) {
    if (joined) {
        std::fflush(stdout);
        MPI_Finalize();
    }
    return status;
}

bool isFollowerRank() {
    return rankIndex > 0;
}

ResultCode agreeOnStart(ResultCode code) {
    if (!joined || rankCount < 2)
        return code;
    std::vector<int> codes(static_cast<std::size_t>(rankCount));
    MPI_Gather(&code, 1, MPI_INT, codes.data(), 1, MPI_INT, 0, MPI_COMM_WORLD);
    int agreed = code;
    if (rankIndex == 0 && code == 0) {
        for (int rank = 1; rank < rankCount; ++rank)
            if (codes[rank] != 0) {
                reportBoth("ERROR: MPI rank %d cannot start the run (RC=%d)\n", rank, codes[rank]);
                agreed = codes[rank];
                break;
            }
    }
    MPI_Bcast(&agreed, 1, MPI_INT, 0, MPI_COMM_WORLD);
    return agreed;
}

bool runCandidatesOverRanks(BestAlignment& best, int& code, bool& candidateFailed) {
    if (!joined || rankCount < 2)
        return false;
    // Candidates are numbered in an int: beyond it (a search no cluster ends)
    // the first rank runs alone, as one machine would
    if (treesToTry > INT_MAX) {
        code = NO_MORE_CANDIDATES;
        return rankIndex > 0;
    }
    // The ranks on one machine share its processors
    mainWorkspace().choices.threads = std::max(1, availableProcessors() / ranksOnThisMachine());
    if (rankIndex > 0) {
        runFollower(code, candidateFailed);
        return true;
    }
    Coordinator coordinator;
    coordinator.total = static_cast<int>(treesToTry);
    coordinator.chunk = chunkSize(coordinator.total);
    coordinator.window = WINDOW_CHUNKS_PER_RANK * rankCount * coordinator.chunk;
    coordinator.outstanding.assign(static_cast<std::size_t>(rankCount), 0);
    coordinator.best = &best;
    startGuardian();
    coordinator.run();
    stopGuardian();
    coordinator.stopFollowers();
    code = coordinator.code;
    candidateFailed = coordinator.candidateFailed;
    return true;
}

bool ranksShareSearch() {
    return joined && rankCount > 1;
}

ResultCode runSearchOverRanks(const std::function<ResultCode()>& search) {
    if (!ranksShareSearch())
        return search();
    mainWorkspace().choices.threads = std::max(1, availableProcessors() / ranksOnThisMachine());
    if (rankIndex == 0)
        startGuardian();
    const ResultCode code = search();
    stopGuardian();
    return code;
}

void evaluateBatchOverRanks(const CandidateBatch& batch, BestAlignment& best,
                            std::vector<AlignmentScore>& scores, int& code, bool& candidateFailed) {
    code = 0;
    candidateFailed = false;
    scores.clear();
    if (batch.count <= 0)
        return;
    // The first rank writes the texts in order as they come, its own
    // candidates among them
    Coordinator writer;
    writer.outstanding.assign(static_cast<std::size_t>(rankCount), 0);
    writer.nextToWrite = batch.firstNumber;
    writer.total = batch.firstNumber + batch.count - 1;
    writer.best = &best;
    writer.scores = &scores;
    int finished = 0; // followers done with their slices
    const auto collect = [&](bool wait) {
        while (finished < rankCount - 1) {
            MPI_Status status;
            if (!messageWaiting(MPI_ANY_SOURCE, MPI_ANY_TAG, wait, status))
                break;
            if (status.MPI_TAG == TAG_RESULT) {
                writer.take(status.MPI_SOURCE, writer.receiveResult(status));
                continue;
            }
            MPI_Recv(nullptr, 0, MPI_BYTE, status.MPI_SOURCE, status.MPI_TAG, MPI_COMM_WORLD,
                     MPI_STATUS_IGNORE);
            finished += status.MPI_TAG == TAG_FINISHED ? 1 : 0;
        }
        writer.writeInOrder();
    };
    // Consecutive candidates share subtrees that a rank aligns once. One of
    // this rank's may be the best of all only if it is better than every one
    // before it here, the run's best included.
    const int slice = (batch.count + rankCount - 1) / rankCount;
    const int end = std::min(batch.count, (rankIndex + 1) * slice);
    BestAlignment mine = best;
    CandidateCapture files;
    bool broken = false;
    ResultSender sender;
    for (int c = rankIndex * slice; c < end && !broken; ++c) {
        const int number = batch.firstNumber + c;
        std::string message = evaluateForMessage(
            number, [&] { return batch.stand(c); }, mine, files, broken);
        if (rankIndex > 0) {
            sender.send(std::move(message));
            continue;
        }
        // Taking the others' results as they come, never keeping them waiting to send
        writer.takeOwn(message, number);
        collect(false);
    }
    int verdict[3] = {0, 0, 0}; // the step's code, whether a candidate failed, the scores written
    if (rankIndex > 0) {
        sender.finish();
        MPI_Send(nullptr, 0, MPI_BYTE, 0, TAG_FINISHED, MPI_COMM_WORLD);
    } else {
        collect(true);
        // A slice ends early only after a failure, which ends the writing first
        if (!writer.ended) {
            reportBoth("ERROR: MPI rank failed at candidate tree #%d\n", writer.nextToWrite);
            writer.code = ERINT;
        }
        verdict[0] = writer.code == NO_MORE_CANDIDATES ? 0 : writer.code;
        verdict[1] = writer.candidateFailed ? 1 : 0;
        verdict[2] = static_cast<int>(scores.size());
    }
    MPI_Bcast(verdict, 3, MPI_INT, 0, MPI_COMM_WORLD);
    scores.resize(static_cast<std::size_t>(verdict[2]));
    MPI_Bcast(scores.data(), verdict[2] * static_cast<int>(sizeof(AlignmentScore)), MPI_BYTE, 0,
              MPI_COMM_WORLD);
    code = verdict[0];
    candidateFailed = verdict[1] != 0;
    if (rankIndex > 0) {
        for (std::size_t c = 0; c < scores.size(); ++c)
            (void)takeIfBetter(best, batch.firstNumber + static_cast<int>(c), scores[c]);
        candidateNumber = batch.firstNumber + verdict[2] - 1;
    }
}

bool trueOnEveryRank(bool value) {
    if (!ranksShareSearch())
        return value;
    int mine = value ? 1 : 0;
    int all = 0;
    MPI_Allreduce(&mine, &all, 1, MPI_INT, MPI_MIN, MPI_COMM_WORLD);
    return all != 0;
}

} // namespace vorbex
