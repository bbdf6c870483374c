#include "archive/name_resolution.h"

#include <algorithm>
#include <vector>

#include "readers/call_log.h"
#include "readers/short_message.h"

namespace kestrow {

namespace {

std::string NameOf(const TNameByPhone& byPhone, const std::string& address) {
    return byPhone ? byPhone(address) : address;
}

std::string Trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

void NameGroupChat(TMsgGroup& group, const TNameByPhone& byPhone) {
    std::vector<std::string> names;
    std::size_t start = 0;
    while (start <= group.Addresses.size()) {
        const std::size_t comma = std::min(group.Addresses.find(',', start), group.Addresses.size());
        const std::string piece = group.Addresses.substr(start, comma - start);
        const auto text = piece.find_first_not_of(' '); // leading spaces of a piece do not count
        names.push_back(NameOf(byPhone, text == std::string::npos ? std::string() : piece.substr(text)));
        start = comma + 1;
    }
    if (group.Addresses.empty()) {
        return; // nobody known in the chat: its own name stays
    }
    std::string joined;
    for (const std::string& name : names) {
        joined += ", " + name;
    }
    group.Addresses = joined.substr(1);
    group.DisplayName =
        names.size() < 3 ? Trimmed(group.Addresses)
                         : names[0] + ", " + names[1] + " and " + std::to_string(names.size() - 2) + " more";
}

} // namespace

void ResolveMessageNames(TShortMessage& messages, const TNameByPhone& byPhone) {
    for (int i = 0; i < messages.GroupCount(); ++i) {
        TMsgGroup& group = messages.Groups(i);
        if (group.IsGroupChat) {
            NameGroupChat(group, byPhone);
        } else {
            group.DisplayName = NameOf(byPhone, group.Addresses);
        }
    }
    messages.NamesResolved = true;
}

void ResolveCallNames(TCallLog& calls, const TNameByPhone& byPhone, const TNameByRowId& byRowId) {
    for (int i = 0; i < calls.Count(); ++i) {
        TCallItem& call = *calls.Calls(i);
        if (call.ContactId < 0) {
            call.DisplayName = NameOf(byPhone, call.Address);
        } else {
            call.DisplayName = byRowId ? byRowId(call.ContactId) : std::string();
            if (call.DisplayName.empty()) {
                call.DisplayName = call.Address;
            }
        }
    }
    calls.NamesResolved = true;
}

} // namespace kestrow
