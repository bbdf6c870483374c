#include "readers/binary_plist.h"

#include <bit>
#include <utility>
#include <vector>

namespace kestrow {

namespace {

constexpr std::size_t kHeader = 8;
constexpr std::size_t kTrailer = 32;

TBinaryPlist::TType TypeOfMarker(unsigned char marker) {
    using T = TBinaryPlist::TType;
    static constexpr T kTypes[16] = {T::Simple, T::Integer, T::Real,    T::Date,    T::Data,  T::Ascii,
                                     T::Utf16,  T::Invalid, T::Uid,     T::Invalid, T::Array, T::Invalid,
                                     T::Set,    T::Dict,    T::Invalid, T::Invalid};
    return kTypes[marker >> 4];
}

} // namespace

std::optional<std::uint64_t> TBinaryPlist::BigEndian(std::size_t at, std::size_t bytes) const {
    if (bytes == 0 || bytes > 8 || at > FData.size() || FData.size() - at < bytes) {
        return std::nullopt;
    }
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < bytes; ++i) {
        value = (value << 8) | static_cast<unsigned char>(FData[at + i]);
    }
    return value;
}

bool TBinaryPlist::Open(std::string_view data) {
    FData = data;
    if (data.size() < kHeader + kTrailer || data.substr(0, 6) != "bplist") {
        return false;
    }
    const std::size_t at = data.size() - kTrailer;
    FOffsetSize = static_cast<unsigned char>(data[at + 6]);
    FRefSize = static_cast<unsigned char>(data[at + 7]);
    FObjects = *BigEndian(at + 8, 8);
    FRoot = *BigEndian(at + 16, 8);
    FTable = *BigEndian(at + 24, 8);
    const std::uint64_t tableEnd = at;
    return FOffsetSize >= 1 && FOffsetSize <= 8 && FRefSize >= 1 && FRefSize <= 8 && FObjects >= 1 &&
           FRoot < FObjects && FTable >= kHeader && FTable <= tableEnd &&
           FObjects <= (tableEnd - FTable) / FOffsetSize;
}

std::optional<std::size_t> TBinaryPlist::OffsetOf(std::uint64_t object) const {
    if (object >= FObjects) {
        return std::nullopt;
    }
    const auto offset = BigEndian(static_cast<std::size_t>(FTable + object * FOffsetSize), FOffsetSize);
    // Objects lie between the header and the offset table.
    if (!offset || *offset < kHeader || *offset >= FTable) {
        return std::nullopt;
    }
    return static_cast<std::size_t>(*offset);
}

TBinaryPlist::TType TBinaryPlist::TypeOf(std::uint64_t object) const {
    const auto at = OffsetOf(object);
    return at ? TypeOfMarker(static_cast<unsigned char>(FData[*at])) : TType::Invalid;
}

