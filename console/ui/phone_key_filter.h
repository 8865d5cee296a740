#pragma once
// The key filter of telephone fields: typed keys are turned to lower case,
// only the characters of a number pass, pasting is refused, and a refused
// key shows a hint under the field until the next accepted key.

#include <QObject>

class QLabel;
class QLineEdit;

namespace orvel {

class PhoneKeyFilter : public QObject {
    Q_OBJECT
public:
    // `hint` is shown and hidden by the filter; it may be null.
    PhoneKeyFilter(QLineEdit* field, QLabel* hint);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLineEdit* field_;
    QLabel* hint_;
};

}  // namespace orvel
