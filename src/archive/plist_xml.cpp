#include "archive/plist_xml.h"

#include <cstdint>
#include <utility>

#include "platform/file_io.h"
#include "platform/text.h"
#include "platform/utf8.h"

namespace kestrow {

int ElementChildCount(pugi::xml_node node) {
    int count = 0;
    for (pugi::xml_node child = node.first_child(); child; child = child.next_sibling()) {
        count += child.type() == pugi::node_element ? 1 : 0;
    }
    return count;
}

pugi::xml_node ElementChild(pugi::xml_node node, int index) {
    for (pugi::xml_node child = node.first_child(); child; child = child.next_sibling()) {
        if (child.type() == pugi::node_element && index-- == 0) {
            return child;
        }
    }
    return {};
}

pugi::xml_node FirstElementChild(pugi::xml_node node) {
    return ElementChild(node, 0);
}

namespace {

// Entities stay undecoded in the DOM (they are checked at load and decoded by NodeText); the
// document is parsed as a fragment so that anything beside the root element is seen and refused.
constexpr unsigned kParseFlags =
    (pugi::parse_default & ~pugi::parse_escapes) | pugi::parse_ws_pcdata | pugi::parse_fragment;

bool IsXmlChar(std::uint32_t code) {
    return code == 0x9 || code == 0xA || code == 0xD || (code >= 0x20 && code <= 0xD7FF) ||
           (code >= 0xE000 && code <= 0xFFFD) || (code >= 0x10000 && code <= 0x10FFFF);
}

// The reference starting at text[at] ("&...;"): appends what it stands for and returns its length,
// or 0 when it is not a predefined entity or a valid character reference.
std::size_t DecodeReference(std::string_view text, std::size_t at, std::string& out) {
    const std::size_t end = text.find(';', at);
    if (end == std::string_view::npos) {
        return 0;
    }
    const std::string_view name = text.substr(at + 1, end - at - 1);
    static constexpr std::pair<std::string_view, char> kPredefined[] = {
        {"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}};
    for (const auto& [entity, c] : kPredefined) {
        if (name == entity) {
            out += c;
            return end - at + 1;
        }
    }
    if (name.size() < 2 || name[0] != '#') {
        return 0;
    }
    const bool hex = name[1] == 'x';
    const std::string_view digits = name.substr(hex ? 2 : 1);
    if (digits.empty() || digits.size() > 8) {
        return 0;
    }
    std::uint32_t code = 0;
    for (char c : digits) {
        int digit = -1;
        if (c >= '0' && c <= '9') {
            digit = c - '0';
        } else if (hex && c >= 'a' && c <= 'f') {
            digit = c - 'a' + 10;
        } else if (hex && c >= 'A' && c <= 'F') {
            digit = c - 'A' + 10;
        }
        if (digit < 0) {
            return 0;
        }
        code = code * (hex ? 16 : 10) + static_cast<std::uint32_t>(digit);
    }
    if (!IsXmlChar(code)) {
        return 0;
    }
    AppendUtf8(out, code);
    return end - at + 1;
}

// Decodes the references of a text; false when one is not valid.
bool DecodeText(std::string_view text, std::string& out) {
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t amp = text.find('&', at);
        out.append(text.substr(at, amp - at));
        if (amp == std::string_view::npos) {
            break;
        }
        const std::size_t length = DecodeReference(text, amp, out);
        if (length == 0) {
            return false;
        }
        at = amp + length;
    }
    return true;
}

// Appends the text of `node` and everything below it, without recursion.
void AppendText(pugi::xml_node node, std::string& out) {
    if (node.type() == pugi::node_pcdata) {
        DecodeText(node.value(), out);
        return;
    }
    if (node.type() == pugi::node_cdata) {
        out += node.value();
        return;
    }
    for (pugi::xml_node child = node.first_child(); child;) {
        if (child.type() == pugi::node_pcdata) {
            DecodeText(child.value(), out);
        } else if (child.type() == pugi::node_cdata) {
            out += child.value();
        }
        if (child.first_child()) {
            child = child.first_child();
            continue;
        }
        while (child != node && !child.next_sibling()) {
            child = child.parent();
        }
        if (child == node) {
            break;
        }
        child = child.next_sibling();
    }
}

// Every reference in the document's text and attribute values is one that can be decoded, and
// there is exactly one root element and no text beside it.
bool IsStrictlyWellFormed(pugi::xml_document& doc) {
    int roots = 0;
    for (pugi::xml_node top = doc.first_child(); top; top = top.next_sibling()) {
        if (top.type() == pugi::node_element) {
            ++roots;
        } else if (top.type() == pugi::node_pcdata &&
                   std::string_view(top.value()).find_first_not_of(" \t\r\n") != std::string_view::npos) {
            return false;
        }
    }
    if (roots != 1) {
        return false;
    }
    struct TChecker : pugi::xml_tree_walker {
        bool Valid = true;
        std::string Scratch;
        bool Check(std::string_view text) {
            Scratch.clear();
            return DecodeText(text, Scratch);
        }
        bool for_each(pugi::xml_node& node) override {
            if (node.type() == pugi::node_pcdata && !Check(node.value())) {
                Valid = false;
            }
            for (pugi::xml_attribute attribute : node.attributes()) {
                Valid = Valid && Check(attribute.value());
            }
            return Valid;
        }
    } checker;
    doc.traverse(checker);
    return checker.Valid;
}

} // namespace

std::string NodeText(pugi::xml_node node) {
    std::string text;
    if (node) {
        AppendText(node, text);
    }
    return text;
}

std::string NodeName(pugi::xml_node node) {
    return node.name();
}

void ScanDictPairs(pugi::xml_node dict,
                   const std::function<bool(pugi::xml_node key, pugi::xml_node value)>& visit) {
    // One pass over the siblings: the element children taken two at a time.
    pugi::xml_node child = dict.first_child();
    auto nextElement = [&child]() {
        while (child && child.type() != pugi::node_element) {
            child = child.next_sibling();
        }
        pugi::xml_node found = child;
        if (child) {
            child = child.next_sibling();
        }
        return found;
    };
    for (;;) {
        const pugi::xml_node key = nextElement();
        const pugi::xml_node value = nextElement();
        if (!key || !value || !visit(key, value)) {
            return;
        }
    }
}

pugi::xml_node FindDictValue(pugi::xml_node dict, std::string_view key, bool requireKeyElement) {
    pugi::xml_node result;
    ScanDictPairs(dict, [&](pugi::xml_node k, pugi::xml_node v) {
        if ((!requireKeyElement || SameTextAscii(k.name(), "key")) && SameTextAscii(NodeText(k), key)) {
            result = v;
            return false;
        }
        return true;
    });
    return result;
}

bool TPlistDocument::Load(const std::string& xmlFile) {
    std::string contents;
    return ReadWholeFile(xmlFile, contents) && LoadText(contents);
}

bool TPlistDocument::LoadText(std::string_view xml) {
    return FDoc.load_buffer(xml.data(), xml.size(), kParseFlags, pugi::encoding_auto).status ==
               pugi::status_ok &&
           IsStrictlyWellFormed(FDoc);
}

pugi::xml_node TPlistDocument::TopDict() const {
    return FirstElementChild(FDoc.document_element());
}

} // namespace kestrow
