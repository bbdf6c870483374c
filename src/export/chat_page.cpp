#include "export/chat_page.h"

#include <algorithm>
#include <unordered_map>

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
    "before{border-bottom-color:#e5e5ea;left:-5px}.r{float:right;background:#5bdd46;color:#000}.r:before{"
    "border-"
    "bottom-color:#5bdd46;right:-5px}.i{float:right;background:#1087fe;color:#000}.i:before{border-bottom-"
    "color:#1087fe;right:-5px}.e{clear:both;text-align:center;color:#555;margin:0 0 20px}.m{font-size:80%;"
    "margin:4px 0 0}.q{font-size:80%;border-left:3px solid #555;padding-left:6px;margin:0 0 4px}</style>";

std::string ViewHead() {
    return std::string(
               "<!DOCTYPE HTML><html><head><meta charset=\"utf-8\"><meta http-equiv=\"X-UA-Compatible\" "
               "content=\"IE=edge\"/><style type=\"text/css\">body{background-color:#f2f2f2;font:9pt "
               "sans-serif}a.p{color:inherit;text-decoration:none}") +
           std::string(kBubbleStyle) + "</head><body><div class=\"c\">";
}

std::string ExportHead(const TMsgGroup& group) {
    return "<!DOCTYPE html><head><title>" + HtmlEscape(group.DisplayName) +
           "</title><meta charset=\"utf-8\"><meta http-equiv=\"X-UA-Compatible\" content=\"IE=edge\"/><style "
           "type=\"text/css\">body{background-color:#fff;font-family:sans-serif}" +
           std::string(kBubbleStyle) + "</head><body><div class=\"c\">";
}

std::string TrimLeft(const std::string& text) {
    return text.substr(std::min(text.find_first_not_of(' '), text.size()));
}

