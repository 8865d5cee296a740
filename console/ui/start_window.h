#pragma once

#include <QWidget>

namespace orvel {

// The borderless stay-on-top start window shown while the program starts.
class TStartWindow : public QWidget {
    Q_OBJECT
public:
    explicit TStartWindow(const QString& productWord, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString word_;
};

}  // namespace orvel
