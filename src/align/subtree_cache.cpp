// Alignments kept across candidate trees under exact keys of ordered subtrees.
// A key is a number handed out once per distinct subtree: a leaf node gets its
// own, an inner node the one of the ordered pair of its children's keys. Keys
// are never handed out twice, so equal keys mean equal subtrees, without
// hashing that could collide. A kept alignment is its path, packed four steps
// a byte: with the children's saved profiles it rebuilds their aligned
// profiles, and the parent's from them, exactly.
#include <algorithm>
#include <limits>
#include <unordered_map>
#include <vector>

#include "align/subtree_cache.h"

#include "align/align.h"
#include "base/physical_memory.h"

namespace vorbex {

SharingCounters sharingCounters = {0, 0, 0};

namespace {

// Rough cost of one hash map element with its share of the bucket array
constexpr std::size_t MAP_ELEMENT_BYTES = 64;
constexpr std::size_t DEFAULT_BUDGET_CAP = std::size_t{512} << 20;

constexpr std::uint8_t STEP_PAIR = 0;
constexpr std::uint8_t STEP_GAP_IN_SECOND = 1;
constexpr std::uint8_t STEP_GAP_IN_FIRST = 2;

struct Entry {
    SubtreeKey key;
    CachedAlignment alignment;
    std::vector<std::uint8_t> path;
    int older; // neighbours in the use order, slots; -1 at the ends
    int newer;
};

struct Cache {
    std::unordered_map<const TreeNode*, SubtreeKey> leafKeys;
    std::unordered_map<std::uint64_t, SubtreeKey> pairKeys;
    std::unordered_map<SubtreeKey, int> slotOf;
    std::vector<Entry> slots;
    std::vector<int> freeSlots;
    int newest = -1;
    int oldest = -1;
    SubtreeKey nextKey = 1;
    std::size_t keyBytes = 0;
    std::size_t entryBytes = 0;
    std::size_t budget = defaultSubtreeCacheBudget();
};

Cache cache;

std::size_t packedBytes(int length) {
    return static_cast<std::size_t>(length + 3) / 4;
}

std::size_t costOf(int length) {
    return sizeof(Entry) + MAP_ELEMENT_BYTES + packedBytes(length);
}

void unlink(int slot) {
    Entry& entry = cache.slots[slot];
    if (entry.older >= 0)
        cache.slots[entry.older].newer = entry.newer;
    else
        cache.oldest = entry.newer;
    if (entry.newer >= 0)
        cache.slots[entry.newer].older = entry.older;
    else
        cache.newest = entry.older;
    entry.older = entry.newer = -1;
}

void linkNewest(int slot) {
    Entry& entry = cache.slots[slot];
    entry.older = cache.newest;
    entry.newer = -1;
    if (cache.newest >= 0)
        cache.slots[cache.newest].newer = slot;
    else
        cache.oldest = slot;
    cache.newest = slot;
}

void dropOldest() {
    const int slot = cache.oldest;
    unlink(slot);
    Entry& entry = cache.slots[slot];
    cache.entryBytes -= costOf(entry.alignment.length);
    cache.slotOf.erase(entry.key);
    std::vector<std::uint8_t>().swap(entry.path);
    cache.freeSlots.push_back(slot);
}

// Drops the least recently used alignments until `extra` more bytes fit.
bool makeRoom(std::size_t extra) {
    while (cache.keyBytes + cache.entryBytes + extra > cache.budget && cache.oldest >= 0)
        dropOldest();
    return cache.keyBytes + cache.entryBytes + extra <= cache.budget;
}

// A fresh key, when the key tables have room for one more: they may fill at
// most half the budget, and everything starts again empty when they would
// pass it; nodes still holding earlier keys only miss from then on.
SubtreeKey newKey() {
    if (cache.keyBytes + MAP_ELEMENT_BYTES > cache.budget / 2) {
        clearSubtreeCache();
        if (MAP_ELEMENT_BYTES > cache.budget / 2)
            return NO_SUBTREE_KEY;
    }
    if (cache.nextKey == std::numeric_limits<SubtreeKey>::max() || !makeRoom(MAP_ELEMENT_BYTES))
        return NO_SUBTREE_KEY;
    cache.keyBytes += MAP_ELEMENT_BYTES;
    return cache.nextKey++;
}

} // namespace

std::size_t defaultSubtreeCacheBudget() {
    // An unknown memory size comes as HUGE_VAL: the cap then
    const double eighth = physicalMemoryBytes() / 8;
    return eighth < static_cast<double>(DEFAULT_BUDGET_CAP) ? static_cast<std::size_t>(eighth)
                                                            : DEFAULT_BUDGET_CAP;
}

void setSubtreeCacheBudget(std::size_t bytes) {
    cache.budget = bytes;
    if (cache.keyBytes > bytes / 2)
        clearSubtreeCache();
    makeRoom(0);
}

std::size_t subtreeCacheBytes() {
    return cache.keyBytes + cache.entryBytes;
}

int subtreeCacheEntries() {
    return static_cast<int>(cache.slotOf.size());
}

// Keys go on from where they were: one handed out before the clear must
// never come to mean another subtree.
void clearSubtreeCache() {
    const std::size_t budget = cache.budget;
    const SubtreeKey next = cache.nextKey;
    cache = Cache{};
    cache.budget = budget;
    cache.nextKey = next;
}

namespace {

// The key of `id` in `keys`, handed out on first sight.
template <typename Keys, typename Id> SubtreeKey internKey(Keys& keys, const Id& id) {
    if (const auto found = keys.find(id); found != keys.end())
        return found->second;
    const SubtreeKey key = newKey();
    if (key != NO_SUBTREE_KEY)
        keys.emplace(id, key);
    return key;
}

} // namespace

SubtreeKey leafSubtreeKey(const TreeNode* leaf) {
    return internKey(cache.leafKeys, leaf);
}

SubtreeKey pairSubtreeKey(SubtreeKey first, SubtreeKey second) {
    if (first == NO_SUBTREE_KEY || second == NO_SUBTREE_KEY)
        return NO_SUBTREE_KEY;
    return internKey(cache.pairKeys, (std::uint64_t{first} << 32) | second);
}

bool findCachedAlignment(SubtreeKey key, CachedAlignment& found) {
    if (key == NO_SUBTREE_KEY)
        return false;
    const auto at = cache.slotOf.find(key);
    if (at == cache.slotOf.end())
        return false;
    unlink(at->second);
    linkNewest(at->second);
    found = cache.slots[at->second].alignment;
    return true;
}

void storeAlignment(SubtreeKey key, double similarity, int firstLength, int secondLength,
                    const std::uint8_t* steps, int length) {
    if (key == NO_SUBTREE_KEY || length < 0 || length > longOptions.maxLength || cache.slotOf.count(key) != 0)
        return;
    const std::size_t cost = costOf(length);
    if (!makeRoom(cost))
        return;
    int slot;
    if (!cache.freeSlots.empty()) {
        slot = cache.freeSlots.back();
        cache.freeSlots.pop_back();
    } else {
        slot = static_cast<int>(cache.slots.size());
        cache.slots.push_back(Entry{});
    }
    Entry& entry = cache.slots[slot];
    entry.key = key;
    entry.path.assign(packedBytes(length), 0);
    for (int c = 0; c < length; ++c) {
        const std::uint8_t step = steps[c] == TRACE_DIAG ? STEP_PAIR
                                  : steps[c] == TRACE_UP ? STEP_GAP_IN_SECOND
                                                         : STEP_GAP_IN_FIRST;
        entry.path[c / 4] |= static_cast<std::uint8_t>(step << (2 * (c % 4)));
    }
    entry.alignment = {similarity, firstLength, secondLength, length, entry.path.data()};
    cache.slotOf.emplace(key, slot);
    linkNewest(slot);
    cache.entryBytes += cost;
}

void rebuildAlignedChildren(const CachedAlignment& alignment, TreeNode* first, TreeNode* second) {
    const ProfileColumn* const columns1 = first->savedProfile;
    const ProfileColumn* const columns2 = second->savedProfile;
    ProfileColumn* const out1 = first->workProfile;
    ProfileColumn* const out2 = second->workProfile;
    const ProfileColumn gapColumn{};
    int i = 0;
    int j = 0;
    for (int c = 0; c < alignment.length; ++c) {
        const int step = (alignment.packedPath[c / 4] >> (2 * (c % 4))) & 3;
        if (step == STEP_PAIR) {
            out1[c] = columns1[i++];
            out2[c] = columns2[j++];
        } else if (step == STEP_GAP_IN_SECOND) {
            out1[c] = columns1[i++];
            out2[c] = gapColumn;
        } else {
            out1[c] = gapColumn;
            out2[c] = columns2[j++];
        }
    }
    first->workLength = alignment.length;
    second->workLength = alignment.length;
}

} // namespace vorbex
