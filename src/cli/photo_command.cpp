#include "cli/photo_command.h"

#include <iostream>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "archive/photo_library.h"
#include "cli/category_commands.h"
#include "cli/display_text.h"
#include "platform/date_time.h"

namespace kestrow {

namespace {

using TJson = nlohmann::ordered_json;

TJson OrNull(const std::optional<double>& value) {
    return value ? TJson(*value) : TJson(nullptr);
}

TJson ItemJson(const TPhotoItem& item) {
    TJson albums = TJson::array();
    for (const std::string& album : item.Albums) {
        albums.push_back(JsonText(album));
    }
    return {{"key", JsonText(item.Key)},
            {"name", JsonText(item.OriginalName)},
            {"date", item.Date == 0 ? TJson(nullptr) : TJson(IsoDateTimeText(item.Date, item.UtcOffset))},
            {"size", item.Size},
            {"type", JsonText(item.Type())},
            {"width", item.Width},
            {"height", item.Height},
            {"duration", item.Duration},
            {"latitude", OrNull(item.Latitude)},
            {"longitude", OrNull(item.Longitude)},
            {"favorite", item.Favorite},
            {"hidden", item.Hidden},
            {"trashed", item.Trashed},
            {"albums", std::move(albums)},
            {"livePhotoKey", item.LivePhotoKey.empty() ? TJson(nullptr) : TJson(JsonText(item.LivePhotoKey))},
            {"inBackup", item.InBackup}};
}

std::string PlaceText(const TPhotoItem& item) {
    return item.Latitude && item.Longitude ? fmt::format("{:.5f}, {:.5f}", *item.Latitude, *item.Longitude)
                                           : "-";
}

void PrintItem(const TPhotoItem& item) {
    std::cout << (item.Date == 0 ? "-" : DateTimeText(item.Date)) << '\t' << EscapeText(item.OriginalName)
              << '\t' << item.Size << '\t' << EscapeText(item.Type()) << '\t' << PlaceText(item)
              << (item.InBackup ? "" : " (not in the backup)") << '\n';
}

} // namespace

int RunPhotos(const TCliOptions& options, int index, bool json) {
    const TOpenedSession opened = OpenSession(options, index);
    if (opened.Status != osOpened) {
        return opened.Status;
    }
    TIpodBackup& session = *opened.Session;
    const TPhotos* photos = LoadPhotos(session);
    if (session.CategoryState(catPhotos) == TCategoryState::Failed) {
        std::cerr << EscapeText(session.CategoryError(catPhotos)) << '\n';
        return kExitCategoryFailed;
    }
    TJson list = TJson::array();
    for (int i = 0; photos != nullptr && i < photos->Count(); ++i) {
        if (json) {
            list.push_back(ItemJson(photos->Item(i)));
        } else {
            PrintItem(photos->Item(i));
        }
    }
    if (json) {
        std::cout << list.dump(2, ' ', false, nlohmann::json::error_handler_t::strict) << '\n';
    }
    return 0;
}

} // namespace kestrow
