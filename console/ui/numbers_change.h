#pragma once
// "Замена номеров": replaces the first digits of the subscribers' numbers
// (all, or the selected ones) by another text.

#include <QDialog>
#include <functional>

class QLineEdit;
class QProgressBar;
class QRadioButton;
class QSpinBox;

namespace orvel {

class TUserList;

class TNumbersChange : public QDialog {
    Q_OBJECT
public:
    TNumbersChange(TUserList& list, QWidget* parent = nullptr);
    // The rows selected in the main list, in list order.
    std::function<QList<int>()> selectedRows;
    QSpinBox* digits() const { return digits_; }
    QLineEdit* replacement() const { return replace_; }
    QRadioButton* allRecords() const { return all_; }
    QRadioButton* selectedOnly() const { return selected_; }
    // "Применить": true when numbers were replaced.
    bool apply();

private:
    TUserList& list_;
    QSpinBox* digits_;
    QLineEdit* replace_;
    QRadioButton* all_;
    QRadioButton* selected_;
    QProgressBar* progress_;
};

}  // namespace orvel
