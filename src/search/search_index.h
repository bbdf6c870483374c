#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "search/search_documents.h"
#include "search/search_text.h"

struct sqlite3;

namespace kestrow {

class TIpodBackup;

// A record found by a search, or an entry of the timeline.
struct TSearchHit {
    TSearchRef Ref;
    std::string Where;
    std::string Field;   // search: the field holding the match
    TSnippet Snippet;    // search: the match in its context, marked
    std::string Summary; // timeline: a short text of the record
    std::int64_t RowId = 0;
    bool HasRowId = false;
};

// Every category (SearchCategoryName numbers) when the filter is empty.
using TCategoryFilter = std::vector<int>;

// The search and the timeline of one open backup. Built on first use from the session's readers
// (loading those not loaded yet) and held in memory only: SQLite FTS5 databases that never touch a
// disk, gone with this object. A backup opened since is noticed, and the index made again.
class TSearchIndex {
public:
    // The messages are indexed in `shards` parts side by side; 0: as many as the cores and their
    // number make worth it. The other categories are indexed while the messages are read.
    explicit TSearchIndex(TIpodBackup& session, std::size_t shards = 0);
    TSearchIndex(const TSearchIndex&) = delete;
    TSearchIndex& operator=(const TSearchIndex&) = delete;
    ~TSearchIndex();

    // Records holding every word of `text` (case and accents aside; a text that reads as a phone
    // number also finds numbers holding its digits), newest first, undated last.
    std::vector<TSearchHit> Search(std::string_view text, const TCategoryFilter& categories = {});
    // Every dated record from `from` to `to` (local day counts, 0 for open ends), oldest first.
    std::vector<TSearchHit> Timeline(double from, double to, const TCategoryFilter& categories = {});

    // Makes the index again on the next use, after a reader's texts changed. Locked notes opened
    // since the index was made need no call: the next search finds their bodies.
    void Invalidate() { FLoaded = false; }

    // Sizes of the index and of the texts it holds, in bytes (0 before the first search).
    std::int64_t IndexBytes() const;
    std::int64_t TextBytes() const;

private:
    class TShard;

    TSearchSources LoadOthers();
    void Refresh(bool index);
    void IndexTheRest();
    void BuildShard(TShard& shard, std::size_t first, std::size_t end, std::size_t step) const;
    std::vector<const TShard*> Shards() const;
    bool IsLockedNote(const TSearchRef& ref) const;
    void IndexOpenedNotes();
    std::vector<std::size_t> MatchingRows(const std::string& expression) const;
    std::string MatchExpression(const std::vector<std::string>& words, const std::string& digits) const;
    bool FillHit(TSearchHit& hit, const std::vector<std::string>& words, const std::string& digits) const;

    TIpodBackup& FSession;
    std::size_t FShardCount; // of the messages
    int FBackupIndex = -1;
    TSearchSources FSources;
    std::vector<TSearchRef> FRefs; // every other category's records, then the messages'; FTS rowid = index
    std::size_t FOtherCount = 0;   // of FRefs, before the messages
    std::unique_ptr<TShard> FOtherShard;                 // none until built
    std::vector<std::unique_ptr<TShard>> FMessageShards; // the messages, dealt out in turn
    sqlite3* FTokenizerDb = nullptr;                     // the tokenizer's own connection
    std::unique_ptr<TTextTokenizer> FTokenizer;
    bool FLoaded = false;
};

} // namespace kestrow
