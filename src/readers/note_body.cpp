#include "readers/note_body.h"

#include "platform/utf8.h"
#include "readers/protobuf_reader.h"

namespace kestrow {

namespace {

constexpr std::uint32_t kObjectCode = 0xFFFC;
constexpr int kMaxIndent = 16;                 // deeper levels show at this one
constexpr std::size_t kMaxAttachments = 10000; // per note; further marks stand for nothing
constexpr std::size_t kMaxInlineBytes = std::size_t{4} << 20;

void ReadParagraph(std::string_view bytes, TNoteRun& run) {
    ForEachProtobufField(bytes, [&](const TProtobufValue& v) {
        if (v.Field == 1 && v.Wire == 0) {
            run.Style = static_cast<int>(static_cast<std::int32_t>(v.Number));
        } else if (v.Field == 4 && v.Wire == 0) {
            run.Indent = static_cast<int>(std::min<std::uint64_t>(v.Number, kMaxIndent));
        } else if (v.Field == 5 && v.Wire == 2) {
            run.Done = 0;
            ForEachProtobufField(v.Bytes, [&](const TProtobufValue& c) {
                if (c.Field == 2 && c.Wire == 0) {
                    run.Done = c.Number != 0 ? 1 : 0;
                }
            });
        }
    });
}

TNoteRun ReadRun(std::string_view bytes) {
    TNoteRun run;
    ForEachProtobufField(bytes, [&](const TProtobufValue& v) {
        switch (v.Field) {
        case 1:
            run.Length = static_cast<std::uint32_t>(std::min<std::uint64_t>(v.Number, 0xFFFFFFFFu));
            break;
        case 2:
            ReadParagraph(v.Bytes, run);
            break;
        case 5:
            run.Weight = static_cast<int>(v.Number & 3);
            break;
        case 6:
            run.Underline = v.Number != 0;
            break;
        case 7:
            run.Strike = v.Number != 0;
            break;
        case 8:
            run.Script = static_cast<std::int64_t>(v.Number) > 0 ? 1 : (v.Number != 0 ? -1 : 0);
            break;
        case 9:
            run.Link = std::string(v.Bytes);
            break;
        case 12:
            ForEachProtobufField(v.Bytes, [&](const TProtobufValue& a) {
                if (a.Field == 1 && a.Wire == 2) {
                    run.AttachmentId = std::string(a.Bytes);
                } else if (a.Field == 2 && a.Wire == 2) {
                    run.AttachmentUti = std::string(a.Bytes);
                }
            });
            break;
        default:
            break;
        }
    });
    return run;
}

void AppendEscaped(std::string& out, std::string_view text) {
    for (const char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            out += c;
        }
    }
}

bool IsList(int style) {
    return style >= 100 && style <= 103;
}

// Writes the HTML and text of a document in one pass over its text, the runs followed alongside.
class TBodyWriter {
public:
    TBodyWriter(const TNoteDocument& document, const TInlineText& inlineText)
        : FDoc(document), FInlineText(inlineText) {}

    TNoteBody Write();

private:
    const TNoteRun& Run() const { return FRun < FDoc.Runs.size() ? FDoc.Runs[FRun] : FPlain; }
    void Advance(std::uint32_t units);
    void StartParagraph();
    void EndParagraph();
    void OpenInline();
    void CloseInline();
    void CloseLists(std::size_t keep);
    void Character(std::string_view bytes, std::uint32_t code);

