#include "ui/confirm_page.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "core/texts.h"
#include "ui/message_dialog.h"

namespace orvel {

TConfirmPage::TConfirmPage(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("ConfirmPage"));
    auto* top = new QVBoxLayout(this);

    auto* defaultRow = new QHBoxLayout;
    defaultRow->addWidget(new QLabel(T(textDefaultConfirm), this));
    default_ = new QComboBox(this);
    default_->setObjectName(QStringLiteral("DefaultConfirmMethod"));
    default_->addItems(methodChoiceNames());
    default_->setPlaceholderText(MethodName(kConfirmDefault));  // method 0: no choice made
    defaultRow->addWidget(default_, 1);
    top->addLayout(defaultRow);

    auto* box = new QGroupBox(T(textConfirmByPhoneMask), this);
    auto* grid = new QGridLayout(box);
    pattern_ = new QLineEdit(box);
    pattern_->setObjectName(QStringLiteral("PatternEdit"));
    pattern_->setContextMenuPolicy(Qt::NoContextMenu);  // no pasting around the key filter
    pattern_->installEventFilter(this);
    method_ = new QComboBox(box);
    method_->setObjectName(QStringLiteral("PatternMethod"));
    method_->addItems(methodChoiceNames());
    grid->addWidget(new QLabel(T(textPhoneNumber), box), 0, 0);
    grid->addWidget(new QLabel(T(textConfirmType), box), 0, 1);
    grid->addWidget(pattern_, 1, 0);
    grid->addWidget(method_, 1, 1);

    table_ = new QTreeWidget(box);
    table_->setObjectName(QStringLiteral("PatternTable"));
    table_->setRootIsDecorated(false);
    table_->setColumnCount(2);
    table_->setHeaderLabels({T(textPhoneNumber), T(textConfirmType)});
    table_->setSelectionMode(QAbstractItemView::ExtendedSelection);  // Ctrl+A selects all
    table_->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    table_->header()->setStretchLastSection(false);
    table_->header()->resizeSection(1, 220);
    grid->addWidget(table_, 2, 0, 1, 2);

    auto* buttons = new QVBoxLayout;
    add_ = new QPushButton(T(textAdd), box);
    change_ = new QPushButton(T(textChange), box);
    delete_ = new QPushButton(T(textDelete), box);
    up_ = new QPushButton(style()->standardIcon(QStyle::SP_ArrowUp), QString(), box);
    down_ = new QPushButton(style()->standardIcon(QStyle::SP_ArrowDown), QString(), box);
    add_->setObjectName(QStringLiteral("AddButton"));
    change_->setObjectName(QStringLiteral("ChangeButton"));
    delete_->setObjectName(QStringLiteral("DeleteButton"));
    up_->setObjectName(QStringLiteral("UpButton"));
    down_->setObjectName(QStringLiteral("DownButton"));
    for (QPushButton* b : {add_, change_, delete_})
        buttons->addWidget(b);
    auto* arrows = new QHBoxLayout;
    arrows->addWidget(up_);
    arrows->addWidget(down_);
    buttons->addLayout(arrows);
    buttons->addStretch();
    grid->addLayout(buttons, 1, 2, 2, 1);
    grid->setColumnStretch(0, 1);
    top->addWidget(box, 1);

    connect(pattern_, &QLineEdit::textChanged, this, [this] { updateButtons(); });
    connect(table_, &QTreeWidget::itemSelectionChanged, this, &TConfirmPage::onSelection);
    connect(add_, &QPushButton::clicked, this, &TConfirmPage::addEntry);
    connect(change_, &QPushButton::clicked, this, &TConfirmPage::changeEntries);
    connect(delete_, &QPushButton::clicked, this, &TConfirmPage::deleteEntries);
    connect(up_, &QPushButton::clicked, this, &TConfirmPage::moveUp);
    connect(down_, &QPushButton::clicked, this, &TConfirmPage::moveDown);
    connect(default_, &QComboBox::currentIndexChanged, this,
            [this](int p) { editor_.setDefaultMethod(methodFromChoice(p)); });
    updateButtons();
}

void TConfirmPage::load(const TConfirmMethodManager& manager) {
    editor_.load(manager);
    default_->setCurrentIndex(editor_.defaultMethod() - 1);  // the default 0 shows nothing
    fillTable();
}

QList<int> TConfirmPage::selectedRows() const {
    QList<int> rows;
    for (QTreeWidgetItem* item : table_->selectedItems())
        rows << table_->indexOfTopLevelItem(item);
    std::sort(rows.begin(), rows.end());
    return rows;
}

void TConfirmPage::fillTable(const QList<int>& select) {
    const QSignalBlocker block(table_);
    table_->clear();
    for (const auto& e : editor_.entries())
        table_->addTopLevelItem(new QTreeWidgetItem({e.pattern, MethodName(e.method)}));
    for (int r : select)
        if (QTreeWidgetItem* item = table_->topLevelItem(r))
            item->setSelected(true);
    onSelection();
}

void TConfirmPage::updateButtons() {
    const QList<int> rows = selectedRows();
    add_->setEnabled(TConfirmMethodEditor::canAdd(pattern_->text()));
    change_->setEnabled(!rows.isEmpty());
    delete_->setEnabled(!rows.isEmpty());
    up_->setEnabled(editor_.canMoveUp(rows));
    down_->setEnabled(editor_.canMoveDown(rows));
}

void TConfirmPage::onSelection() {
    const QList<int> rows = selectedRows();
    pattern_->setEnabled(rows.size() <= 1);
    if (rows.size() == 1) {
        const auto& e = editor_.entries()[rows.first()];
        pattern_->setText(e.pattern);
        method_->setCurrentIndex(e.method >= 1 && e.method <= 3 ? e.method - 1 : -1);
    }
    updateButtons();
}

void TConfirmPage::addEntry() {
    if (!add_->isEnabled())
        return;
    QString error;
    if (!editor_.add(pattern_->text(), methodFromChoice(method_->currentIndex()), &error)) {
        ShowMessageDialog(error, T(textError), mb::kOk, kKindError);
        pattern_->setFocus();
        return;
    }
    fillTable();
    pattern_->clear();
    pattern_->setFocus();
}

void TConfirmPage::changeEntries() {
    const QList<int> rows = selectedRows();
    if (rows.isEmpty())
        return;
    const QString text = pattern_->text();
    QString error;
    if (!editor_.change(rows, pattern_->isEnabled() ? &text : nullptr,
                        methodFromChoice(method_->currentIndex()), &error)) {
        ShowMessageDialog(error, T(textError), mb::kOk, kKindError);
        return;
    }
    fillTable(rows);
}

void TConfirmPage::deleteEntries() {
    editor_.remove(selectedRows());
    fillTable();
}

void TConfirmPage::moveUp() {
    fillTable(editor_.moveUp(selectedRows()));
}

void TConfirmPage::moveDown() {
    fillTable(editor_.moveDown(selectedRows()));
}

bool TConfirmPage::eventFilter(QObject* watched, QEvent* event) {
    if (watched == pattern_ && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->matches(QKeySequence::Paste))
            return true;
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            addEntry();
            return true;  // Enter must not close the dialog
        }
        const QString t = key->text();
        const bool control = t.isEmpty() || !t[0].isPrint();
        if (!control && !(t.size() == 1 && isPatternCharAllowed(t[0])))
            return true;
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace orvel
