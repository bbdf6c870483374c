#include "support/mbdb_writer.h"

namespace kestrow::test {

namespace {

void PutNumber(std::string& out, std::uint64_t value, int bytes) {
    for (int i = bytes - 1; i >= 0; --i) {
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
    }
}

void PutString(std::string& out, const std::optional<std::string>& text) {
    if (!text) {
        PutNumber(out, 0xFFFF, 2);
        return;
    }
    PutNumber(out, text->size(), 2);
    out += *text;
}

} // namespace

std::string MbdbRecordBytes(const TMbdbRecordPlan& record) {
    std::string out;
    PutString(out, record.Domain);
    PutString(out, record.Path);
    PutString(out, record.LinkTarget);
    PutString(out, record.DataHash);
    PutString(out, record.EncryptionKey);
    PutNumber(out, record.Mode, 2);
    PutNumber(out, 0x1234, 8); // inode
    PutNumber(out, 501, 4);    // user
    PutNumber(out, 501, 4);    // group
    PutNumber(out, record.ModifiedTime, 4);
    PutNumber(out, 1336637731, 4); // access and change times
    PutNumber(out, 1336637732, 4);
    PutNumber(out, static_cast<std::uint64_t>(record.Size), 8);
    PutNumber(out, record.ProtectionClass, 1);
    PutNumber(out, record.Properties.size(), 1);
    for (const auto& [name, value] : record.Properties) {
        PutString(out, name);
        PutString(out, value);
    }
    return out;
}

std::string MbdbBytes(const std::vector<TMbdbRecordPlan>& records) {
    std::string out("mbdb\x05\x00", 6);
    for (const TMbdbRecordPlan& record : records) {
        out += MbdbRecordBytes(record);
    }
    return out;
}

std::string ProtectionPrefix(std::uint32_t clas) {
    std::string out(4, '\0');
    for (int i = 0; i < 4; ++i) {
        out[static_cast<std::size_t>(i)] = static_cast<char>((clas >> (8 * i)) & 0xFF);
    }
    return out;
}

} // namespace kestrow::test
