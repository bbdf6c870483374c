#include "readers/note_table.h"

#include <optional>
#include <unordered_map>
#include <unordered_set>

#include "readers/protobuf_reader.h"

namespace kestrow {

namespace {

constexpr std::size_t kMaxCells = 100000;
constexpr std::size_t kMaxTextBytes = std::size_t{4} << 20;

// An object reference: the index of another entry, or an integer value.
struct TObjectId {
    std::uint64_t Number = 0;
    std::int64_t Index = -1;
};

TObjectId ReadObjectId(std::string_view bytes) {
    TObjectId id;
    ForEachProtobufField(bytes, [&](const TProtobufValue& v) {
        if (v.Field == 2 && v.Wire == 0) {
            id.Number = v.Number;
        } else if (v.Field == 6 && v.Wire == 0) {
            id.Index = static_cast<std::int64_t>(v.Number & 0x7FFFFFFF);
        }
    });
    return id;
}

// key -> value pairs of a Dictionary message.
std::vector<std::pair<TObjectId, TObjectId>> ReadDictionary(std::string_view bytes) {
    std::vector<std::pair<TObjectId, TObjectId>> elements;
    ForEachProtobufField(bytes, [&](const TProtobufValue& v) {
        if (v.Field != 1 || v.Wire != 2) {
            return;
        }
        std::pair<TObjectId, TObjectId> element;
        ForEachProtobufField(v.Bytes, [&](const TProtobufValue& e) {
            if (e.Field == 1 && e.Wire == 2) {
                element.first = ReadObjectId(e.Bytes);
            } else if (e.Field == 2 && e.Wire == 2) {
                element.second = ReadObjectId(e.Bytes);
            }
        });
        elements.push_back(element);
    });
    return elements;
}

struct TEntry {
    std::string_view Dictionary;                          // field 6
    std::string_view NoteText;                            // field 10 -> 2
    std::string_view OrderedSet;                          // field 16
    std::int64_t MapType = -1;                            // field 13 -> 1
    std::vector<std::pair<std::uint64_t, TObjectId>> Map; // field 13 -> 3
};

class TTableReader {
public:
    bool Read(std::string_view data);
    std::vector<std::vector<std::string>> Cells();

private:
    const TEntry* EntryAt(std::int64_t index) const {
        return index >= 0 && static_cast<std::size_t>(index) < FEntries.size()
                   ? &FEntries[static_cast<std::size_t>(index)]
                   : nullptr;
    }
    // The uuid index an entry stands for: the value of its first map entry.
    std::optional<std::uint64_t> UuidOf(std::int64_t index) const {
        const TEntry* entry = EntryAt(index);
        if (entry == nullptr || entry->Map.empty()) {
            return std::nullopt;
        }
        return entry->Map.front().second.Number;
    }
    std::unordered_map<std::uint64_t, std::size_t> Order(const TEntry& entry) const;

