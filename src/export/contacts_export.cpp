#include "export/contacts_export.h"

#include "archive/ipod_backup.h"
#include "export/export_file.h"
#include "export/export_path.h"
#include "platform/paths.h"
#include "readers/address_book.h"

namespace kestrow {

namespace {

enum : int { kVCards = 0, kSingleVCard = 1, kCsv = 2, kPhotos = 3 };

void Write(TExportResult& result, const std::string& path, std::string_view bytes, int records) {
    if (const int err = WriteNewFile(path, bytes); err != 0) {
        result.Failures.push_back({path, err});
    } else {
        result.Count += records;
    }
}

// A company's card has no person's name: its file is named after the company.
const std::string& FileNameOf(const TAbPerson& person) {
    return person.Name.empty() ? person.Organization : person.Name;
}

void EachFile(TExportResult& result, const TAddressBook& book, const std::vector<int>& rows, int format,
              const std::string& dest, const TExportControl& control) {
    std::size_t done = 0;
    for (const int row : rows) {
        const TAbPerson& person = book.GetPerson(row);
        if (format == kVCards) {
            Write(result, MakeExportPath(FileNameOf(person), ".vcf", dest), AsciiText(book.ToVCard(row)), 1);
        } else if (const std::optional<std::string> photo = book.GetPhotoStream(row)) {
            Write(result, MakeExportPath(FileNameOf(person), ".jpg", dest), *photo, 1);
        }
        if (!control.Next(++done, rows.size()) && done < rows.size()) {
            result.Stopped = true;
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
        Write(result, MakeExportPath(device + "_Contact", ".vcf", dest), text, static_cast<int>(rows.size()));
    }
}

void Csv(TExportResult& result, const TAddressBook& book, const std::vector<int>& rows,
         const std::string& device, const std::string& dest, const TExportControl& control) {
    std::string text = std::string(kUtf8Bom) + kContactsCsvHeader;
    std::size_t done = 0;
    for (const int row : rows) {
        text += book.ToCsvRow(row) + "\r\n";
        if (!control.Next(++done, rows.size()) && done < rows.size()) {
            result.Stopped = true;
            break;
        }
    }
    Write(result, MakeExportPath(device + "_Contact", ".csv", dest), text, static_cast<int>(done));
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
        EachFile(result, *book, rows, format, folder, control);
    }
    return result;
}

} // namespace kestrow
