#pragma once
// "Поиск абонента": finds the first subscriber whose chosen column starts
// with the typed text, once the text has rested for a timer tick.

#include <QDialog>
#include <functional>

class QComboBox;
class QLineEdit;
class QTimer;

namespace orvel {

class TUserList;

class TFindUser : public QDialog {
    Q_OBJECT
public:
    TFindUser(const TUserList& list, QWidget* parent = nullptr);
    // Column captions and lengths, in list order.
    void setColumns(const QStringList& captions, const QList<int>& lengths);
    // Called with the row found.
    std::function<void(int row)> onFound;
    QComboBox* columnBox() const { return column_; }
    QLineEdit* textEdit() const { return text_; }
    // One timer tick (tests call it directly).
    void tick();

protected:
    void showEvent(QShowEvent* event) override;

private:
    const TUserList& list_;
    QComboBox* column_;
    QLineEdit* text_;
    QTimer* timer_;
    QList<int> lengths_;
    QString previous_;
    bool searched_ = false;
};

}  // namespace orvel
