#pragma once
// The input gain window "Входное усиление": one vertical slider (0..7) per
// line with its line number and current value, in one titled panel per
// board. Moving a slider sets that line's input gain in the line library at
// once; closing keeps the levels in the settings, and every run starts from
// them.

#include <QDialog>
#include <vector>

class QLabel;
class QScrollArea;
class QSlider;

namespace orvel {

class ILineLibrary;
class SettingsManager;
class TORVLines;

class TAru : public QDialog {
    Q_OBJECT
public:
    static constexpr int kDefaultLevel = 3;
    static constexpr int kMaxLevel = 7;

    explicit TAru(QWidget* parent = nullptr);

    // Builds the sliders for the lines and takes the stored levels; the
    // window is sized to show them all, as far as the screen allows.
    void bind(TORVLines* lines, ILineLibrary* library, SettingsManager* settings);
    // At a run start: the sliders take the stored levels without calling the
    // library again (the run has just set every line's gain from them).
    void loadLevels();
    int sliderCount() const { return int(sliders_.size()); }
    int panelCount() const { return panels_; }
    int level(int line) const;
    // As the operator moving slider line + 1.
    void setLevel(int line, int value);
    // The value shown beside slider line + 1.
    QString valueText(int line) const;

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void apply(int line, int value);
    void fitToPanels();
    void saveLevels();

    TORVLines* lines_ = nullptr;
    ILineLibrary* library_ = nullptr;
    SettingsManager* settings_ = nullptr;
    QScrollArea* scroll_;
    std::vector<QSlider*> sliders_;
    std::vector<QLabel*> values_;
    int panels_ = 0;
    bool fitted_ = false;
};

}  // namespace orvel
