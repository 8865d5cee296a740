#include "ui/aru_window.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QSignalBlocker>
#include <QSlider>
#include <QVBoxLayout>

#include "core/settings_manager.h"
#include "core/texts.h"
#include "notify/line_library.h"
#include "notify/notify_lines.h"

namespace orvel {

TAru::TAru(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("Aru"));
    setWindowTitle(T(textInputBoost));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    new QHBoxLayout(this);
}

void TAru::bind(TORVLines* lines, ILineLibrary* library, SettingsManager* settings) {
    lines_ = lines;
    library_ = library;
    settings_ = settings;
    auto* row = static_cast<QHBoxLayout*>(layout());
    const int count = lines_ != nullptr ? qMin(lines_->Count(), kMaxSliders) : 0;
    QHBoxLayout* panel = nullptr;
    for (int n = 0; n < count; ++n) {
        if (n % kSlidersPerPanel == 0) {
            auto* box = new QGroupBox(this);
            panel = new QHBoxLayout(box);
            row->addWidget(box);
        }
        auto* column = new QVBoxLayout;
        auto* slider = new QSlider(Qt::Vertical, this);
        slider->setObjectName(QStringLiteral("Slider%1").arg(n + 1));
        slider->setRange(0, 7);
        slider->setPageStep(1);
        slider->setTickPosition(QSlider::TicksBothSides);
        slider->setValue(kDefaultLevel);
        connect(slider, &QSlider::valueChanged, this, [this, n](int v) { apply(n, v); });
        column->addWidget(slider, 1, Qt::AlignHCenter);
        column->addWidget(new QLabel(QString::number(n + 1), this), 0, Qt::AlignHCenter);
        panel->addLayout(column);
        sliders_.push_back(slider);
    }
    loadLevels();
}

void TAru::loadLevels() {
    for (int n = 0; n < sliderCount(); ++n) {
        const int stored = settings_ != nullptr ? settings_->readIndexedInt(SID_ARU_LEVEL_VALUE,
                                                                            n + 1, kDefaultLevel)
                                                : kDefaultLevel;
        const QSignalBlocker block(sliders_[size_t(n)]);
        sliders_[size_t(n)]->setValue(qBound(0, stored, 7));
    }
}

int TAru::level(int line) const {
    return line >= 0 && line < sliderCount() ? sliders_[size_t(line)]->value() : -1;
}

void TAru::setLevel(int line, int value) {
    if (line >= 0 && line < sliderCount())
        sliders_[size_t(line)]->setValue(value);  // calls the library when it changes
}

void TAru::apply(int line, int value) {
    const TORVELLine* l = lines_ != nullptr ? lines_->Items(line) : nullptr;
    if (l == nullptr || library_ == nullptr)
        return;
    // A refused level changes nothing on the line; the slider stays where it is.
    library_->SetSensLevel(uint32_t(l->Board), uint32_t(l->Channel), uint32_t(value));
}

void TAru::saveLevels() {
    if (settings_ == nullptr || lines_ == nullptr)
        return;
    for (int n = 0; n < sliderCount(); ++n)
        settings_->WriteIndexedSetting(SID_ARU_LEVEL_VALUE, n + 1, level(n));
}

void TAru::closeEvent(QCloseEvent* event) {
    saveLevels();
    QDialog::closeEvent(event);
}

}  // namespace orvel
