#include "ui/signal_frame.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QSlider>

#include "core/texts.h"

namespace orvel {

namespace {
constexpr TextId kLabels[kTimingWords] = {
    textTimeWaitAnswer,     textTimeBetweenTry,      textTimeDecision, textWaitSignalCount,
    textTimeWaitLongSignal, textTimeIntervalConfirm, textMaxTryCount,  textDTMFAmp,
};
const char* const kNames[kTimingWords] = {"DialTonePause", "RedialPause",  "KpwWait",
                                          "BusyTime",      "NoToneTime",   "ConfirmPause",
                                          "MessagesCount", "DTMFAmplitude"};
}  // namespace

TframeSignalParam::TframeSignalParam(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("frameSignalParam"));
    auto* grid = new QGridLayout(this);
    grid->setColumnStretch(0, 3);
    grid->setColumnStretch(1, 2);
    for (int w = 0; w < kTimingWords; ++w) {
        auto* label = new QLabel(T(kLabels[w]), this);
        label->setWordWrap(true);
        auto* bar = new QSlider(Qt::Horizontal, this);
        bar->setObjectName(QString::fromLatin1(kNames[w]));
        bar->setRange(kTimingRanges[size_t(w)].min, kTimingRanges[size_t(w)].max);
        bar->setTickPosition(QSlider::TicksBelow);
        bar->setPageStep(1);
        auto* shown = new QLabel(this);
        shown->setMinimumWidth(fontMetrics().horizontalAdvance(QStringLiteral("0000")));
        shown->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        connect(bar, &QSlider::valueChanged, shown, [shown](int v) { shown->setNum(v); });
        shown->setNum(bar->value());
        label->setBuddy(bar);
        grid->addWidget(label, w, 0);
        grid->addWidget(bar, w, 1);
        grid->addWidget(shown, w, 2);
        bars_[size_t(w)] = bar;
        shown_[size_t(w)] = shown;
    }
    // Clicking the caption toggles the box, as a check box's own text does.
    QuantCheckBox = new QCheckBox(T(textQuant), this);
    QuantCheckBox->setObjectName(QStringLiteral("QuantCheckBox"));
    grid->addWidget(QuantCheckBox, kTimingWords, 0, 1, 3);
    grid->setRowStretch(kTimingWords + 1, 1);
}

void TframeSignalParam::setValues(const TSignalFrameValues& v) {
    const auto words = timingWords(v.params);
    for (int w = 0; w < kTimingWords; ++w)
        bars_[size_t(w)]->setValue(words[size_t(w)]);
    QuantCheckBox->setChecked(v.quant);
}

TSignalFrameValues TframeSignalParam::values() const {
    std::array<int, kTimingWords> words{};
    for (int w = 0; w < kTimingWords; ++w)
        words[size_t(w)] = bars_[size_t(w)]->value();
    return {timingParams(words), QuantCheckBox->isChecked()};
}

void TframeSignalParam::setDefaults() {
    for (int w = 0; w < kTimingWords; ++w)
        bars_[size_t(w)]->setValue(kDefaultTimings[size_t(w)]);
}

}  // namespace orvel
