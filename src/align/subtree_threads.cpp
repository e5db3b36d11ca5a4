#include "align/subtree_threads.h"

#include <algorithm>
#include <array>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <set>
#include <unordered_map>

#include "align/tree_passes.h"
#include "base/physical_memory.h"
#include "pairwise/kernels.h"
#include "pairwise/stripe_pool.h"

namespace vorbex {

namespace {

enum class Stage : std::uint8_t { Waiting, Finding, Found, NotFound, Built };

class SubtreeThreads {
  public:
    SubtreeThreads(PairwiseWorkspace& work, const std::vector<TreeNode*>& order,
                   ResultCode (*build)(TreeNode*, const FoundAlignment*), double poolThreadBytes)
        : work_(work), order_(order), build_(build), poolThreadBytes_(poolThreadBytes),
          stage_(order.size(), Stage::Waiting), found_(order.size()), byPool_(order.size(), false),
          childAt_(order.size(), {-1, -1}), parentAt_(order.size(), -1) {
        std::unordered_map<const TreeNode*, int> at;
        for (std::size_t i = 0; i < order.size(); ++i)
            at[order[i]] = static_cast<int>(i);
        for (std::size_t i = 0; i < order.size(); ++i)
            for (int c = 0; c < 2; ++c)
                if (const auto child = at.find(order[i]->children[c]); child != at.end()) {
                    childAt_[i][c] = child->second;
                    parentAt_[static_cast<std::size_t>(child->second)] = static_cast<int>(i);
                }
        for (std::size_t i = 0; i < order.size(); ++i)
            if (childrenBuilt(static_cast<int>(i)))
                ready_.insert(static_cast<int>(i));
    }

    static void run(void* context, int thread) {
        auto* self = static_cast<SubtreeThreads*>(context);
        if (thread == 0)
            self->buildInOrder();
        else
            self->findAhead();
    }

    SubtreeThreadsResult result() const { return {code_, static_cast<int>(front_), foundByPool_}; }
    const CellCounts& poolCells() const { return poolCells_; }

  private:
    bool childrenBuilt(int i) const {
        for (int child : childAt_[static_cast<std::size_t>(i)])
            if (child >= 0 && stage_[static_cast<std::size_t>(child)] != Stage::Built)
                return false;
        return true;
    }

    // Work storage the node's alignment may take: a whole matrix's
    double storageBytes(int i) const {
        const TreeNode* node = order_[static_cast<std::size_t>(i)];
        return alignmentStorageBytes(selectedKernel(work_.choices), node->children[0]->workLength,
                                     node->children[1]->workLength);
    }

    // Under the lock: a ready node for a pool thread, the last one whose
    // alignment fits its share of memory; -1 when there is none
    int readyForPoolThread() const {
        for (auto at = ready_.rbegin(); at != ready_.rend(); ++at)
            if (storageBytes(*at) <= poolThreadBytes_)
                return *at;
        return -1;
    }

    // Under the lock: takes a ready node to find.
    int take(int i) {
        ready_.erase(i);
        stage_[static_cast<std::size_t>(i)] = Stage::Finding;
        ++open_;
        return i;
    }

    // Called with the lock held; returns with it held.
    void find(std::unique_lock<std::mutex>& lock, PairwiseWorkspace& work, int i, bool byPool) {
        byPool_[static_cast<std::size_t>(i)] = byPool;
        TreeNode* node = order_[static_cast<std::size_t>(i)];
        lock.unlock();
        // Short of memory the node is left to its build, which says so
        const bool found = readyChildren(node) && findAlignment(work, node->children[0], node->children[1],
                                                                found_[static_cast<std::size_t>(i)]);
        // A pool thread finds far ahead of the builds: leaves wait without profiles
        if (byPool)
            setAsideChildren(node);
        lock.lock();
        stage_[static_cast<std::size_t>(i)] = found ? Stage::Found : Stage::NotFound;
        changed_.notify_all();
    }

