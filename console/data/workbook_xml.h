#pragma once
// Element and attribute lookups of the workbook reader: spreadsheet parts
// may carry any namespace prefix, so names compare without it.

#include <cstring>
#include <pugixml.hpp>

namespace orvel::xlsx {

inline const char* localName(const char* name) {
    const char* colon = std::strrchr(name, ':');
    return colon ? colon + 1 : name;
}

inline bool is(pugi::xml_node n, const char* name) {
    return n.type() == pugi::node_element && std::strcmp(localName(n.name()), name) == 0;
}

inline pugi::xml_node child(pugi::xml_node parent, const char* name) {
    for (pugi::xml_node n = parent.first_child(); n; n = n.next_sibling())
        if (is(n, name))
            return n;
    return {};
}

inline pugi::xml_attribute attr(pugi::xml_node n, const char* name) {
    for (pugi::xml_attribute a = n.first_attribute(); a; a = a.next_attribute())
        if (std::strcmp(localName(a.name()), name) == 0)
            return a;
    return {};
}

}  // namespace orvel::xlsx
