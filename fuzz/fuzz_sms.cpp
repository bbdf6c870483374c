// Arbitrary bytes as a message database, read as the session would: the reader either reads it or
// raises the SQLite layer's exception, never anything worse.
#include <cstdint>
#include <string>

#include "platform/file_io.h"
#include "platform/temp_folder.h"
#include "readers/short_message.h"
#include "readers/sqlite_database.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static kestrow::TTempFolder folder;
    const std::string path = folder.Path() + "sms.db";
    kestrow::WriteWholeFile(path, std::string(reinterpret_cast<const char*>(data), size));
    try {
        kestrow::TShortMessage sms(path, 3600);
        for (int g = 0; g < sms.GroupCount(); ++g) {
            for (const auto& item : sms.Groups(g).Items) {
                for (const auto& piece : item.Pieces) {
                    if (piece.Kind == kestrow::mpkData) {
                        sms.GetPartData(piece.RowId);
                    }
                }
            }
            sms.Groups(g).AsText();
        }
    } catch (const kestrow::ESQLiteException&) {
        // the database layer refused it: the category fails, nothing else
    }
    return 0;
}