    // The calling thread: builds the found nodes in order, finds the first ready
    void buildInOrder() {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            while (front_ < order_.size() &&
                   (stage_[front_] == Stage::Found || stage_[front_] == Stage::NotFound)) {
                const FoundAlignment* found = stage_[front_] == Stage::Found ? &found_[front_] : nullptr;
                lock.unlock();
                // Found nodes are built unlocked: the other thread reads other nodes only
                const ResultCode code = build_(order_[front_], found);
                lock.lock();
                if (code != 0) {
                    code_ = code;
                    return finish();
                }
                stage_[front_] = Stage::Built;
                foundByPool_ += found != nullptr && byPool_[front_];
                found_[front_] = FoundAlignment{};
                --open_;
                if (const int parent = parentAt_[front_]; parent >= 0 && childrenBuilt(parent))
                    ready_.insert(parent);
                ++front_;
                changed_.notify_all();
            }
            if (front_ == order_.size())
                return finish();
            if (ready_.empty()) {
                changed_.wait(lock);
                continue;
            }
            // All that is left waits for this node: a chain
            if (ready_.size() == 1 && open_ == 0)
                return finish();
            find(lock, work_, take(*ready_.begin()), false);
        }
    }

    void finish() {
        finished_ = true;
        changed_.notify_all();
    }

    // A pool thread: finds ready nodes from the far end until told to stop,
    // in storage it gives back at the end (the alignments near the root are
    // the calling thread's)
    void findAhead() {
        PairwiseWorkspace work(work_.choices);
        std::unique_lock<std::mutex> lock(mutex_);
        while (!finished_) {
            if (const int i = readyForPoolThread(); i >= 0)
                find(lock, work, take(i), true);
            else
                changed_.wait(lock);
        }
        poolCells_.computed += work.cellCounts.computed;
        poolCells_.inBands += work.cellCounts.inBands;
        poolCells_.matrix += work.cellCounts.matrix;
        poolCells_.bounded += work.cellCounts.bounded;
    }

    PairwiseWorkspace& work_; // the calling thread's
    const std::vector<TreeNode*>& order_;
    ResultCode (*const build_)(TreeNode*, const FoundAlignment*);
    const double poolThreadBytes_;
    std::mutex mutex_;
    std::condition_variable changed_;
    // Under mutex_
    std::vector<Stage> stage_;
    std::vector<FoundAlignment> found_;
    std::vector<bool> byPool_;
    std::set<int> ready_; // waiting with their children built
    int open_ = 0;        // taken and not built
    std::size_t front_ = 0;
    bool finished_ = false;
    ResultCode code_ = 0;
    int foundByPool_ = 0;
    CellCounts poolCells_{};
    // Fixed
    std::vector<std::array<int, 2>> childAt_; // order indices; -1 for a child built before
    std::vector<int> parentAt_;
};

} // namespace

SubtreeThreadsResult buildOnThreads(PairwiseWorkspace& work, const std::vector<TreeNode*>& order,
                                    ResultCode (*build)(TreeNode* node, const FoundAlignment* found),
                                    int threads, double poolThreadBytes) {
    if (order.size() < 2 || threads < 2 || (threads = preparePool(threads)) < 2)
        return {0, 0, 0};
    SubtreeThreads job(work, order, build, poolThreadBytes);
    runOnPool(threads, SubtreeThreads::run, &job);
    work.cellCounts.computed += job.poolCells().computed;
    work.cellCounts.inBands += job.poolCells().inBands;
    work.cellCounts.matrix += job.poolCells().matrix;
    work.cellCounts.bounded += job.poolCells().bounded;
    return job.result();
}

SubtreeThreadsResult buildOnThreads(PairwiseWorkspace& work, const std::vector<TreeNode*>& order,
                                    ResultCode (*build)(TreeNode* node, const FoundAlignment* found),
                                    int threads) {
    // Each pool thread keeps work storage of its own as large as its largest
    // alignment: a share of memory, larger ones are left to the calling thread
    return buildOnThreads(work, order, build, threads, physicalMemoryBytes() / (4.0 * std::max(threads, 1)));
}

} // namespace vorbex
