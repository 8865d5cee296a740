#pragma once
// Window sizes, positions and list column widths kept in the settings file.

#include <QString>

class QWidget;
class QHeaderView;

namespace orvel {

class SettingsManager;

inline constexpr int kPlaceSize = 1;
inline constexpr int kPlacePosition = 2;

void RestoreFormPlacement(QWidget* window, const SettingsManager& s, const QString& section,
                          int flags);
void SaveFormPlacement(const QWidget* window, SettingsManager& s, const QString& section,
                       int flags);
void RestoreColumnWidths(QHeaderView* header, const QString& listName, const SettingsManager& s,
                         const QString& section);
void SaveColumnWidths(const QHeaderView* header, const QString& listName, SettingsManager& s,
                      const QString& section);

}  // namespace orvel
