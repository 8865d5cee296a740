#pragma once
// The scheme editor "Параметры оповещения": the values of the next run, and
// loading, saving and the desktop shortcut of schemes. Shown in edit mode
// from the menu and in start mode before every run.

#include <QDialog>
#include <QStringList>
#include <functional>
#include <optional>

#include "media/wave_player.h"
#include "notify/run_planner.h"

class QComboBox;
class QFormLayout;
class QHBoxLayout;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QSpinBox;
class QTimer;

namespace orvel {

class TOperatorRights;
struct TNotifyScheme;

class TNotifyParam : public QDialog {
    Q_OBJECT
public:
    enum class Mode { Edit, Start };
    explicit TNotifyParam(QWidget* parent = nullptr);

    void setMode(Mode mode);
    Mode mode() const { return mode_; }
    void setDirectories(const QString& schemeDir, const QString& messageDir,
                        const QString& groupDir, const QString& programDir);
    void setSortColumns(const QStringList& captions);
    // Without the right to change notification parameters the editor hides
    // "Сохранить как...", the message file, the attempts, the time limit,
    // the sort choice and the desktop shortcut; again after every re-login.
    void bindRights(const TOperatorRights* rights);

    int attempts() const;
    void setAttempts(int v);
    double pause() const;
    int timeLimit() const;
    QString messageFile() const;
    void setMessageFile(const QString& path);
    QString dumpFile() const;
    QStringList groups() const;
    void setGroups(const QStringList& groups);
    int sortIndex() const;
    QString sortCaption() const;
    QString schemeName() const;
    QString timeLimitText() const;

    // Load and save without the file dialogs (the buttons add them).
    bool loadScheme(const QString& path);
    bool saveScheme(const QString& path);
    TNotifyScheme currentScheme() const;
    void applyScheme(const TNotifyScheme& scheme, const QString& name);

    // The scheme's groups are loaded into the subscriber list: mark them.
    std::function<void(const QStringList&)> onGroupsLoaded;
    // Sort the list by the chosen column (start mode OK).
    std::function<void(int)> onSort;
    std::function<QStringList()> chooseGroups;
    // Estimates a run of the given scheme over the marked subscribers;
    // nothing when it cannot be estimated now. Unset: no estimate is shown.
    std::function<std::optional<TPlanResult>(const TNotifyScheme&)> estimate;

    // The estimate is made again shortly after the last change of the
    // scheme's values (typing in a field changes them at every key).
    void schedulePlan();
    void refreshPlan();
    QLabel* planLabel() const { return plan_; }
    bool planWarningShown() const;

    // The OK action; true when the editor may close with OK.
    bool okAction();
    void createShortcut();
    // Plays the message file in the preview player; false when there is
    // nothing to play or the sound output failed (the operator is told).
    bool previewMessage();
    const TWavePlayer& player() const { return player_; }

protected:
    void showEvent(QShowEvent* event) override;
    // The preview player is closed with the editor.
    void hideEvent(QHideEvent* event) override;
    // PageUp and PageDown move the attempts by 10, keypad "*" sets the most.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void refreshLimitCaption();
    void applyRights();

    Mode mode_ = Mode::Edit;
    TWavePlayer player_;
    QString schemeDir_, messageDir_, groupDir_, programDir_;
    QSpinBox* attempts_;
    QDoubleSpinBox* pause_;
    QLineEdit* message_;
    QListWidget* groups_;
    QLabel* schemeName_;
    QComboBox* sort_;
    QSpinBox* limit_;
    QLabel* limitCaption_;
    QLineEdit* dump_;
    QFormLayout* form_;
    QHBoxLayout* messageRow_;
    QHBoxLayout* limitRow_;
    QPushButton* saveAs_;
    QPushButton* shortcut_;
    const TOperatorRights* rights_ = nullptr;
    QPushButton* ok_;
    QPushButton* cancel_;
    QWidget* planRow_;
    QLabel* planIcon_;
    QLabel* plan_;
    QTimer* planTimer_;
};

}  // namespace orvel