std::string ExportLine(const TMsgGroup& group, const std::string& exportedAt) {
    if (group.IsGroupChat) {
        const std::string members = group.GroupName.empty() ? HtmlEscape(group.Addresses)
                                                            : HtmlEscape(group.GroupName) + " (" +
                                                                  HtmlEscape(TrimLeft(group.Addresses)) + ")";
        return "<p>Group: " + members + ", exported " + HtmlEscape(exportedAt) + "</p>";
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

std::string Div(const std::string& html, const char* cssClass = nullptr) {
    return (cssClass == nullptr ? std::string("<div>") : "<div class=\"" + std::string(cssClass) + "\">") +
           html + "</div>";
}

// A part the phone hides (a link preview's data and the like) is not shown in the bubble: it is
// named in a mark line, linked when an export wrote it.
std::string HiddenPart(const std::string& label, const std::optional<std::string>& link) {
    return Div("Hidden attachment: " + (link ? "<a href=\"" + *link + "\">" + label + "</a>" : label), "m");
}

std::string PartContent(const TMsgPiece& piece, const TChatPageOptions& options) {
    if (SameTextAscii(ExtensionOf(piece.FileName), "txt")) {
        return Div(HtmlEscape(piece.Content));
    }
    const std::string label = HtmlEscape(PartLabel(piece));
    const std::string missing = Div(label + " (not in the backup)", "m");
    if (options.ForExport) {
        const std::optional<std::string> written =
            options.ExportedPart ? options.ExportedPart(piece) : std::optional(ExportPartName(piece));
        if (!written) {
            return missing; // only files the export wrote are linked
        }
        const std::string link = HtmlEscape(FileLink(options.LinkPrefix + *written));
        const std::string extension = ExtensionOf(*written);
        if (piece.Hidden) {
            return HiddenPart(label, link);
        }
        if (IsImagePart(piece) && (SameTextAscii(extension, "heic") || SameTextAscii(extension, "heif"))) {
            return Div("<a href=\"" + link + "\">" + label + "</a> (cannot be shown)", "m");
        }
        if (IsImagePart(piece)) {
            return Div("<img src=\"" + link + "\">");
        }
        return Div("<a href=\"" + link + "\">Play " + label + "</a>");
    }
    if (options.PartInBackup && !options.PartInBackup(piece)) {
        return missing;
    }
    if (piece.Hidden) {
        return HiddenPart(label, std::nullopt);
    }
    // The view's parts are links to their anchor: a right click on one names the part.
    const std::string open = "<a class=\"p\" href=\"#" + PartAnchor(piece) + "\">";
    if (IsImagePart(piece)) {
        if (!options.PicturesByAddress) {
            return Div(open + label + " (cannot be shown)</a>", "m");
        }
        return Div(open + "<img src=\"" + PictureAddress(piece) + "\" alt=\"" + label +
                   " (cannot be shown)\"></a>");
    }
    return Div(open + "Export to view:<br>" + label + "</a>");
}

// The marks under a message's content: "Unsent", "Edited" with the earlier versions, "Deleted",
// the reactions.
std::string MarksHtml(const TMsgItem& item) {
    std::string html;
    for (const std::string& mark : item.Marks()) {
        html += "<p class=\"m\">" + HtmlEscape(mark) + "</p>";
    }
    return html;
}

using TGuidIndex = std::unordered_map<std::string_view, const TMsgItem*>;

std::string Bubble(const TMsgGroup& group, const std::vector<std::string>& members, const TGuidIndex& byGuid,
                   const TMsgItem& item, const TChatPageOptions& options) {
    if (item.Kind == TMsgRowKind::Event) {
        return "<p class=\"e\">" + HtmlEscape(item.EventText()) + " <span class=\"t\">" +
               HtmlEscape(DateTimeText(item.Date)) + "</span></p>";
    }
    std::string bubble = BubbleOpening(item);
    if (!item.IsSent && group.IsGroupChat && !item.Sender.empty()) {
        bubble += HtmlEscape(item.SenderName.empty() ? item.Sender : item.SenderName) + ":<br>";
    } else if (!item.IsSent && group.IsIMessage && item.Sender.empty() && item.SenderIndex >= 0 &&
               static_cast<std::size_t>(item.SenderIndex) < members.size()) {
        bubble += HtmlEscape(members[static_cast<std::size_t>(item.SenderIndex)]) + ":<br>";
    }
    if (!item.ReplyTo.empty()) {
        if (const auto target = byGuid.find(item.ReplyTo); target != byGuid.end()) {
            bubble += "<p class=\"q\">\u201c" + HtmlEscape(QuoteOf(*target->second)) + "\u201d</p>";
        }
    }
    bubble += item.HtmlText();
    for (const TMsgPiece& piece : item.Pieces) {
        bubble += PartContent(piece, options);
    }
    bubble += MarksHtml(item);
    for (const TMsgReaction& reaction : item.Reactions) {
        for (const TMsgPiece& piece : reaction.Pieces) { // a sticker's picture, under the reactions
            bubble += PartContent(piece, options);
        }
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

std::string PartAnchor(const TMsgPiece& piece) {
    return "part-" + std::to_string(piece.Kind) + "-" + std::to_string(piece.RowId);
}

std::string PictureAddress(const TMsgPiece& piece) {
    return "part/" + std::to_string(piece.Kind) + "-" + std::to_string(piece.RowId);
}

std::string ExportPartName(const TMsgPiece& piece) {
    const std::string extension = ExtensionOf(piece.FileName);
    return std::to_string(piece.RowId) + (extension.empty() ? "" : "." + extension);
}

std::string GroupLine(const TMsgGroup& group) {
    if (group.GroupName.empty()) {
        return group.Addresses;
    }
    return group.GroupName + " (" + TrimLeft(group.Addresses) + ")";
}

std::string PartLabel(const TMsgPiece& piece) {
    std::string label = piece.TransferName.empty() ? piece.Content
                        : piece.Content.empty()    ? piece.TransferName
                                                   : piece.TransferName + ", " + piece.Content;
    if (label.empty()) {
        label = LastPathComponent(piece.FileName); // neither a name nor a type: the file's name
    }
    if (piece.TotalBytes > 0) {
        label += ", " + std::to_string((piece.TotalBytes + 1023) / 1024) + " KB";
    }
    return label;
}

std::string ChatTitle(const TMsgGroup& group) {
    if (group.IsGroupChat && !group.GroupName.empty()) {
        return group.GroupName + " - " + group.Addresses;
    }
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
    TGuidIndex byGuid;
    for (const TMsgItem& item : group.Items) {
        if (!item.ReplyTo.empty()) {
            for (const TMsgItem& each : group.Items) {
                if (!each.Guid.empty()) {
                    byGuid.try_emplace(each.Guid, &each);
                }
            }
            break;
        }
    }
    for (const TMsgItem& item : group.Items) {
        page += Bubble(group, members, byGuid, item, options);
    }
    return page + "</div></body></html>";
}

} // namespace kestrow
