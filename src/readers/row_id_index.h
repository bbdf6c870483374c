#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

namespace kestrow {

// Values by a table's ROWID, for a million rows: a sorted array instead of a hash map (a quarter of
// the memory, no allocation per row). Rows of a table scan come in ROWID order, so a lookup starts
// where the one before ended and mostly finds its row there; out of order it searches the whole.
template <typename TValue> class TRowIdIndex {
public:
    void Reserve(std::size_t count) { FEntries.reserve(count); }
    void Add(std::int64_t rowId, TValue value) { FEntries.push_back({rowId, std::move(value)}); }
    // Sorts by ROWID; of a ROWID added more than once the first value stays.
    void Seal() {
        if (!std::is_sorted(FEntries.begin(), FEntries.end(), Before)) {
            std::stable_sort(FEntries.begin(), FEntries.end(), Before);
        }
        FEntries.erase(std::unique(FEntries.begin(), FEntries.end(),
                                   [](const TEntry& a, const TEntry& b) { return a.RowId == b.RowId; }),
                       FEntries.end());
        FCursor = 0;
    }
    std::size_t Size() const { return FEntries.size(); }
    bool Empty() const { return FEntries.empty(); }
    const TValue& ValueAt(std::size_t index) const { return FEntries[index].Value; }

    const TValue* Find(std::int64_t rowId) {
        if (FCursor > 0 && FEntries[FCursor - 1].RowId >= rowId) {
            FCursor = 0; // out of order: search everything
        }
        auto at = FEntries.begin() + static_cast<std::ptrdiff_t>(FCursor);
        if (at != FEntries.end() && at->RowId < rowId) {
            at = std::lower_bound(at, FEntries.end(), TEntry{rowId, TValue()}, Before);
        }
        FCursor = static_cast<std::size_t>(at - FEntries.begin());
        if (at == FEntries.end() || at->RowId != rowId) {
            return nullptr;
        }
        ++FCursor;
        return &at->Value;
    }

private:
    struct TEntry {
        std::int64_t RowId;
        TValue Value;
    };
    static bool Before(const TEntry& a, const TEntry& b) { return a.RowId < b.RowId; }
    std::vector<TEntry> FEntries;
    std::size_t FCursor = 0;
};

} // namespace kestrow
