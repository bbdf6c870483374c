#include "archive/binary_plist_check.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace kestrow {

namespace {

constexpr std::size_t kHeader = 8;
constexpr std::size_t kTrailer = 32;

struct TTrailer {
    std::size_t OffsetSize = 0;
    std::size_t RefSize = 0;
    std::uint64_t Objects = 0;
    std::uint64_t Root = 0;
    std::uint64_t TableOffset = 0;
};

class TBplistWalker {
public:
    explicit TBplistWalker(std::string_view data) : FData(data) {}

    bool Run() {
        if (!ReadTrailer()) {
            return false;
        }
        std::vector<std::pair<std::uint64_t, std::size_t>> stack{{FTrailer.Root, 1}};
        std::size_t nodes = 1;
        while (!stack.empty()) {
            const auto [object, depth] = stack.back();
            stack.pop_back();
            FWork += depth;
            if (FWork > kMaxPlistPathWork || !Visit(object, depth, stack, nodes)) {
                return false;
            }
        }
        return true;
    }

private:
    std::optional<std::uint64_t> BigEndian(std::size_t at, std::size_t bytes) const {
        if (bytes == 0 || bytes > 8 || at > FData.size() || FData.size() - at < bytes) {
            return std::nullopt;
        }
        std::uint64_t value = 0;
        for (std::size_t i = 0; i < bytes; ++i) {
            value = (value << 8) | static_cast<unsigned char>(FData[at + i]);
        }
        return value;
    }

    bool ReadTrailer() {
        if (FData.size() < kHeader + kTrailer || FData.substr(0, 6) != "bplist") {
            return false;
        }
        const std::size_t at = FData.size() - kTrailer;
        FTrailer.OffsetSize = static_cast<unsigned char>(FData[at + 6]);
        FTrailer.RefSize = static_cast<unsigned char>(FData[at + 7]);
        FTrailer.Objects = *BigEndian(at + 8, 8);
        FTrailer.Root = *BigEndian(at + 16, 8);
        FTrailer.TableOffset = *BigEndian(at + 24, 8);
        const std::uint64_t tableEnd = FData.size() - kTrailer;
        return FTrailer.OffsetSize >= 1 && FTrailer.OffsetSize <= 8 && FTrailer.RefSize >= 1 &&
               FTrailer.RefSize <= 8 && FTrailer.Objects >= 1 && FTrailer.Root < FTrailer.Objects &&
               FTrailer.TableOffset >= kHeader && FTrailer.TableOffset <= tableEnd &&
               FTrailer.Objects <= (tableEnd - FTrailer.TableOffset) / FTrailer.OffsetSize;
    }

    // Where an object starts; only inside the object area between header and offset table.
    std::optional<std::size_t> OffsetOf(std::uint64_t object) const {
        const auto offset =
            BigEndian(static_cast<std::size_t>(FTrailer.TableOffset + object * FTrailer.OffsetSize),
                      FTrailer.OffsetSize);
        if (!offset || *offset < kHeader || *offset >= FTrailer.TableOffset) {
            return std::nullopt;
        }
        return static_cast<std::size_t>(*offset);
    }

    // The element count of a container and where its references start.
    bool Count(std::size_t at, std::uint64_t& count, std::size_t& refs) const {
        const auto marker = static_cast<unsigned char>(FData[at]);
        count = marker & 0x0F;
        refs = at + 1;
        if (count != 0x0F) {
            return true;
        }
        const auto sizeMarker = BigEndian(at + 1, 1);
        if (!sizeMarker || (*sizeMarker & 0xF0) != 0x10 || (*sizeMarker & 0x0F) > 3) {
            return false;
        }
        const std::size_t bytes = std::size_t{1} << (*sizeMarker & 0x0F);
        const auto value = BigEndian(at + 2, bytes);
        if (!value) {
            return false;
        }
        count = *value;
        refs = at + 2 + bytes;
        return true;
    }

    // Dictionary keys are strings without NUL characters (a parser that reads them as C strings
    // trips over one).
    bool IsPlainKey(std::uint64_t object) {
        const auto at = OffsetOf(object);
        if (!at) {
            return false;
        }
        const auto type = static_cast<unsigned char>(FData[*at]) >> 4;
        std::uint64_t length = 0;
        std::size_t text = 0;
        if ((type != 0x5 && type != 0x6) || !Count(*at, length, text)) {
            return false;
        }
        const std::size_t unit = type == 0x6 ? 2 : 1;
        if (text > FTrailer.TableOffset || length > (FTrailer.TableOffset - text) / unit) {
            return false;
        }
        FWork += length; // a long key shared by many dictionaries is read each time
        if (FWork > kMaxPlistPathWork) {
            return false;
        }
        for (std::size_t i = 0; i < length; ++i) {
            if (*BigEndian(text + i * unit, unit) == 0) {
                return false;
            }
        }
        return true;
    }

    bool Visit(std::uint64_t object, std::size_t depth,
               std::vector<std::pair<std::uint64_t, std::size_t>>& stack, std::size_t& nodes) {
        const auto at = OffsetOf(object);
        if (!at) {
            return false;
        }
        const auto type = static_cast<unsigned char>(FData[*at]) >> 4;
        if (type != 0xA && type != 0xC && type != 0xD) {
            return true; // a leaf
        }
        std::uint64_t count = 0;
        std::size_t refs = 0;
        if (!Count(*at, count, refs)) {
            return false;
        }
        if (count == 0) {
            return true;
        }
        if (refs > FTrailer.TableOffset || depth + 1 > kMaxPlistDepth || count > kMaxPlistNodes) {
            return false;
        }
        const std::uint64_t references = type == 0xD ? count * 2 : count;
        if (references > (FTrailer.TableOffset - refs) / FTrailer.RefSize ||
            nodes + references > kMaxPlistNodes) {
            return false;
        }
        nodes += references;
        for (std::uint64_t i = 0; i < references; ++i) {
            const std::uint64_t child = *BigEndian(refs + i * FTrailer.RefSize, FTrailer.RefSize);
            if (child >= FTrailer.Objects || (type == 0xD && i < count && !IsPlainKey(child))) {
                return false;
            }
            stack.emplace_back(child, depth + 1);
        }
        return true;
    }

    std::string_view FData;
    TTrailer FTrailer;
    std::size_t FWork = 0; // sum of node depths and key lengths read
};

} // namespace

bool IsSafeBinaryPlist(std::string_view data) {
    return TBplistWalker(data).Run();
}

} // namespace kestrow
