#include "export/export_file.h"

#include "archive/ipod_backup.h"
#include "export/export_control.h"
#include "platform/new_file.h"
#include "platform/paths.h"
#include "platform/text.h"
#include "platform/utf8.h"

namespace kestrow {

int WriteNewFile(const std::string& path, std::string_view bytes) {
    TAtomicFileWriter writer(path, TPublishMode::NoReplace);
    if (writer.IsOpen() && writer.Write(bytes.data(), bytes.size())) {
        writer.Commit();
    }
    return writer.Error();
}

int PrepareExportFolder(const TIpodBackup& session, const std::string& folder) {
    if (folder.empty()) {
        return ENOENT;
    }
    if (const int err = session.CheckDestination(folder); err != 0) {
        return err;
    }
    if (const int err = MakeFolders(folder); err != 0) {
        return err;
    }
    return session.CheckDestination(folder); // a link made meanwhile could lead into a backup
}

void WriteExportFile(TExportResult& result, const std::string& path, std::string_view bytes, int records) {
    if (const int err = WriteNewFile(path, bytes); err != 0) {
        result.Failures.push_back({path, err});
    } else {
        result.Count += records;
    }
}

bool ExportStep(const TExportControl& control, std::size_t done, std::size_t total, TExportResult& result) {
    if (!control.Next(done, total) && done < total) {
        result.Stopped = true;
        return false;
    }
    return true;
}

std::string AsciiText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        const auto byte = static_cast<unsigned char>(text[at]);
        if (byte < 0x80) {
            out += static_cast<char>(byte);
            ++at;
            continue;
        }
        std::uint32_t code = 0;
        const std::size_t length = Utf8SequenceAt(text, at, code);
        out += '?';
        at += length == 0 ? 1 : length;
    }
    return out;
}

std::string TrimControls(std::string_view text) {
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && static_cast<unsigned char>(text[begin]) <= 0x20) {
        ++begin;
    }
    while (end > begin && static_cast<unsigned char>(text[end - 1]) <= 0x20) {
        --end;
    }
    return std::string(text.substr(begin, end - begin));
}

std::string CsvQuoted(std::string_view field) {
    std::string out = "\"";
    for (const char c : CsvCellText(field)) {
        out += c;
        if (c == '"') {
            out += '"';
        }
    }
    return out + "\"";
}

std::string CsvField(std::string_view field) {
    return field.find_first_of(",\"\r\n") == std::string_view::npos ? CsvCellText(field) : CsvQuoted(field);
}

} // namespace kestrow
