#pragma once
// The timing frame of one line on the signal page: eight track bars with
// their values shown beside them and the check box "АТС «Квант»".

#include <QWidget>
#include <array>

#include "notify/line_params.h"

class QCheckBox;
class QLabel;
class QSlider;

namespace orvel {

class TframeSignalParam : public QWidget {
    Q_OBJECT
public:
    explicit TframeSignalParam(QWidget* parent = nullptr);

    void setValues(const TSignalFrameValues& v);
    TSignalFrameValues values() const;
    // "По умолчанию": the track bars to 5, 3, 30, 3, 30, 5, 3, 1; the line
    // type stays.
    void setDefaults();

    QSlider* trackBar(int word) const { return bars_[size_t(word)]; }
    QCheckBox* QuantCheckBox = nullptr;

private:
    std::array<QSlider*, kTimingWords> bars_{};
    std::array<QLabel*, kTimingWords> shown_{};
};

}  // namespace orvel
