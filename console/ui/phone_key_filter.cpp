#include "ui/phone_key_filter.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>

#include "data/user_list_item.h"

namespace orvel {

PhoneKeyFilter::PhoneKeyFilter(QLineEdit* field, QLabel* hint)
    : QObject(field), field_(field), hint_(hint) {
    field->installEventFilter(this);
    // Pasting by the mouse or by dropping would bypass the keys.
    field->setContextMenuPolicy(Qt::NoContextMenu);
    field->setAcceptDrops(false);
    if (hint_) {
        hint_->setText(phoneCharHint());
        hint_->hide();
    }
}

bool PhoneKeyFilter::eventFilter(QObject* watched, QEvent* event) {
    if (watched != field_ || event->type() != QEvent::KeyPress)
        return QObject::eventFilter(watched, event);
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->matches(QKeySequence::Paste) ||
        (key->key() == Qt::Key_Insert && key->modifiers() & Qt::ShiftModifier)) {
        return true;
    }
    const QString text = key->text();
    if (text.isEmpty() || text.at(0) < QChar(' ') || key->modifiers() & Qt::ControlModifier)
        return false;  // control keys: moving, deleting, shortcuts
    const std::optional<QChar> accepted = acceptPhoneKey(text.at(0));
    if (!accepted) {
        if (hint_)
            hint_->show();
        return true;
    }
    if (hint_)
        hint_->hide();
    if (*accepted != text.at(0)) {
        field_->insert(QString(*accepted));
        return true;
    }
    return false;
}

}  // namespace orvel
