#include "ui/language_apply.h"

#include <QAbstractButton>
#include <QAction>
#include <QGroupBox>
#include <QHash>
#include <QLabel>
#include <QMenu>
#include <QWidget>

#include "core/texts.h"

namespace orvel {
namespace {

constexpr char kBuiltInProperty[] = "orvelBuiltInText";

// Built-in text -> first text id with it.
const QHash<QString, TextId>& builtInIndex() {
    static const QHash<QString, TextId> index = [] {
        QHash<QString, TextId> h;
        for (int i = 0; i < kTextCount; ++i) {
            const QString b = QString::fromUtf8(textDef(TextId(i)).builtIn);
            if (!h.contains(b))
                h.insert(b, TextId(i));
        }
        return h;
    }();
    return index;
}

// Captions may carry an ellipsis ("Печать...") that is not part of the text.
template <typename Get, typename Set>
void translate(QObject* o, const Get& get, const Set& set) {
    QVariant stored = o->property(kBuiltInProperty);
    QString builtIn = stored.isValid() ? stored.toString() : get();
    if (!stored.isValid())
        o->setProperty(kBuiltInProperty, builtIn);
    QString suffix;
    QString core = builtIn;
    if (core.endsWith(QStringLiteral("..."))) {
        core.chop(3);
        suffix = QStringLiteral("...");
    }
    const auto it = builtInIndex().find(core);
    if (it != builtInIndex().end())
        set(T(it.value()) + suffix);
}

}  // namespace

void applyLanguage(QWidget* window) {
    if (!window)
        return;
    translate(
        window, [&] { return window->windowTitle(); },
        [&](const QString& t) { window->setWindowTitle(t); });
    for (QAbstractButton* b : window->findChildren<QAbstractButton*>()) {
        translate(
            b, [&] { return b->text(); }, [&](const QString& t) { b->setText(t); });
    }
    for (QLabel* l : window->findChildren<QLabel*>()) {
        if (l->objectName() == QLatin1String("message"))
            continue;
        translate(
            l, [&] { return l->text(); }, [&](const QString& t) { l->setText(t); });
    }
    for (QGroupBox* g : window->findChildren<QGroupBox*>()) {
        translate(
            g, [&] { return g->title(); }, [&](const QString& t) { g->setTitle(t); });
    }
    for (QAction* a : window->findChildren<QAction*>()) {
        translate(
            a, [&] { return a->text(); }, [&](const QString& t) { a->setText(t); });
    }
    for (QMenu* m : window->findChildren<QMenu*>()) {
        translate(
            m, [&] { return m->title(); }, [&](const QString& t) { m->setTitle(t); });
    }
}

}  // namespace orvel
