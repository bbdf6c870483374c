#pragma once

#include <functional>
#include <string>
#include <string_view>

#include <pugixml.hpp>

namespace kestrow {

// The walk over an XML property list: element children only (text and comments are not counted),
// names and decoded text.
int ElementChildCount(pugi::xml_node node);
pugi::xml_node ElementChild(pugi::xml_node node, int index);
pugi::xml_node FirstElementChild(pugi::xml_node node);
// The node's whole text: every character-data and CDATA section below it, in document order, with
// entity and character references decoded (whitespace-only text included).
std::string NodeText(pugi::xml_node node);
std::string NodeName(pugi::xml_node node);

// Scans a <dict> as alternating key and value elements: index 0, 2, 4, ... while index < n - 1,
// so the last child of an odd count is never read as a key. `visit` returns false to stop.
void ScanDictPairs(pugi::xml_node dict,
                   const std::function<bool(pugi::xml_node key, pugi::xml_node value)>& visit);

// The value element of the first key whose text equals `key` (ASCII case-insensitive); with
// `requireKeyElement` the key element must also be named "key". Null when absent.
pugi::xml_node FindDictValue(pugi::xml_node dict, std::string_view key, bool requireKeyElement);

// An XML property list loaded into a DOM. Loading is strict where a lenient parser would hand out
// something no XML processor would: a reference to an undefined entity (a document type's own
// entities included), an invalid character reference, or more than one root element fails it.
class TPlistDocument {
public:
    bool Load(const std::string& xmlFile);
    bool LoadText(std::string_view xml);
    // The root's first element child (the top-level <dict>); null when the root has no child.
    pugi::xml_node TopDict() const;

private:
    pugi::xml_document FDoc;
};

} // namespace kestrow
