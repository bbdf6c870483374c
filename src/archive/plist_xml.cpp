#include "archive/plist_xml.h"

#include "platform/text.h"

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

std::string NodeText(pugi::xml_node node) {
    return node.text().get();
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
        if ((!requireKeyElement || SameTextAscii(k.name(), "key")) && SameTextAscii(k.text().get(), key)) {
            result = v;
            return false;
        }
        return true;
    });
    return result;
}

bool TPlistDocument::Load(const std::string& xmlFile) {
    return FDoc.load_file(xmlFile.c_str(), pugi::parse_default, pugi::encoding_auto).status ==
           pugi::status_ok;
}

pugi::xml_node TPlistDocument::TopDict() const {
    return FirstElementChild(FDoc.document_element());
}

} // namespace kestrow
