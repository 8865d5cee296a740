#pragma once
// The parameters dialog "Дополнительные настройки": general switches, data
// directories, the line grid, the timing frames, the subscriber list's
// colours and the confirmation methods. Every edited item is a handler of a
// TParamHandlerTable; "OK" applies what changed through TAdvancedParams.

#include <QDialog>
#include <array>
#include <vector>

#include "core/param_handlers.h"
#include "core/program_options.h"
#include "notify/advanced_params.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QTabWidget;
class QTableWidget;

namespace orvel {

struct ProgramContext;
class TConfirmPage;
class TframeSignalParam;

class TfAdvancedParam : public QDialog {
    Q_OBJECT
public:
    TfAdvancedParam(ProgramContext& ctx, TAdvancedParams& params, QWidget* parent = nullptr);

    // Which pages are there (some go with the operator's rights).
    QTabWidget* pages() const { return pages_; }
    QWidget* page(const QString& title) const;
    QCheckBox* generalBox(int n) const { return general_[size_t(n)]; }
    QCheckBox* dropLinesBox() const { return dropLines_; }
    QLineEdit* directoryEdit(DataDirectory which) const { return dirEdits_[size_t(which)]; }
    QTableWidget* lineGrid() const { return grid_; }
    QComboBox* channelChoice() const { return channel_; }
    TframeSignalParam* signalFrame() const { return frame_; }
    TConfirmPage* confirmPage() const { return confirm_; }
    QLabel* sample(int set) const { return samples_[size_t(set)]; }
    std::array<ColourSet, 4>& colourSets() { return sets_; }
    void setListFont(const QFont& font, const QColor& colour);
    // "Установить «По умолчанию»" of the signal page.
    void setSignalDefaults();
    // The subscriber list takes new colours and font.
    std::function<void()> onListLook;

    void accept() override;
    void reject() override;

private:
    void buildGeneral(bool notifyRights);
    void buildDirectories();
    void buildLineGrid();
    void buildSignals();
    void buildColours();
    void buildConfirm();
    void fillGridRow(int row);
    void gridCellEdited(int row, int column);
    void showChannel(int line);
    void paintSample(int set);
    void savePlacement();

    ProgramContext& ctx_;
    TAdvancedParams& params_;
    TParamHandlerTable handlers_;
    QTabWidget* pages_;
    std::array<QCheckBox*, 7> general_{};
    std::array<QLineEdit*, 5> dirEdits_{};
    QTableWidget* grid_ = nullptr;
    QCheckBox* dropLines_ = nullptr;
    std::vector<TLineGridRow> rows_;
    QComboBox* channel_ = nullptr;
    TframeSignalParam* frame_ = nullptr;
    std::vector<TSignalFrameValues> frames_;
    int shownLine_ = -1;
    std::array<QLabel*, 4> samples_{};
    std::array<ColourSet, 4> sets_{};
    QFont listFont_;
    QColor listFontColour_;
    TConfirmPage* confirm_ = nullptr;
    bool notConfirmEditBefore_ = true;
};

}  // namespace orvel