    std::vector<TEntry> FEntries;
    std::vector<std::string_view> FKeys;
    std::vector<std::string_view> FTypes;
    std::vector<std::string_view> FUuids;
    std::unordered_map<std::string_view, std::size_t> FUuidIndex; // first index of each uuid
};

bool TTableReader::Read(std::string_view data) {
    std::string_view object;
    ForEachProtobufField(data, [&](const TProtobufValue& v) {
        if (v.Field == 2 && v.Wire == 2) {
            ForEachProtobufField(v.Bytes, [&](const TProtobufValue& o) {
                if (o.Field == 3 && o.Wire == 2) {
                    object = o.Bytes;
                }
            });
        }
    });
    return ForEachProtobufField(object, [&](const TProtobufValue& v) {
        if (v.Wire != 2) {
            return;
        }
        switch (v.Field) {
        case 3: {
            TEntry entry;
            ForEachProtobufField(v.Bytes, [&](const TProtobufValue& e) {
                if (e.Field == 6 && e.Wire == 2) {
                    entry.Dictionary = e.Bytes;
                } else if (e.Field == 10 && e.Wire == 2) {
                    entry.NoteText = ProtobufField(e.Bytes, {2}).value_or(std::string_view());
                } else if (e.Field == 16 && e.Wire == 2) {
                    entry.OrderedSet = e.Bytes;
                } else if (e.Field == 13 && e.Wire == 2) {
                    ForEachProtobufField(e.Bytes, [&](const TProtobufValue& m) {
                        if (m.Field == 1 && m.Wire == 0) {
                            entry.MapType = static_cast<std::int64_t>(m.Number & 0x7FFFFFFF);
                        } else if (m.Field == 3 && m.Wire == 2) {
                            std::pair<std::uint64_t, TObjectId> item;
                            ForEachProtobufField(m.Bytes, [&](const TProtobufValue& i) {
                                if (i.Field == 1 && i.Wire == 0) {
                                    item.first = i.Number;
                                } else if (i.Field == 2 && i.Wire == 2) {
                                    item.second = ReadObjectId(i.Bytes);
                                }
                            });
                            entry.Map.push_back(item);
                        }
                    });
                }
            });
            FEntries.push_back(std::move(entry));
            break;
        }
        case 4:
            FKeys.push_back(v.Bytes);
            break;
        case 5:
            FTypes.push_back(v.Bytes);
            break;
        case 6:
            FUuidIndex.try_emplace(v.Bytes, FUuids.size());
            FUuids.push_back(v.Bytes);
            break;
        default:
            break;
        }
    });
}

// Positions of an ordered set's items by uuid index: the array's order, then each content entry
// mapping an item's own uuid to the position of the uuid it was placed as.
std::unordered_map<std::uint64_t, std::size_t> TTableReader::Order(const TEntry& entry) const {
    std::unordered_map<std::uint64_t, std::size_t> order;
    const auto ordering = ProtobufField(entry.OrderedSet, {1});
    if (!ordering) {
        return order;
    }
    const std::string_view array = ProtobufField(*ordering, {1}).value_or(std::string_view());
    std::size_t position = 0;
    ForEachProtobufField(array, [&](const TProtobufValue& v) {
        if (v.Field != 2 || v.Wire != 2) {
            return;
        }
        const auto uuid = FUuidIndex.find(ProtobufField(v.Bytes, {2}).value_or(std::string_view()));
        if (uuid != FUuidIndex.end()) {
            order.try_emplace(uuid->second, position);
        }
        ++position;
    });
    const std::string_view contents = ProtobufField(*ordering, {2}).value_or(std::string_view());
    for (const auto& [key, value] : ReadDictionary(contents)) {
        const auto from = UuidOf(key.Index);
        const auto to = UuidOf(value.Index);
        if (from && to) {
            if (const auto found = order.find(*from); found != order.end()) {
                order[*to] = found->second;
            }
        }
    }
    return order;
}

std::vector<std::vector<std::string>> TTableReader::Cells() {
    const TEntry* table = nullptr;
    for (const TEntry& entry : FEntries) {
        if (entry.MapType >= 0 && static_cast<std::size_t>(entry.MapType) < FTypes.size() &&
            FTypes[static_cast<std::size_t>(entry.MapType)] == "com.apple.notes.ICTable") {
            table = &entry;
            break;
        }
    }
    if (table == nullptr) {
        return {};
    }
    const auto keyOf = [&](std::uint64_t key) {
        return key < FKeys.size() ? FKeys[static_cast<std::size_t>(key)] : std::string_view();
    };
    std::unordered_map<std::uint64_t, std::size_t> rows;
    std::unordered_map<std::uint64_t, std::size_t> columns;
    const TEntry* cells = nullptr;
    for (const auto& [key, value] : table->Map) {
        const TEntry* target = EntryAt(value.Index);
        if (target == nullptr) {
            continue;
        }
        if (keyOf(key) == "crRows") {
            rows = Order(*target);
        } else if (keyOf(key) == "crColumns") {
            columns = Order(*target);
        } else if (keyOf(key) == "cellColumns") {
            cells = target;
        }
    }
    std::size_t height = 0;
    std::size_t width = 0;
    for (const auto& [uuid, at] : rows) {
        height = std::max(height, at + 1);
    }
    for (const auto& [uuid, at] : columns) {
        width = std::max(width, at + 1);
    }
    if (cells == nullptr || height == 0 || width == 0 || height > kMaxCells / width) {
        return {};
    }
    std::vector<std::vector<std::string>> out(height, std::vector<std::string>(width));
    // Each column's cells are read once, and cell texts stop at kMaxTextBytes in all: hostile data
    // could point every cell at one long text or every column at one long list.
    std::unordered_set<std::int64_t> columnsRead;
    std::size_t textBytes = 0;
    for (const auto& [columnKey, columnValue] : ReadDictionary(cells->Dictionary)) {
        const auto column = UuidOf(columnKey.Index);
        const TEntry* cellsOfColumn = EntryAt(columnValue.Index);
        const auto x = column ? columns.find(*column) : columns.end();
        if (x == columns.end() || cellsOfColumn == nullptr || !columnsRead.insert(columnValue.Index).second) {
            continue;
        }
        for (const auto& [rowKey, cellValue] : ReadDictionary(cellsOfColumn->Dictionary)) {
            const auto row = UuidOf(rowKey.Index);
            const TEntry* cell = EntryAt(cellValue.Index);
            const auto y = row ? rows.find(*row) : rows.end();
            if (y != rows.end() && cell != nullptr && cell->NoteText.size() <= kMaxTextBytes - textBytes) {
                textBytes += cell->NoteText.size();
                out[y->second][x->second] = std::string(cell->NoteText);
            }
        }
    }
    return out;
}

} // namespace

std::vector<std::vector<std::string>> ReadNoteTable(std::string_view mergeData) {
    TTableReader reader;
    reader.Read(mergeData);
    return reader.Cells();
}

} // namespace kestrow
