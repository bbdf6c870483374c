#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string_view>

namespace kestrow {

// Limits of what is taken for a binary property list before a parser that recurses sees it.
constexpr std::size_t kMaxPlistDepth = 512;         // nesting levels of containers
constexpr std::size_t kMaxPlistNodes = 1u << 22;    // nodes of the tree a parser would build
constexpr std::size_t kMaxPlistPathWork = 1u << 26; // sum of those nodes' depths and key lengths

// Read access to the objects of a binary property list ("bplist00") in place, without building a
// tree and without recursion: every object is reached by its index and every read is checked
// against the data. A value of the wrong type, or out of range, reads as nothing.
class TBinaryPlist {
public:
    enum class TType { Invalid, Simple, Integer, Real, Date, Data, Ascii, Utf16, Uid, Array, Set, Dict };

    // Checks the header, the trailer and the offset table; false when they do not fit the data.
    bool Open(std::string_view data);
    std::uint64_t Root() const { return FRoot; }
    std::uint64_t ObjectCount() const { return FObjects; }

    TType TypeOf(std::uint64_t object) const;
    std::optional<std::int64_t> Integer(std::uint64_t object) const;
    // A real or a date (seconds since 2001), as stored.
    std::optional<double> Real(std::uint64_t object) const;
    std::optional<std::uint64_t> Uid(std::uint64_t object) const;
    std::optional<std::string_view> Data(std::uint64_t object) const;
    std::optional<std::string_view> Ascii(std::uint64_t object) const;
    // Elements of an array or set, keys and values of a dictionary (count pairs: keys first).
    std::optional<std::uint64_t> Count(std::uint64_t container) const;
    std::optional<std::uint64_t> Reference(std::uint64_t container, std::uint64_t index) const;
    // The value of an ASCII key in a dictionary (the first of equal keys).
    std::optional<std::uint64_t> DictValue(std::uint64_t dict, std::string_view key) const;
    // The values of several ASCII keys in one pass over a dictionary (`values[i]` for `keys[i]`;
    // the first of equal keys). False when `dict` is no dictionary.
    bool DictValues(std::uint64_t dict, std::initializer_list<std::string_view> keys,
                    std::optional<std::uint64_t>* values) const;

    // Whether a string object (ASCII or UTF-16) has no NUL character; adds its length to `work`.
    bool IsPlainKey(std::uint64_t object, std::size_t& work) const;

    // See IsSafeBinaryPlist.
    static bool IsSafe(std::string_view data);

private:
    std::optional<std::uint64_t> BigEndian(std::size_t at, std::size_t bytes) const;
    std::optional<std::size_t> OffsetOf(std::uint64_t object) const;
    // The length field of an object (from its marker or the integer after it) and where its
    // payload starts.
    bool Length(std::size_t at, std::uint64_t& length, std::size_t& payload) const;
    std::optional<std::string_view> Payload(std::uint64_t object, TType type, std::size_t unit) const;
    struct TContainer {
        TType Type;
        std::uint64_t Count;      // elements, or dictionary pairs
        std::uint64_t References; // Count, or twice it for a dictionary
        std::size_t Refs;         // where the references start
    };
    std::optional<TContainer> ContainerOf(std::uint64_t object) const;
    std::optional<std::uint64_t> ReferenceAt(const TContainer& container, std::uint64_t index) const;

    std::string_view FData;
    std::size_t FOffsetSize = 0;
    std::size_t FRefSize = 0;
    std::uint64_t FObjects = 0;
    std::uint64_t FRoot = 0;
    std::uint64_t FTable = 0;
};

// Walks the object table of a binary property list and tells whether it is a tree a parser can
// build safely: the trailer and offset table lie inside the data, every object reference is in
// range, dictionary keys are strings without NUL, no container nests deeper than kMaxPlistDepth,
// and the tree (with shared objects counted each time they are referenced) stays within the node
// and work limits.
bool IsSafeBinaryPlist(std::string_view data);

} // namespace kestrow
