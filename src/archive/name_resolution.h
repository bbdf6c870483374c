#pragma once

#include <functional>
#include <string>

namespace kestrow {

class TShortMessage;
class TCallLog;

// Looks a phone number or address up in the contacts: the contact's name, or the text itself when
// none matches. Without contacts every name stays the address.
using TNameByPhone = std::function<std::string(const std::string& phone)>;
// The name of the contact with a record id, or empty.
using TNameByRowId = std::function<std::string(std::int64_t rowId)>;

// Conversations: a one-to-one conversation is named by its address; in a group chat every address
// becomes a name (Addresses then reads " name1, name2, ...") and the conversation is named by the
// first two names and the count of the others when there are more than two, or by the name its
// members gave it. Senders, reactions and events of the newer rows get their names too.
void ResolveMessageNames(TShortMessage& messages, const TNameByPhone& byPhone);
// Calls: by number, or by the contact id call_history.db keeps, falling back to the address.
void ResolveCallNames(TCallLog& calls, const TNameByPhone& byPhone, const TNameByRowId& byRowId);

} // namespace kestrow
