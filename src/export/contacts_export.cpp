#include "export/contacts_export.h"

#include <cerrno>

#include "archive/ipod_backup.h"
#include "export/export_file.h"
#include "export/export_path.h"
#include "platform/paths.h"
#include "readers/address_book.h"

namespace kestrow {

namespace {

enum : int { kVCards = 0, kSingleVCard = 1, kCsv = 2, kPhotos = 3 };

// A company's card has no person's name: its file is named after the company.
const std::string& FileNameOf(const TAbPerson& person) {
    return person.Name.empty() ? person.Organization : person.Name;
}

void EachFile(TExportResult& result, TIpodBackup& session, const TAddressBook& book,
              const std::vector<int>& rows, int format, const std::string& dest,
              const TExportControl& control) {
    std::size_t done = 0;
    std::string error;
    TExportNames names;
    for (const int row : rows) {
        const TAbPerson& person = book.GetPerson(row);
        if (format == kVCards) {
            WriteExportFile(result, names.Path(FileNameOf(person), ".vcf", dest),
                            AsciiText(book.ToVCard(row)), 1);
        } else if (const std::optional<std::string> photo = session.LoadContactPhoto(row, error)) {
            WriteExportFile(result, names.Path(FileNameOf(person), ".jpg", dest), *photo, 1);
        } else if (!error.empty()) {
            result.Failures.push_back({dest + FileNameOf(person) + ".jpg", EIO, error});
        }
        if (!ExportStep(control, ++done, rows.size(), result)) {
            return;
        }
    }
}

void SingleVCard(TExportResult& result, const TAddressBook& book, const std::vector<int>& rows,
                 const std::string& device, const std::string& dest) {
    std::string text;
    for (const int row : rows) {
        text += book.ToVCard(row) + "\r\n\r\n";
    }
    text = AsciiText(TrimControls(text));
    if (!text.empty()) {
        WriteExportFile(result, MakeExportPath(device + "_Contact", ".vcf", dest), text,
                        static_cast<int>(rows.size()));
    }
}

void Csv(TExportResult& result, const TAddressBook& book, const std::vector<int>& rows,
         const std::string& device, const std::string& dest, const TExportControl& control) {
    std::string text = std::string(kUtf8Bom) + kContactsCsvHeader;
    std::size_t done = 0;
    for (const int row : rows) {
        text += book.ToCsvRow(row) + "\r\n";
        if (!ExportStep(control, ++done, rows.size(), result)) {
            break;
        }
    }
    WriteExportFile(result, MakeExportPath(device + "_Contact", ".csv", dest), text, static_cast<int>(done));
}

} // namespace

TExportResult ExportContacts(TIpodBackup& session, const std::vector<int>& rows, int format,
                             const std::string& dest, const TExportControl& control) {
    TExportResult result;
    const std::string folder = WithTrailingSlash(dest);
    const TAddressBook* book = session.LoadContacts();
    if (book == nullptr || rows.empty()) {
        return result;
    }
    if ((result.FolderError = PrepareExportFolder(session, folder)) != 0) {
        return result;
    }
    const std::string device = session.CurrentDeviceName();
    if (format == kSingleVCard) {
        SingleVCard(result, *book, rows, device, folder);
    } else if (format == kCsv) {
        Csv(result, *book, rows, device, folder, control);
    } else if (format == kVCards || format == kPhotos) {
        EachFile(result, session, *book, rows, format, folder, control);
    }
    return result;
}

} // namespace kestrow
