#include "export/chat_page.h"

#include "platform/date_time.h"
#include "platform/paths.h"
#include "platform/text.h"
#include "readers/record_text.h"
#include "readers/short_message.h"

namespace kestrow {

namespace {

constexpr std::string_view kBubbleStyle =
    "img{display:block;max-width:100%}.c{padding:10px}.t{font-size:80%;font-style:italic}.b{clear:both;-moz-"
    "border-radius:20px;-webkit-border-radius:29px;border-radius:20px;margin-bottom:20px;padding:8px "
    "16px;position:relative;max-width:70%}.b:before{content:\"\";display:block;position:absolute;border-"
    "radius:"
    "20px;border:10px solid transparent;z-index:-2;bottom:0}.l{float:left;background:#e5e5ea;color:#000}.l:"
    "before{border-bottom-color:#e5e5ea;left:-5px}.r{float:right;background:#5bdd46;color:#fff}.r:before{"
    "border-"
    "bottom-color:#5bdd46;right:-5px}.i{float:right;background:#1087fe;color:#fff}.i:before{border-bottom-"
    "color:#1087fe;right:-5px}</style>";

std::string ViewHead() {
    return std::string(
               "<!DOCTYPE HTML><html><head><meta charset=\"utf-8\"><meta http-equiv=\"X-UA-Compatible\" "
               "content=\"IE=edge\"/><style type=\"text/css\">body{background-color:#f2f2f2;font:9pt "
               "\"Segoe UI\", Tahoma}") +
           std::string(kBubbleStyle) + "</head><body><div class=\"c\">";
}

std::string ExportHead(const TMsgGroup& group) {
    return "<!DOCTYPE html><head><title>" + HtmlEscape(group.DisplayName) +
           "</title><meta charset=\"utf-8\"><meta http-equiv=\"X-UA-Compatible\" content=\"IE=edge\"/><style "
           "type=\"text/css\">body{background-color:#fff;font:Verdana,Arial,Helvetica,Sans-serif}" +
           std::string(kBubbleStyle) + "</head><body><div class=\"c\">";
}

std::string ExportLine(const TMsgGroup& group, const std::string& exportedAt) {
    if (group.IsGroupChat) {
        return "<p>Group: " + HtmlEscape(group.Addresses) + ", exported " + HtmlEscape(exportedAt) + "</p>";
    }
    return "<p>" + HtmlEscape(group.DisplayName) + " " + HtmlEscape(group.Addresses) + ", exported " +
           HtmlEscape(exportedAt) + "</p>";
}

std::string BubbleOpening(const TMsgItem& item) {
    if (!item.IsSent) {
        return "<div class=\"b l\">";
    }
    return item.IsIMessage ? "<div class=\"b i\">" : "<div class=\"b r\">";
}

std::string PartContent(const TMsgItem& item, int index, const TChatPageOptions& options) {
    const TMsgPiece& piece = item.Pieces[static_cast<std::size_t>(index)];
    if (SameTextAscii(ExtensionOf(piece.FileName), "txt")) {
        return "<br>" + item.PieceHtmlText(index);
    }
    if (options.ForExport) {
        const std::string link = HtmlEscape(FileLink(options.LinkPrefix + ExportPartName(piece)));
        if (IsImagePart(piece)) {
            return "<br><img src=\"" + link + "\">";
        }
        return "<a href=\"" + link + "\">Play " + HtmlEscape(piece.Content) + "</a>";
    }
    if (IsImagePart(piece)) {
        const std::optional<TInlinePicture> picture =
            options.InlinePicture ? options.InlinePicture(item, piece) : std::nullopt;
        if (!picture) {
            return {};
        }
        return "<br><img src=\"data:" + HtmlEscape(piece.Content) + ";base64," +
               InlinePictureBase64(picture->Bytes) + "\">";
    }
    return "Export to view:<br>" + HtmlEscape(piece.Content);
}

std::string Bubble(const TMsgGroup& group, const std::vector<std::string>& members, const TMsgItem& item,
                   const TChatPageOptions& options) {
    std::string bubble = BubbleOpening(item);
    if (!item.IsSent && group.IsIMessage && item.SenderIndex >= 0 &&
        static_cast<std::size_t>(item.SenderIndex) < members.size()) {
        bubble += HtmlEscape(members[static_cast<std::size_t>(item.SenderIndex)]) + ":<br>";
    }
    bubble += item.HtmlText();
    for (int i = 0; i < item.PieceCount(); ++i) {
        bubble += PartContent(item, i, options);
    }
    return bubble + "<p class=\"t\">" + HtmlEscape(DateTimeText(item.Date)) + "</p></div>";
}

} // namespace

bool IsImagePart(const TMsgPiece& piece) {
    std::string_view content = piece.Content;
    while (!content.empty() && static_cast<unsigned char>(content.front()) <= ' ') {
        content.remove_prefix(1);
    }
    return StartsWith(AsciiLower(content.substr(0, 5)), "image");
}

std::string ExportPartName(const TMsgPiece& piece) {
    const std::string extension = ExtensionOf(piece.FileName);
    return std::to_string(piece.RowId) + (extension.empty() ? "" : "." + extension);
}

std::string ChatTitle(const TMsgGroup& group) {
    if (group.IsGroupChat || group.DisplayName == group.Addresses) {
        return group.Addresses;
    }
    return group.DisplayName + " - " + group.Addresses;
}

std::string BuildChatPage(const TMsgGroup& group, const TChatPageOptions& options) {
    const std::vector<std::string> members =
        group.IsIMessage ? SplitCommaText(group.Addresses) : std::vector<std::string>();
    std::string page =
        options.ForExport ? ExportHead(group) + ExportLine(group, options.ExportedAt) : ViewHead();
    for (const TMsgItem& item : group.Items) {
        page += Bubble(group, members, item, options);
    }
    return page + "</div></body></html>";
}

} // namespace kestrow
