#pragma once
// The program's text table: every text the operator sees is a named text with
// a built-in Russian value that a language file may replace at start.

#include <QString>

#include "core/text_ids.h"

namespace orvel {

struct TextDef {
    const char* section;
    const char* key;
    const char* builtIn;  // UTF-8
};

const TextDef& textDef(TextId id);

// Current text. textAllAbonents comes in its stored form: code 7, a blank,
// the text, a blank, code 7 (it keeps the entry apart from group names).
const QString& T(TextId id);
void setText(TextId id, const QString& text);
void resetTexts();  // back to the built-in texts

// Reads every text from a Windows-1251 language file, the built-in text
// standing in for a missing or empty key. False (texts unchanged) when the
// file cannot be read.
bool LoadLanguage(const QString& path);

// Writes a language file that sets every key to its current text: the
// template translators start from.
bool writeLanguageFile(const QString& path);

// The language file named by the language pointer (section "Language", key
// "File", relative to `exeDir`); empty when there is none or it is missing.
QString languageFileFromPointer(const QString& pointerFile, const QString& exeDir);

}  // namespace orvel
