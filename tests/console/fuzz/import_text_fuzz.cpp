// Fuzz target: any bytes as a subscriber text file, read with any of the
// window's choices, every row turned into a subscriber.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "data/import_text.h"
#include "data/subscriber_import.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    // The first byte picks the window's settings; the rest is the file.
    const uint8_t choice = data[0];
    static const char* const kSeparators[] = {"\t", " ", ";", ",", "::", "\xD0\xB6", "", "|"};
    orvel::TextImportOptions options;
    options.codePage =
        (choice & 1) ? orvel::TextCodePage::Dos866 : orvel::TextCodePage::Windows1251;
    options.repeatedSeparator = (choice & 2) != 0;
    options.separator = QString::fromUtf8(kSeparators[(choice >> 2) & 7]);
    const std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);
    const orvel::ImportTable table = orvel::parseImportText(bytes, options);
    if (!table.error.isEmpty() && !table.rows.empty())
        __builtin_trap();  // a refused file must not leave rows to import
    int id = 2;
    for (const QStringList& row : table.rows) {
        if (row.isEmpty() || row.size() > orvel::kMaxImportFields)
            __builtin_trap();
        const orvel::TUserListItem item = orvel::subscriberFromRow(row, id++, (choice >> 5) & 7);
        (void)orvel::hasDialDigits(item.phone.toString());
    }
    return 0;
}