bool TBinaryPlist::Length(std::size_t at, std::uint64_t& length, std::size_t& payload) const {
    length = static_cast<unsigned char>(FData[at]) & 0x0F;
    payload = at + 1;
    if (length != 0x0F) {
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
    length = *value;
    payload = at + 2 + bytes;
    return true;
}

std::optional<std::string_view> TBinaryPlist::Payload(std::uint64_t object, TType type,
                                                      std::size_t unit) const {
    const auto at = OffsetOf(object);
    std::uint64_t length = 0;
    std::size_t payload = 0;
    if (!at || TypeOfMarker(static_cast<unsigned char>(FData[*at])) != type ||
        !Length(*at, length, payload) || payload > FTable || length > (FTable - payload) / unit) {
        return std::nullopt;
    }
    return FData.substr(payload, static_cast<std::size_t>(length * unit));
}

std::optional<std::int64_t> TBinaryPlist::Integer(std::uint64_t object) const {
    const auto at = OffsetOf(object);
    if (!at || TypeOf(object) != TType::Integer) {
        return std::nullopt;
    }
    const std::size_t bytes = std::size_t{1} << (static_cast<unsigned char>(FData[*at]) & 0x0F);
    if (bytes > 16) {
        return std::nullopt;
    }
    // 16-byte integers keep their value in the low 8 bytes.
    const auto value = BigEndian(*at + 1 + (bytes == 16 ? 8 : 0), bytes == 16 ? 8 : bytes);
    if (!value || *at + 1 + bytes > FTable) {
        return std::nullopt;
    }
    return static_cast<std::int64_t>(*value);
}

std::optional<double> TBinaryPlist::Real(std::uint64_t object) const {
    const auto at = OffsetOf(object);
    const TType type = TypeOf(object);
    if (!at || (type != TType::Real && type != TType::Date)) {
        return std::nullopt;
    }
    const std::size_t bytes = std::size_t{1} << (static_cast<unsigned char>(FData[*at]) & 0x0F);
    const auto value =
        (bytes == 4 || bytes == 8) && *at + 1 + bytes <= FTable ? BigEndian(*at + 1, bytes) : std::nullopt;
    if (!value) {
        return std::nullopt;
    }
    if (bytes == 4) {
        return static_cast<double>(std::bit_cast<float>(static_cast<std::uint32_t>(*value)));
    }
    return std::bit_cast<double>(*value);
}

std::optional<std::uint64_t> TBinaryPlist::Uid(std::uint64_t object) const {
    const auto at = OffsetOf(object);
    if (!at || TypeOf(object) != TType::Uid) {
        return std::nullopt;
    }
    const std::size_t bytes = (static_cast<unsigned char>(FData[*at]) & 0x0F) + 1;
    return *at + 1 + bytes <= FTable ? BigEndian(*at + 1, bytes) : std::nullopt;
}

std::optional<std::string_view> TBinaryPlist::Data(std::uint64_t object) const {
    return Payload(object, TType::Data, 1);
}

std::optional<std::string_view> TBinaryPlist::Ascii(std::uint64_t object) const {
    return Payload(object, TType::Ascii, 1);
}

std::optional<TBinaryPlist::TContainer> TBinaryPlist::ContainerOf(std::uint64_t object) const {
    const auto at = OffsetOf(object);
    if (!at) {
        return std::nullopt;
    }
    const TType type = TypeOfMarker(static_cast<unsigned char>(FData[*at]));
    TContainer container{type, 0, 0, 0};
    if ((type != TType::Array && type != TType::Set && type != TType::Dict) ||
        !Length(*at, container.Count, container.Refs) || container.Refs > FTable) {
        return std::nullopt;
    }
    const std::uint64_t room = (FTable - container.Refs) / FRefSize;
    if (container.Count > room || (type == TType::Dict && container.Count > room / 2)) {
        return std::nullopt;
    }
    container.References = type == TType::Dict ? container.Count * 2 : container.Count;
    return container;
}

std::optional<std::uint64_t> TBinaryPlist::ReferenceAt(const TContainer& container,
                                                       std::uint64_t index) const {
    if (index >= container.References) {
        return std::nullopt;
    }
    const auto child = BigEndian(static_cast<std::size_t>(container.Refs + index * FRefSize), FRefSize);
    return child && *child < FObjects ? child : std::nullopt;
}

std::optional<std::uint64_t> TBinaryPlist::Count(std::uint64_t container) const {
    const auto found = ContainerOf(container);
    return found ? std::optional<std::uint64_t>(found->Count) : std::nullopt;
}

std::optional<std::uint64_t> TBinaryPlist::Reference(std::uint64_t container, std::uint64_t index) const {
    const auto found = ContainerOf(container);
    return found ? ReferenceAt(*found, index) : std::nullopt;
}

std::optional<std::uint64_t> TBinaryPlist::DictValue(std::uint64_t dict, std::string_view key) const {
    const auto found = ContainerOf(dict);
    if (!found || found->Type != TType::Dict) {
        return std::nullopt;
    }
    for (std::uint64_t i = 0; i < found->Count; ++i) {
        const auto keyObject = ReferenceAt(*found, i);
        const auto text = keyObject ? Ascii(*keyObject) : std::nullopt;
        if (text && *text == key) {
            return ReferenceAt(*found, found->Count + i);
        }
    }
    return std::nullopt;
}

bool TBinaryPlist::DictValues(std::uint64_t dict, std::initializer_list<std::string_view> keys,
                              std::optional<std::uint64_t>* values) const {
    const auto found = ContainerOf(dict);
    if (!found || found->Type != TType::Dict) {
        return false;
    }
    for (std::uint64_t i = 0; i < found->Count; ++i) {
        const auto keyObject = ReferenceAt(*found, i);
        const auto text = keyObject ? Ascii(*keyObject) : std::nullopt;
        std::size_t k = 0;
        for (const std::string_view key : keys) {
            if (text && !values[k] && *text == key) {
                values[k] = ReferenceAt(*found, found->Count + i);
            }
            ++k;
        }
    }
    return true;
}

bool TBinaryPlist::IsPlainKey(std::uint64_t object, std::size_t& work) const {
    const TType type = TypeOf(object);
    const std::size_t unit = type == TType::Utf16 ? 2 : 1;
    const auto text =
        (type == TType::Ascii || type == TType::Utf16) ? Payload(object, type, unit) : std::nullopt;
    if (!text) {
        return false;
    }
    work += text->size(); // a long key shared by many dictionaries is read each time
    if (work > kMaxPlistPathWork) {
        return false;
    }
    for (std::size_t i = 0; i < text->size(); i += unit) {
        if ((*text)[i] == '\0' && (unit == 1 || (*text)[i + 1] == '\0')) {
            return false;
        }
    }
    return true;
}

bool IsSafeBinaryPlist(std::string_view data) {
    return TBinaryPlist::IsSafe(data);
}

bool TBinaryPlist::IsSafe(std::string_view data) {
    TBinaryPlist plist;
    if (!plist.Open(data)) {
        return false;
    }
    std::vector<std::pair<std::uint64_t, std::size_t>> stack{{plist.Root(), 1}};
    std::size_t nodes = 1;
    std::size_t work = 0;
    while (!stack.empty()) {
        const auto [object, depth] = stack.back();
        stack.pop_back();
        work += depth;
        const TType type = plist.TypeOf(object);
        if (work > kMaxPlistPathWork || type == TType::Invalid) {
            return false;
        }
        const bool dict = type == TType::Dict;
        if (!dict && type != TType::Array && type != TType::Set) {
            continue; // a leaf
        }
        const auto container = plist.ContainerOf(object);
        if (!container) {
            return false;
        }
        const std::uint64_t references = container->References;
        if (references == 0) {
            continue;
        }
        if (depth + 1 > kMaxPlistDepth || references > kMaxPlistNodes ||
            nodes + references > kMaxPlistNodes) {
            return false;
        }
        nodes += references;
        for (std::uint64_t i = 0; i < references; ++i) {
            const auto child = plist.ReferenceAt(*container, i);
            if (!child || (dict && i < container->Count && !plist.IsPlainKey(*child, work))) {
                return false;
            }
            stack.emplace_back(*child, depth + 1);
        }
    }
    return true;
}

} // namespace kestrow
