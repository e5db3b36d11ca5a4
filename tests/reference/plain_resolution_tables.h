// The resolution tables built string by string, as the tool once held them:
// every split of the children, then each string's unresolved sides expanded
// with the smaller orders' strings, the new strings appended at the end.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace vorbex::reference {

// Orders 3 to `maxOrder` (at most 9: order 10 alone would take 1.2 GB).
class PlainResolutionTables {
  public:
    explicit PlainResolutionTables(int maxOrder);
    int count(int order) const { return static_cast<int>(tables[order].size()); }
    std::string operator()(int order, int index) const { return tables[order][index]; }

  private:
    std::vector<std::vector<std::string>> tables;
};

// The same walk for orders 10 and 11, over families of strings that differ only
// in which entry of a smaller order stands for one of their sides: a family is
// walked once for all of its strings. Slow per entry, small in memory.
class WalkedResolutionTable {
  public:
    WalkedResolutionTable(int order, const PlainResolutionTables& plain,
                          const WalkedResolutionTable* smaller = nullptr);
    ~WalkedResolutionTable();
    long count() const;
    std::string operator()(long index) const;

  private:
    struct Family;
    std::string side(int order, long index, const std::string& letters) const;
    std::string entryOf(const Family& family, long index) const;
    int order;
    const PlainResolutionTables& plain;
    const WalkedResolutionTable* smaller;
    std::vector<std::unique_ptr<Family>> families;
};

} // namespace vorbex::reference
