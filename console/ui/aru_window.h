#pragma once
// The input gain window "Входное усиление": one vertical slider (0..7) per
// line, in panels of twelve. Moving a slider sets that line's input gain in
// the line library at once; closing keeps the levels in the settings, and
// every run starts from them.

#include <QDialog>
#include <vector>

class QSlider;

namespace orvel {

class ILineLibrary;
class SettingsManager;
class TORVLines;

class TAru : public QDialog {
    Q_OBJECT
public:
    static constexpr int kMaxSliders = 36;
    static constexpr int kSlidersPerPanel = 12;
    static constexpr int kDefaultLevel = 3;

    explicit TAru(QWidget* parent = nullptr);

    // Builds the sliders for the lines (at most 36) and takes the stored levels.
    void bind(TORVLines* lines, ILineLibrary* library, SettingsManager* settings);
    // At a run start: the sliders take the stored levels without calling the
    // library again (the run has just set every line's gain from them).
    void loadLevels();
    int sliderCount() const { return int(sliders_.size()); }
    int level(int line) const;
    // As the operator moving slider line + 1.
    void setLevel(int line, int value);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void apply(int line, int value);
    void saveLevels();

    TORVLines* lines_ = nullptr;
    ILineLibrary* library_ = nullptr;
    SettingsManager* settings_ = nullptr;
    std::vector<QSlider*> sliders_;
};

}  // namespace orvel
