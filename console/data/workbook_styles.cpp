#include "data/workbook_styles.h"

#include <cstring>
#include <map>
#include <pugixml.hpp>

#include "data/workbook_xml.h"

namespace orvel {

namespace {

// The styles part is small; these limits only keep a hostile one from
// making the per-index tables huge.
constexpr int kMaxFormats = 65536;

using xlsx::child;
using xlsx::is;

// An element's children of one name, at most kMaxFormats of them.
std::vector<pugi::xml_node> children(pugi::xml_node parent, const char* name) {
    std::vector<pugi::xml_node> out;
    for (pugi::xml_node n = parent.first_child(); n && int(out.size()) < kMaxFormats;
         n = n.next_sibling())
        if (is(n, name))
            out.push_back(n);
    return out;
}

// <b/>, <b val="1"/>, <b val="true"/> are on; <b val="0"/> is off.
bool flag(pugi::xml_node font, const char* name) {
    pugi::xml_node n = child(font, name);
    return n && n.attribute("val").as_bool(true);
}

TBorderLine borderLine(pugi::xml_node side) {
    const char* style = side.attribute("style").value();
    if (*style == '\0' || std::strcmp(style, "none") == 0)
        return TBorderLine::None;
    if (std::strcmp(style, "medium") == 0 || std::strcmp(style, "mediumDashed") == 0 ||
        std::strcmp(style, "mediumDashDot") == 0 || std::strcmp(style, "mediumDashDotDot") == 0 ||
        std::strcmp(style, "slantDashDot") == 0)
        return TBorderLine::Medium;
    if (std::strcmp(style, "thick") == 0)
        return TBorderLine::Thick;
    if (std::strcmp(style, "double") == 0)
        return TBorderLine::Double;
    if (std::strcmp(style, "dashed") == 0 || std::strcmp(style, "dashDot") == 0 ||
        std::strcmp(style, "dashDotDot") == 0)
        return TBorderLine::Dashed;
    if (std::strcmp(style, "dotted") == 0 || std::strcmp(style, "hair") == 0)
        return TBorderLine::Dotted;
    return TBorderLine::Thin;
}

TCellBorders borders(pugi::xml_node b) {
    TCellBorders out;
    pugi::xml_node left = child(b, "left"), right = child(b, "right");
    if (!left)
        left = child(b, "start");
    if (!right)
        right = child(b, "end");
    out.left = borderLine(left);
    out.right = borderLine(right);
    out.top = borderLine(child(b, "top"));
    out.bottom = borderLine(child(b, "bottom"));
    return out;
}

THorizontalAlign alignment(pugi::xml_node xf) {
    const char* h = child(xf, "alignment").attribute("horizontal").value();
    if (std::strcmp(h, "left") == 0)
        return THorizontalAlign::Left;
    if (std::strcmp(h, "center") == 0 || std::strcmp(h, "centerContinuous") == 0)
        return THorizontalAlign::Center;
    if (std::strcmp(h, "right") == 0)
        return THorizontalAlign::Right;
    return THorizontalAlign::General;
}

}  // namespace

bool isBuiltinDateFormat(int id) {
    return (id >= 14 && id <= 22) || (id >= 27 && id <= 36) || (id >= 45 && id <= 47) ||
           (id >= 50 && id <= 58);
}

bool isDateFormatCode(const char* code) {
    for (const char* p = code; *p; ++p) {
        switch (*p) {
            case '"': {  // quoted text
                const char* end = std::strchr(p + 1, '"');
                if (!end)
                    return false;
                p = end;
                break;
            }
            case '\\':  // one escaped character
            case '_':   // space as wide as the next character
            case '*':   // fill with the next character
                if (p[1] == '\0')
                    return false;
                ++p;
                break;
            case '[': {  // colour, condition or locale; elapsed time [h] [mm] [ss]
                const char* end = std::strchr(p + 1, ']');
                if (!end)
                    return false;
                const char c = char(p[1] | 0x20);
                if ((c == 'h' || c == 'm' || c == 's') && end - p >= 2) {
                    bool elapsed = true;
                    for (const char* q = p + 1; q < end; ++q)
                        elapsed = elapsed && (*q | 0x20) == c;
                    if (elapsed)
                        return true;
                }
                p = end;
                break;
            }
            case ';':  // only the first section decides
                return false;
            default: {
                const char c = char(*p | 0x20);
                if (c == 'd' || c == 'm' || c == 'y' || c == 'h' || c == 's')
                    return true;
            }
        }
    }
    return false;
}

void TWorkbookStyles::read(pugi::xml_node styleSheet) {
    std::map<int, bool> customDate;
    for (pugi::xml_node f : children(child(styleSheet, "numFmts"), "numFmt"))
        customDate[f.attribute("numFmtId").as_int(-1)] =
            isDateFormatCode(f.attribute("formatCode").value());

    std::vector<std::pair<bool, bool>> fonts;
    for (pugi::xml_node f : children(child(styleSheet, "fonts"), "font"))
        fonts.emplace_back(flag(f, "b"), flag(f, "i"));
    std::vector<TCellBorders> borderList;
    for (pugi::xml_node b : children(child(styleSheet, "borders"), "border"))
        borderList.push_back(borders(b));

    styles_.clear();
    for (pugi::xml_node xf : children(child(styleSheet, "cellXfs"), "xf")) {
        TCellStyle s;
        const int font = xf.attribute("fontId").as_int(0);
        if (font >= 0 && font < int(fonts.size())) {
            s.bold = fonts[size_t(font)].first;
            s.italic = fonts[size_t(font)].second;
        }
        const int border = xf.attribute("borderId").as_int(0);
        if (border >= 0 && border < int(borderList.size()))
            s.borders = borderList[size_t(border)];
        const int fmt = xf.attribute("numFmtId").as_int(0);
        const auto custom = customDate.find(fmt);
        s.isDate = custom != customDate.end() ? custom->second : isBuiltinDateFormat(fmt);
        s.align = alignment(xf);
        s.wrap = child(xf, "alignment").attribute("wrapText").as_bool();
        styles_.push_back(s);
    }
}

const TCellStyle& TWorkbookStyles::cellStyle(int index) const {
    if (index >= 0 && index < int(styles_.size()))
        return styles_[size_t(index)];
    return default_;
}

}  // namespace orvel
