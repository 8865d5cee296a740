#pragma once

#include <QDialog>
#include <memory>

#include "data/restructure_model.h"

class QTableWidget;
class QPushButton;

namespace orvel {

class SettingsManager;
class TUserList;

// "Редактор структуры базы абонентов": the columns of the subscriber table.
class TRestructure : public QDialog {
    Q_OBJECT
public:
    TRestructure(TUserList& list, SettingsManager& settings, QWidget* parent = nullptr);
    RestructureOutcome outcome() const { return outcome_; }

    QTableWidget* grid() const { return grid_; }
    QPushButton* addButton() const { return add_; }
    QPushButton* applyButton() const { return apply_; }

private:
    void refill(int select);
    void updateButtons();
    void cellChanged(int row, int column);
    void onAdd();
    void onDelete();
    void onMove(int delta);
    void onApply();

    TUserList& list_;
    SettingsManager& settings_;
    TRestructureModel model_;
    QTableWidget* grid_;
    QPushButton *add_, *delete_, *up_, *down_, *apply_, *cancel_;
    RestructureOutcome outcome_ = RestructureOutcome::Declined;
    bool filling_ = false;
};

}  // namespace orvel
