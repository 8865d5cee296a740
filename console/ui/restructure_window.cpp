#include "ui/restructure_window.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QVBoxLayout>

#include "core/texts.h"
#include "data/user_list.h"
#include "diag/system_log.h"
#include "ui/language_apply.h"
#include "ui/message_dialog.h"

namespace orvel {
namespace {

// Caption cells edit in a line of at most 20 characters, length cells in a
// spin box from 4 to 254.
class CellDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&,
                          const QModelIndex& index) const override {
        if (index.column() == 2) {
            auto* spin = new QSpinBox(parent);
            spin->setRange(kAdditionalFieldMinLength, kAdditionalFieldMaxLength);
            return spin;
        }
        auto* edit = new QLineEdit(parent);
        edit->setMaxLength(20);
        return edit;
    }
};

}  // namespace

TRestructure::TRestructure(TUserList& list, SettingsManager& settings, QWidget* parent)
    : QDialog(parent), list_(list), settings_(settings), model_(list.columns()) {
    setObjectName(QStringLiteral("Restruct"));
    setWindowTitle(T(textAbonentsEditor));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    grid_ = new QTableWidget(0, 3, this);
    grid_->setHorizontalHeaderLabels({QStringLiteral("#"), T(textCaption), T(textSize)});
    grid_->verticalHeader()->hide();
    grid_->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid_->setEditTriggers(QAbstractItemView::CurrentChanged | QAbstractItemView::SelectedClicked);
    grid_->setItemDelegate(new CellDelegate(grid_));
    grid_->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);
    grid_->setColumnWidth(0, 36);
    grid_->setColumnWidth(2, 70);

    add_ = new QPushButton(T(textAdd), this);
    delete_ = new QPushButton(T(textDelete), this);
    up_ = new QPushButton(T(textUp), this);
    down_ = new QPushButton(T(textDown), this);
    apply_ = new QPushButton(T(textApply), this);
    cancel_ = new QPushButton(T(textCancelia), this);
    auto* side = new QVBoxLayout;
    for (QPushButton* b : {add_, delete_, up_, down_})
        side->addWidget(b);
    side->addStretch();
    side->addWidget(apply_);
    side->addWidget(cancel_);
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(grid_, 1);
    layout->addLayout(side);
    resize(460, 420);

    connect(add_, &QPushButton::clicked, this, &TRestructure::onAdd);
    connect(delete_, &QPushButton::clicked, this, &TRestructure::onDelete);
    connect(up_, &QPushButton::clicked, this, [this] { onMove(-1); });
    connect(down_, &QPushButton::clicked, this, [this] { onMove(1); });
    connect(apply_, &QPushButton::clicked, this, &TRestructure::onApply);
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
    connect(grid_, &QTableWidget::cellChanged, this, &TRestructure::cellChanged);
    connect(grid_, &QTableWidget::itemSelectionChanged, this, &TRestructure::updateButtons);
    refill(0);
    applyLanguage(this);
}

void TRestructure::refill(int select) {
    filling_ = true;
    grid_->setRowCount(model_.rowCount());
    for (int i = 0; i < model_.rowCount(); ++i) {
        const auto& r = model_.row(i);
        auto* number = new QTableWidgetItem(QString::number(i + 1));
        auto* caption = new QTableWidgetItem(r.caption);
        auto* length = new QTableWidgetItem(QString::number(r.length));
        number->setFlags(number->flags() & ~Qt::ItemIsEditable);
        if (!model_.canEdit(i)) {
            caption->setFlags(caption->flags() & ~Qt::ItemIsEditable);
            length->setFlags(length->flags() & ~Qt::ItemIsEditable);
            for (auto* it : {number, caption, length})
                it->setForeground(Qt::darkGray);
        }
        grid_->setItem(i, 0, number);
        grid_->setItem(i, 1, caption);
        grid_->setItem(i, 2, length);
    }
    filling_ = false;
    if (select >= 0 && select < model_.rowCount())
        grid_->selectRow(select);
    updateButtons();
}

void TRestructure::updateButtons() {
    const int row = grid_->currentRow();
    const auto selected = grid_->selectionModel()->selectedRows();
    bool anyEditable = false;
    for (const auto& idx : selected)
        anyEditable = anyEditable || model_.canEdit(idx.row());
    delete_->setEnabled(anyEditable);
    up_->setEnabled(model_.canMoveUp(row));
    down_->setEnabled(model_.canMoveDown(row));
}

void TRestructure::cellChanged(int row, int column) {
    if (filling_)
        return;
    const QString text = grid_->item(row, column)->text();
    if (column == 1)
        model_.setCaption(row, text);
    if (column == 2)
        model_.setLength(row, text);
    refill(row);
}

void TRestructure::onAdd() {
    if (!model_.addRow()) {
        ShowMessageDialog(TRestructureModel::tooManyFieldsText(), T(textWarning) + QLatin1Char('!'),
                          mb::kOk, kKindWarning);
        return;
    }
    refill(model_.rowCount() - 1);
}

void TRestructure::onDelete() {
    QList<int> rows;
    for (const auto& idx : grid_->selectionModel()->selectedRows())
        rows << idx.row();
    model_.removeRows(rows);
    refill(std::min(rows.isEmpty() ? 0 : rows.first(), model_.rowCount() - 1));
}

void TRestructure::onMove(int delta) {
    const int row = grid_->currentRow();
    if (delta < 0)
        model_.moveUp(row);
    else
        model_.moveDown(row);
    refill(row + delta);
}

void TRestructure::onApply() {
    WidgetMessageDialog dialog;
    RestructureHooks hooks;
    hooks.writeLog = [](const QString& text, int level) { WriteSystemLog(text, level); };
    hooks.busy = [](bool on) {
        if (on)
            QApplication::setOverrideCursor(Qt::WaitCursor);
        else
            QApplication::restoreOverrideCursor();
    };
    outcome_ = applyRestructure(model_, list_, settings_, dialog, hooks);
    if (outcome_ == RestructureOutcome::Failed) {
        ShowMessageDialog(
            T(textDatabaseStructChanging) + QStringLiteral(": ") + T(textError) + QLatin1Char('!'),
            T(textError) + QLatin1Char('!'), mb::kOk, kKindError);
    }
    accept();
}

}  // namespace orvel
