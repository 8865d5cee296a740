#pragma once
// The cell formats of an Office Open XML workbook as the reader needs them:
// per format index the font's bold and italic, the borders, the alignment and
// whether the number format shows a date.

#include <vector>

#include "data/workbook_reader.h"

namespace pugi {
class xml_node;
}

namespace orvel {

struct TCellStyle {
    bool bold = false;
    bool italic = false;
    bool wrap = false;
    bool isDate = false;
    THorizontalAlign align = THorizontalAlign::General;
    TCellBorders borders;
};

class TWorkbookStyles {
public:
    // Reads the styles part's root element; whatever is missing or
    // malformed stays at the default format.
    void read(pugi::xml_node styleSheet);
    // The format of an index; the default one for an index out of range.
    const TCellStyle& cellStyle(int index) const;

private:
    std::vector<TCellStyle> styles_;
    TCellStyle default_;
};

// Whether a number format code shows a date or a time (quoted text,
// escaped characters and bracketed colours or conditions left out).
bool isDateFormatCode(const char* code);
// The same for the format's built-in numbers.
bool isBuiltinDateFormat(int id);

}  // namespace orvel
