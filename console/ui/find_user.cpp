#include "ui/find_user.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "core/texts.h"
#include "data/user_list.h"
#include "data/user_list_ops.h"

namespace orvel {

namespace {
constexpr int kTickMs = 750;
}

TFindUser::TFindUser(const TUserList& list, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowStaysOnTopHint), list_(list) {
    setObjectName(QStringLiteral("FindUser"));
    setWindowTitle(T(textSearchAbonent));
    auto* layout = new QVBoxLayout(this);
    column_ = new QComboBox(this);
    text_ = new QLineEdit(this);
    layout->addWidget(column_);
    layout->addWidget(text_);
    auto* buttons = new QHBoxLayout;
    auto* close = new QPushButton(T(textClose), this);
    buttons->addStretch();
    buttons->addWidget(close);
    layout->addLayout(buttons);
    connect(close, &QPushButton::clicked, this, &QDialog::close);
    connect(text_, &QLineEdit::textChanged, this, [this] { searched_ = false; });
    connect(column_, &QComboBox::currentIndexChanged, this, [this](int c) {
        searched_ = false;
        text_->setMaxLength(qMax(1, lengths_.value(c, 254)));
    });
    timer_ = new QTimer(this);
    timer_->setInterval(kTickMs);
    connect(timer_, &QTimer::timeout, this, &TFindUser::tick);
    setMinimumWidth(320);
}

void TFindUser::setColumns(const QStringList& captions, const QList<int>& lengths) {
    lengths_ = lengths;
    column_->clear();
    column_->addItems(captions);
    column_->setCurrentIndex(0);
}

void TFindUser::showEvent(QShowEvent* event) {
    text_->clear();
    searched_ = false;
    previous_ = QStringLiteral("\x01");  // the first tick only notes the text
    timer_->start();
    QDialog::showEvent(event);
}

void TFindUser::tick() {
    const QString text = text_->text();
    if (text != previous_) {
        previous_ = text;
        return;
    }
    if (searched_)
        return;
    searched_ = true;
    const int row = findSubscriber(list_, column_->currentIndex(), text);
    if (row >= 0 && onFound)
        onFound(row);
}

}  // namespace orvel
