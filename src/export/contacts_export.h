#pragma once

#include <string>
#include <vector>

#include "export/export_control.h"

namespace kestrow {

class TIpodBackup;

constexpr const char* kContactsCsvHeader =
    "First Name,Middle Name,Last Name,Suffix,Initials,Nickname,Web Page,Birthday,Notes,Company,Job Title,"
    "Department,E-mail Address,E-mail 2 Address,E-mail 3 Address,Primary Phone,Home Phone,Home Phone "
    "2,Mobile "
    "Phone,Home Fax,Home Street,Home Street 2,Home Street 3,Home City,Home State,Home Postal Code,Home "
    "Country,Business Phone,Business Phone 2,Business Fax,Business Street,Business Street 2,Business Street "
    "3,Business City,Business State,Business Postal Code,Business Country,Other Phone,Other Fax,Other "
    "Street,Other Street 2,Other Street 3,Other City,Other State,Other Postal Code,Other Country\r\n";

// Contacts `rows` (indexes into the address book, in the order to write) into `dest`:
// 0 one vCard file each, 1 one file of all vCards, 2 one CSV file, 3 each contact's stored photo.
TExportResult ExportContacts(TIpodBackup& session, const std::vector<int>& rows, int format,
                             const std::string& dest, const TExportControl& control = {});

} // namespace kestrow
