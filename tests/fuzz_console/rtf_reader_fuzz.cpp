// Fuzz target: any bytes as a message text file. The reader either refuses
// with a reason or returns no more characters than the file has bytes.
#include <QByteArray>
#include <QString>
#include <cstdint>
#include <cstdlib>

#include "media/rtf_text.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    QString error;
    const auto text = orvel::rtfToPlainText(bytes, &error);
    if (!text && error.isEmpty())
        std::abort();
    if (text && text->size() > qsizetype(size))
        std::abort();
    // What is read can be written and read back unchanged, but for the
    // characters the writer drops (control characters).
    if (text) {
        QString kept;
        for (QChar c : *text) {
            if (c.unicode() >= 0x20 || c == QLatin1Char('\n') || c == QLatin1Char('\t'))
                kept.append(c);
        }
        // U+2028/2029 are written as paragraph marks.
        kept.replace(QChar(0x2028), QLatin1Char('\n')).replace(QChar(0x2029), QLatin1Char('\n'));
        QString again;
        const auto back = orvel::rtfToPlainText(orvel::plainTextToRtf(kept), &again);
        if (!back || *back != kept)
            std::abort();
    }
    return 0;
}
