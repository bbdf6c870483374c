#include "archive/name_resolution.h"

#include <algorithm>
#include <unordered_map>
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

// Senders, reactions and events of the newer rows carry addresses; each address is looked up once.
void NameSenders(TMsgGroup& group, const TNameByPhone& byPhone,
                 std::unordered_map<std::string, std::string>& names) {
    const auto name = [&](const std::string& address) -> const std::string& {
        auto found = names.find(address);
        if (found == names.end()) {
            found = names.emplace(address, NameOf(byPhone, address)).first;
        }
        return found->second;
    };
    for (TMsgItem& item : group.Items) {
        if (!item.Sender.empty()) {
            item.SenderName = name(item.Sender);
        }
        for (TMsgReaction& reaction : item.Reactions) {
            if (!reaction.Sender.empty()) {
                reaction.SenderName = name(reaction.Sender);
            }
        }
        if (item.Event && !item.Event->Other.empty()) {
            item.Event->OtherName = name(item.Event->Other);
        }
    }
}

} // namespace

void ResolveMessageNames(TShortMessage& messages, const TNameByPhone& byPhone) {
    std::unordered_map<std::string, std::string> names;
    for (int i = 0; i < messages.GroupCount(); ++i) {
        TMsgGroup& group = messages.Groups(i);
        if (group.IsGroupChat) {
            NameGroupChat(group, byPhone);
            if (!group.GroupName.empty()) {
                group.DisplayName = group.GroupName; // the name its members gave it
            }
        } else {
            group.DisplayName = NameOf(byPhone, group.Addresses);
        }
        NameSenders(group, byPhone, names);
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
