#include "ui/window_placement.h"

#include <QGuiApplication>
#include <QHeaderView>
#include <QScreen>
#include <QWidget>

#include "core/settings_manager.h"

namespace orvel {
namespace {

std::optional<int> readInt(const SettingsManager& s, const QString& section, const QString& key) {
    bool ok = false;
    const int v = s.readValue(section, key, QString()).toInt(&ok);
    return ok ? std::optional<int>(v) : std::nullopt;
}

QString columnKey(const QString& list, int n) {
    return list + QStringLiteral("_Col_") + QString::number(n) + QStringLiteral("_Width");
}

}  // namespace

void RestoreFormPlacement(QWidget* w, const SettingsManager& s, const QString& section, int flags) {
    const QString name = w->objectName();
    if (flags & kPlaceSize) {
        const auto width = readInt(s, section, name + QStringLiteral("_Width"));
        const auto height = readInt(s, section, name + QStringLiteral("_Height"));
        if (width && *width > 0)
            w->resize(*width, w->height());
        if (height && *height > 0)
            w->resize(w->width(), *height);
    }
    if (flags & kPlacePosition) {
        const QRect screen = QGuiApplication::primaryScreen()
                                 ? QGuiApplication::primaryScreen()->geometry()
                                 : QRect(0, 0, 1024, 768);
        const auto left = readInt(s, section, name + QStringLiteral("_Left"));
        const auto top = readInt(s, section, name + QStringLiteral("_Top"));
        if (left && *left >= 0 && *left < screen.width())
            w->move(*left, w->y());
        if (top && *top >= 0 && *top < screen.height())
            w->move(w->x(), *top);
    }
}

void SaveFormPlacement(const QWidget* w, SettingsManager& s, const QString& section, int flags) {
    const QString name = w->objectName();
    if (flags & kPlaceSize) {
        s.writeValue(section, name + QStringLiteral("_Width"), QString::number(w->width()));
        s.writeValue(section, name + QStringLiteral("_Height"), QString::number(w->height()));
    }
    if (flags & kPlacePosition) {
        s.writeValue(section, name + QStringLiteral("_Left"), QString::number(w->x()));
        s.writeValue(section, name + QStringLiteral("_Top"), QString::number(w->y()));
    }
}

void RestoreColumnWidths(QHeaderView* header, const QString& list, const SettingsManager& s,
                         const QString& section) {
    for (int n = 0; n < header->count(); ++n) {
        if (const auto v = readInt(s, section, columnKey(list, n)); v && *v > 0) {
            header->resizeSection(n, *v);
        }
    }
}

void SaveColumnWidths(const QHeaderView* header, const QString& list, SettingsManager& s,
                      const QString& section) {
    for (int n = 0; n < header->count(); ++n) {
        s.writeValue(section, columnKey(list, n), QString::number(header->sectionSize(n)));
    }
}

}  // namespace orvel
