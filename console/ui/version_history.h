#pragma once
// The program's version history, as the about window shows it when the
// version label is clicked.

#include <QString>

namespace orvel {

QString versionHistoryText();

}  // namespace orvel
