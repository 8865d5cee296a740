#include "ui/record_panel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QStackedWidget>
#include <QTimeEdit>
#include <QToolButton>

#include "core/confirm_methods.h"
#include "core/texts.h"
#include "data/column_list.h"
#include "ui/phone_key_filter.h"

namespace orvel {
namespace {

constexpr int kNameLength = 40;
constexpr int kPhoneLength = 30;
constexpr int kCommentLength = 50;
const QColor kViewingColour(181, 213, 251);
const QColor kEditingColour(241, 251, 255);

QString prefixCaption(int prefix) {
    return prefix == 0 ? QStringLiteral("n/a") : QStringLiteral("#%1").arg(prefix);
}

QTime timeOf(int seconds) {
    return QTime(0, 0).addSecs(seconds);
}

QString hmm(int seconds) {
    return timeOf(seconds).toString(QStringLiteral("h:mm"));
}

QLineEdit* readOnlyText(QWidget* parent) {
    auto* e = new QLineEdit(parent);
    e->setReadOnly(true);
    return e;
}

}  // namespace

TfrRecordInterface::TfrRecordInterface(QWidget* parent) : QFrame(parent) {
    setObjectName(QStringLiteral("frRecordInterface"));
    setAutoFillBackground(true);
    grid_ = new QGridLayout(this);
    int row = 0;
    auto addRow = [&](const QString& label, QWidget* field) {
        grid_->addWidget(new QLabel(label, this), row, 0);
        grid_->addWidget(field, row++, 1);
    };

    name_ = new QLineEdit(this);
    name_->setMaxLength(kNameLength);
    addRow(T(textAbonent), name_);

    auto* phoneRow = new QWidget(this);
    auto* phoneLayout = new QHBoxLayout(phoneRow);
    phoneLayout->setContentsMargins(0, 0, 0, 0);
    prefix_ = new QToolButton(phoneRow);
    prefix_->setObjectName(QStringLiteral("PrefixButton"));
    prefix_->setPopupMode(QToolButton::InstantPopup);
    auto* prefixMenu = new QMenu(prefix_);
    prefixMenu->addAction(T(textNoPrefix), this, [this] { setPrefix(0); });
    for (int p = 1; p <= 3; ++p) {
        prefixMenu->addAction(T(textPrefix) + QStringLiteral(" #%1").arg(p), this,
                              [this, p] { setPrefix(p); });
    }
    prefix_->setMenu(prefixMenu);
    prefix_->setMinimumWidth(40);
    phone_ = new QLineEdit(phoneRow);
    phone_->setMaxLength(kPhoneLength);
    phoneLayout->addWidget(prefix_);
    phoneLayout->addWidget(phone_, 1);
    addRow(TColumnList::defaultCaption(1), phoneRow);
    hint_ = new QLabel(this);
    hint_->setObjectName(QStringLiteral("PhoneHint"));
    hint_->setWordWrap(true);
    hint_->setStyleSheet(QStringLiteral("color: #b00000"));
    new PhoneKeyFilter(phone_, hint_);
    grid_->addWidget(hint_, row++, 1);

    timeStack_ = new QStackedWidget(this);
    timeText_ = readOnlyText(timeStack_);
    auto* timeEdit = new QWidget(timeStack_);
    auto* timeLayout = new QHBoxLayout(timeEdit);
    timeLayout->setContentsMargins(0, 0, 0, 0);
    timeOn_ = new QCheckBox(timeEdit);
    from_ = new QTimeEdit(timeEdit);
    to_ = new QTimeEdit(timeEdit);
    for (QTimeEdit* t : {from_, to_})
        t->setDisplayFormat(QStringLiteral("HH:mm"));
    timeLayout->addWidget(timeOn_);
    timeLayout->addWidget(from_, 1);
    timeLayout->addWidget(new QLabel(QStringLiteral("-"), timeEdit));
    timeLayout->addWidget(to_, 1);
    timeStack_->addWidget(timeText_);
    timeStack_->addWidget(timeEdit);
    timeStack_->setFixedHeight(timeEdit->sizeHint().height());
    addRow(T(textTime), timeStack_);

    lineStack_ = new QStackedWidget(this);
    lineText_ = readOnlyText(lineStack_);
    line_ = new QComboBox(lineStack_);
    lineStack_->addWidget(lineText_);
    lineStack_->addWidget(line_);
    lineStack_->setFixedHeight(line_->sizeHint().height());
    addRow(T(textLine), lineStack_);

    comment_ = new QLineEdit(this);
    comment_->setMaxLength(kCommentLength);
    connect(comment_, &QLineEdit::textEdited, this, [this] { commentTyped_ = true; });
    addRow(T(textComment), comment_);

    confirmStack_ = new QStackedWidget(this);
    confirmText_ = readOnlyText(confirmStack_);
    confirm_ = new QComboBox(confirmStack_);
    confirm_->addItems(methodChoiceNames());
    confirm_->addItem(MethodName(kConfirmDefault));
    confirmStack_->addWidget(confirmText_);
    confirmStack_->addWidget(confirm_);
    confirmStack_->setFixedHeight(confirm_->sizeHint().height());
    addRow(T(textConfirmation), confirmStack_);

    // Rows of the additional fields go here, then the group.
    grid_->setRowStretch(row + 1, 0);
    groupLabel_ = new QLabel(T(textGroup), this);
    group_ = new QComboBox(this);
    group_->setEditable(true);
    group_->setObjectName(QStringLiteral("GroupBox"));
    connect(group_, &QComboBox::activated, this, [this] { groupTouched_ = true; });
    connect(group_->lineEdit(), &QLineEdit::textEdited, this, [this] { groupTouched_ = true; });
    grid_->addWidget(groupLabel_, 20, 0);
    grid_->addWidget(group_, 20, 1);
    grid_->setRowStretch(21, 1);
    grid_->setColumnStretch(1, 1);
    setGroupVisible(false);

    for (QLineEdit* e : {name_, phone_}) {
        connect(e, &QLineEdit::textChanged, this, [this] { emit applyableChanged(canApply()); });
    }
    clearValues();
    setMode(kViewing);
}

void TfrRecordInterface::setExtraFields(const QStringList& captions, const QList<int>& lengths) {
    const RecordEditorValues keep = values();
    qDeleteAll(extraLabels_);
    qDeleteAll(extra_);
    extraLabels_.clear();
    extra_.clear();
    for (int i = 0; i < captions.size(); ++i) {
        auto* label = new QLabel(captions[i], this);
        auto* edit = new QLineEdit(this);
        edit->setMaxLength(qMax(1, lengths.value(i, 254)));
        grid_->addWidget(label, 8 + i, 0);
        grid_->addWidget(edit, 8 + i, 1);
        extraLabels_ << label;
        extra_ << edit;
    }
    showValues(keep);
    updateLook();
}

void TfrRecordInterface::setLabelsWidth(int width) {
    grid_->setColumnMinimumWidth(0, qBound(0, width, 1000));
}

int TfrRecordInterface::labelsWidth() const {
    const int laidOut = grid_->cellRect(0, 0).width();
    return laidOut > 0 ? laidOut : grid_->columnMinimumWidth(0);
}

void TfrRecordInterface::setLineCount(int count) {
    lineCount_ = qMax(0, count);
    line_->clear();
    line_->addItem(QString());
    for (int i = 1; i <= lineCount_; ++i)
        line_->addItem(QString::number(i));
    line_->setCurrentIndex(shown_.line + 1 < line_->count() ? shown_.line + 1 : 0);
}

void TfrRecordInterface::setGroups(const QStringList& names) {
    const QString text = group_->currentText();
    group_->clear();
    group_->addItems(names);
    group_->setEditText(text);
}

void TfrRecordInterface::setPrefix(int prefix) {
    prefixValue_ = prefix;
    prefix_->setText(prefixCaption(prefix));
}

int TfrRecordInterface::confirmChoice() const {
    const int m = shown_.confirmMethod;
    return m >= 1 && m <= 3 ? m - 1 : 3;
}

void TfrRecordInterface::showValues(const RecordEditorValues& v) {
    shown_ = v;
    name_->setText(v.name);
    phone_->setText(v.number);
    setPrefix(v.prefix);
    comment_->setText(v.comment);
    for (int i = 0; i < extra_.size(); ++i)
        extra_[i]->setText(v.extra.value(i));
    refreshTexts();
    if (mode_ != kViewing) {
        timeOn_->setChecked(v.timeOn);
        from_->setTime(timeOf(v.timeStart));
        to_->setTime(timeOf(v.timeEnd));
        line_->setCurrentIndex(v.line + 1 < line_->count() ? v.line + 1 : 0);
        confirm_->setCurrentIndex(confirmChoice());
    }
}

void TfrRecordInterface::clearValues() {
    RecordEditorValues v;
    v.confirmMethod = kConfirmDefault;
    v.extra = QStringList();
    for (int i = 0; i < extra_.size(); ++i)
        v.extra << QString();
    showValues(v);
}

void TfrRecordInterface::refreshTexts() {
    timeText_->setText(shown_.timeOn ? hmm(shown_.timeStart) + QStringLiteral(" - ") +
                                           hmm(shown_.timeEnd)
                                     : QString());
    lineText_->setText(shown_.line >= 0 ? QString::number(shown_.line + 1) : QString());
    confirmText_->setText(MethodName(shown_.confirmMethod));
}

RecordEditorValues TfrRecordInterface::values() const {
    RecordEditorValues v = shown_;
    v.name = name_->text();
    v.number = phone_->text();
    v.prefix = prefixValue_;
    v.comment = comment_->text();
    v.commentTyped = commentTyped_;
    v.extra.clear();
    for (QLineEdit* e : extra_)
        v.extra << e->text();
    if (mode_ != kViewing) {
        v.timeOn = timeOn_->isChecked();
        v.timeStart = QTime(0, 0).secsTo(from_->time());
        v.timeEnd = QTime(0, 0).secsTo(to_->time());
        const int lineIndex = line_->currentIndex();
        v.line = lineIndex > 0 ? lineIndex - 1 : -1;
        const int c = confirm_->currentIndex();
        v.confirmMethod = methodFromChoice(c);
    }
    v.group = group_->currentText().trimmed();
    v.groupTouched = groupTouched_;
    return v;
}

QString TfrRecordInterface::shownName() const {
    return name_->text();
}

void TfrRecordInterface::setMode(int mode) {
    const int before = mode_;
    if (mode != kViewing && before == kViewing) {
        // Entering an editing mode: the pickers and lists from the shown texts.
        mode_ = mode;
        commentTyped_ = false;
        showValues(shown_);
    } else if (mode == kViewing && before != kViewing) {
        shown_ = values();
        mode_ = mode;
        refreshTexts();
    }
    mode_ = mode;
    hint_->hide();
    updateLook();
    emit applyableChanged(canApply());
}

void TfrRecordInterface::updateLook() {
    const bool editing = mode_ != kViewing;
    QPalette pal = palette();
    pal.setColor(QPalette::Window, editing ? kEditingColour : kViewingColour);
    setPalette(pal);
    setFrameStyle(editing ? QFrame::StyledPanel | QFrame::Sunken : QFrame::NoFrame);
    name_->setReadOnly(mode_ != kEditOne);
    phone_->setReadOnly(mode_ != kEditOne);
    name_->setEnabled(mode_ != kEditSeveral);
    phone_->setEnabled(mode_ != kEditSeveral);
    prefix_->setEnabled(mode_ == kEditOne);
    comment_->setReadOnly(!editing);
    for (QLineEdit* e : extra_)
        e->setReadOnly(!editing);
    timeStack_->setCurrentIndex(editing ? 1 : 0);
    lineStack_->setCurrentIndex(editing ? 1 : 0);
    confirmStack_->setCurrentIndex(editing ? 1 : 0);
    for (QLineEdit* e : findChildren<QLineEdit*>())
        e->setFrame(editing || e->parentWidget() == group_);
}

void TfrRecordInterface::setGroupVisible(bool visible) {
    groupLabel_->setVisible(visible);
    group_->setVisible(visible);
}

bool TfrRecordInterface::groupVisible() const {
    return !group_->isHidden();
}

void TfrRecordInterface::setGroupText(const QString& name) {
    group_->setEditText(name);
    groupTouched_ = false;
}

bool TfrRecordInterface::canApply() const {
    if (mode_ == kEditOne)
        return !name_->text().trimmed().isEmpty() && !phone_->text().trimmed().isEmpty();
    return mode_ == kEditSeveral;
}

}  // namespace orvel
