// Fuzz target: any bytes as a settings or language file: the ini reader with
// its Windows-1251 conversion, every value read, written back and read again,
// and the same bytes loaded as a language file.
#include <cstdlib>

#include "core/cp1251.h"
#include "core/ini_file.h"
#include "core/texts.h"
#include "fuzz_file.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Windows-1251 maps every byte: decoding and encoding give the bytes back.
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    if (orvel::cp1251::encode(orvel::cp1251::decode(bytes)) !=
        QByteArray::fromRawData(bytes.data(), qsizetype(bytes.size())))
        std::abort();

    const QString path = orvel::fuzz::writeInput(QStringLiteral("Fuzz.ini"), data, size);
    if (path.isEmpty())
        return 0;
    orvel::IniFile ini(path);
    if (ini.load()) {
        for (const QString& section : ini.sections())
            for (const auto& [key, value] : ini.entries(section))
                (void)ini.value(section, key);
        ini.setValue(QStringLiteral("ID_SETTINGS"), QStringLiteral("SID_FUZZ"),
                     QStringLiteral("значение"));
        if (ini.save()) {
            orvel::IniFile again(path);
            if (!again.load() ||
                again.value(QStringLiteral("ID_SETTINGS"), QStringLiteral("SID_FUZZ")) !=
                    QStringLiteral("значение"))
                std::abort();
        }
    }
    const QString lng = orvel::fuzz::writeInput(QStringLiteral("Fuzz.lng"), data, size);
    if (!lng.isEmpty())
        (void)orvel::LoadLanguage(lng);
    orvel::resetTexts();
    return 0;
}
