#pragma once

#include <string>
#include <string_view>

namespace kestrow {

struct TAbPerson;
struct TAbNames;

// A contact as vCard 2.1 text, 7-bit: every value that is not plain ASCII is quoted-printable, the
// thumbnail a base64 JPEG in lines of 72 characters; CR LF line breaks; no break after END:VCARD.
std::string ContactVCard(const TAbPerson& person, const TAbNames& names);

// A contact as one row of the 46 CSV columns (no line break): fields in double quotes with inner
// quotes doubled, a field of blanks only as a bare separator.
std::string ContactCsvRow(const TAbPerson& person, const TAbNames& names);

// Quoted-printable of vCard values: bytes below 0x20, "=" and 0x7F and above as "=XX", and a soft
// break "=" CR LF after every 75 input bytes.
std::string QuotedPrintable(std::string_view text);
// ";CHARSET=utf-8;ENCODING=QUOTED-PRINTABLE:" when the text needs encoding, else ":".
std::string QuotedPrintableSuffix(std::string_view text);

} // namespace kestrow
