// Arbitrary texts as a contact's fields through the vCard and CSV writers. Besides not crashing,
// the vCard must stay 7-bit, whatever the names hold.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "readers/address_book.h"
#include "readers/contact_formats.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Fields are separated by 0xFF bytes; a few leading bytes choose properties and labels.
    const std::string input(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> fields;
    std::size_t start = 0;
    while (start <= input.size() && fields.size() < 24) {
        const std::size_t end = std::min(input.find('\xFF', start), input.size());
        fields.push_back(input.substr(start, end - start));
        start = end + 1;
    }
    fields.resize(24);
    kestrow::TAbNames names;
    names.Labels = {"Home", "Work", "Mobile", "iPhone", "HomeFAX", "WorkFAX", fields[20]};
    names.EntryKeys = {"Street", "City", "State", "Zip", "Country", fields[21]};
    kestrow::TAbPerson person;
    person.First = fields[0];
    person.Last = fields[1];
    person.Middle = fields[2];
    person.Name = person.Last + " " + person.First;
    person.Prefix = fields[3];
    person.Suffix = fields[4];
    person.Organization = fields[5];
    person.Department = fields[6];
    person.JobTitle = fields[7];
    person.Note = fields[8];
    person.Nickname = fields[9];
    person.Birthday = fields[10].size() % 3 == 0 ? 0 : 30000.5 + static_cast<double>(fields[10].size());
    if (!fields[11].empty()) {
        person.ThumbnailData = fields[11];
    }
    for (std::size_t i = 12; i < 20; ++i) {
        kestrow::TAbMultiValue value;
        const unsigned char selector = fields[i].empty() ? 0 : static_cast<unsigned char>(fields[i][0]);
        static constexpr std::int32_t kProperties[] = {3, 4, 5, 12, 13, 22, 99};
        value.Property = kProperties[selector % 7];
        value.Label = selector % 9;
        value.Identifier = selector % 2;
        value.Value = fields[i];
        if (value.Property == 5) {
            for (int k = 1; k <= 7; ++k) {
                value.Entries.push_back({0, k, fields[i] + std::to_string(k)});
            }
        }
        person.MultiValues.push_back(value);
    }
    const std::string card = kestrow::ContactVCard(person, names);
    for (unsigned char c : card) {
        if (c >= 0x80) {
            std::abort(); // a byte that is not 7-bit reached the vCard
        }
    }
    kestrow::ContactCsvRow(person, names);
    return 0;
}