    const TNoteDocument& FDoc;
    const TInlineText& FInlineText;
    TNoteRun FPlain;
    std::size_t FRun = 0;
    std::uint32_t FUsed = 0; // units of the current run already used
    TNoteBody FBody;
    int FStyle = -1;           // of the paragraph being written
    bool FPlainBefore = false; // the last paragraph was an unstyled line
    bool FPreOpen = false;
    std::vector<int> FLists;    // open lists, outermost first (their styles)
    std::size_t FInlineRun = 0; // the run whose inline tags are open
    bool FInlineOpen = false;
    std::size_t FInlineBytes = 0; // texts of inline attachments written so far
};

void TBodyWriter::Advance(std::uint32_t units) {
    FUsed += units;
    while (FRun < FDoc.Runs.size() && FUsed >= FDoc.Runs[FRun].Length) {
        FUsed -= FDoc.Runs[FRun].Length;
        ++FRun;
    }
}

void TBodyWriter::CloseLists(std::size_t keep) {
    while (FLists.size() > keep) {
        FBody.Html += FLists.back() == 102 ? "</ol>" : "</ul>";
        FLists.pop_back();
    }
}

void TBodyWriter::StartParagraph() {
    const TNoteRun& run = Run();
    FStyle = run.Style;
    if (!IsList(FStyle)) {
        CloseLists(0);
    }
    if (FStyle != 4 && FPreOpen) {
        FBody.Html += "</pre>";
        FPreOpen = false;
    }
    switch (FStyle) {
    case 0:
        FBody.Html += "<h1>";
        break;
    case 1:
        FBody.Html += "<h2>";
        break;
    case 2:
        FBody.Html += "<h3>";
        break;
    case 4:
        FBody.Html += FPreOpen ? "\n" : "<pre>";
        FPreOpen = true;
        break;
    case 100:
    case 101:
    case 102:
    case 103: {
        const std::size_t level = static_cast<std::size_t>(run.Indent) + 1;
        CloseLists(level);
        if (FLists.size() == level && FLists.back() != FStyle) {
            CloseLists(level - 1);
        }
        while (FLists.size() < level) {
            FBody.Html += FStyle == 102   ? "<ol>"
                          : FStyle == 103 ? "<ul class=\"checklist\">"
                          : FStyle == 101 ? "<ul class=\"dashed\">"
                                          : "<ul>";
            FLists.push_back(FStyle);
        }
        FBody.Html += "<li>";
        if (FStyle == 103) {
            FBody.Html += run.Done == 1 ? "\xE2\x98\x91 " : "\xE2\x98\x90 "; // ☑ ☐
            FBody.Text += run.Done == 1 ? "[x] " : "[ ] ";
        } else if (FStyle == 101) {
            FBody.Html += "\xE2\x80\x93 "; // –
        }
        break;
    }
    default:
        FStyle = -1;
        if (FPlainBefore) {
            FBody.Html += "<br>";
        }
    }
}

void TBodyWriter::EndParagraph() {
    CloseInline();
    static constexpr std::string_view kEnds[] = {"</h1>", "</h2>", "</h3>"};
    if (FStyle >= 0 && FStyle <= 2) {
        FBody.Html += kEnds[FStyle];
    } else if (IsList(FStyle)) {
        FBody.Html += "</li>";
    }
    FPlainBefore = FStyle == -1;
}

void TBodyWriter::OpenInline() {
    const TNoteRun& run = Run();
    FInlineRun = FRun;
    FInlineOpen = true;
    if (!run.Link.empty()) {
        FBody.Html += "<a href=\"";
        AppendEscaped(FBody.Html, run.Link);
        FBody.Html += "\">";
    }
    FBody.Html += (run.Weight & 1) != 0 ? "<b>" : "";
    FBody.Html += (run.Weight & 2) != 0 ? "<i>" : "";
    FBody.Html += run.Underline ? "<u>" : "";
    FBody.Html += run.Strike ? "<s>" : "";
    FBody.Html += run.Script > 0 ? "<sup>" : run.Script < 0 ? "<sub>" : "";
}

void TBodyWriter::CloseInline() {
    if (!FInlineOpen) {
        return;
    }
    FInlineOpen = false;
    const TNoteRun& run = FInlineRun < FDoc.Runs.size() ? FDoc.Runs[FInlineRun] : FPlain;
    FBody.Html += run.Script > 0 ? "</sup>" : run.Script < 0 ? "</sub>" : "";
    FBody.Html += run.Strike ? "</s>" : "";
    FBody.Html += run.Underline ? "</u>" : "";
    FBody.Html += (run.Weight & 2) != 0 ? "</i>" : "";
    FBody.Html += (run.Weight & 1) != 0 ? "</b>" : "";
    FBody.Html += !run.Link.empty() ? "</a>" : "";
}

void TBodyWriter::Character(std::string_view bytes, std::uint32_t code) {
    if (FInlineOpen && FInlineRun != FRun) {
        CloseInline();
    }
    if (!FInlineOpen) {
        OpenInline();
    }
    const TNoteRun& run = Run();
    if (code != kObjectCode) {
        AppendEscaped(FBody.Html, bytes);
        FBody.Text += bytes;
    } else if (!run.AttachmentId.empty() && FBody.Attachments.size() < kMaxAttachments) {
        if (const auto text = FInlineText(run.AttachmentId, run.AttachmentUti)) {
            if (text->size() <= kMaxInlineBytes - FInlineBytes) { // one long tag named many times
                FInlineBytes += text->size();
                AppendEscaped(FBody.Html, *text);
                FBody.Text += *text;
            }
        } else {
            FBody.Html += kObjectMark;
            FBody.Text += kObjectMark;
            FBody.Attachments.emplace_back(run.AttachmentId, run.AttachmentUti);
        }
    } // a mark without an attachment stands for nothing
}

TNoteBody TBodyWriter::Write() {
    const std::string_view text = FDoc.Text;
    bool paragraphOpen = false;
    for (std::size_t at = 0; at < text.size();) {
        std::uint32_t code = 0;
        std::size_t length = Utf8SequenceAt(text, at, code);
        if (length == 0) { // a byte that starts no character: one unit of its own
            length = 1;
            code = static_cast<unsigned char>(text[at]);
        }
        const std::string_view bytes = text.substr(at, length);
        at += length;
        const std::uint32_t units = code >= 0x10000 ? 2 : 1;
        if (code == '\r' && at < text.size() && text[at] == '\n') {
            Advance(units); // CR LF ends one line
            continue;
        }
        if (!paragraphOpen) {
            StartParagraph();
            paragraphOpen = true;
        }
        if (code == '\n' || code == '\r') {
            EndParagraph();
            paragraphOpen = false;
            FBody.Text += "\r\n";
        } else {
            Character(bytes, code);
        }
        Advance(units);
    }
    if (paragraphOpen) {
        EndParagraph();
    } else if (FPlainBefore) {
        FBody.Html += "<br>"; // the text ends with a line break
    }
    CloseLists(0);
    if (FPreOpen) {
        FBody.Html += "</pre>";
    }
    return std::move(FBody);
}

} // namespace

std::optional<TNoteDocument> ReadNoteDocument(std::string_view protobuf) {
    const auto note = ProtobufField(protobuf, {2, 3});
    if (!note) {
        return std::nullopt;
    }
    TNoteDocument document;
    bool hasText = false;
    const bool wellFormed = ForEachProtobufField(*note, [&](const TProtobufValue& v) {
        if (v.Field == 2 && v.Wire == 2 && !hasText) {
            document.Text = std::string(v.Bytes);
            hasText = true;
        } else if (v.Field == 5 && v.Wire == 2) {
            document.Runs.push_back(ReadRun(v.Bytes));
        }
    });
    if (!hasText || (!wellFormed && document.Runs.empty())) {
        return std::nullopt;
    }
    return document;
}

TNoteBody RenderNoteBody(const TNoteDocument& document, const TInlineText& inlineText) {
    return TBodyWriter(document, inlineText).Write();
}

} // namespace kestrow
