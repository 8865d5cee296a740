#pragma once
// The record editor beside the main list: shows one subscriber (viewing),
// edits one (name and telephone too) or several at once (their other
// fields), and holds the group the subscriber belongs to.

#include <QFrame>
#include <QList>
#include <QStringList>

#include "data/record_edit.h"

class QCheckBox;
class QComboBox;
class QGridLayout;
class QLabel;
class QLineEdit;
class QStackedWidget;
class QTimeEdit;
class QToolButton;

namespace orvel {

class TfrRecordInterface : public QFrame {
    Q_OBJECT
public:
    enum Mode { kViewing = 0, kEditOne = 1, kEditSeveral = 2 };

    explicit TfrRecordInterface(QWidget* parent = nullptr);

    // One label and edit per additional column, with its caption and length.
    void setExtraFields(const QStringList& captions, const QList<int>& lengths);
    // The line list offers "" then 1..count.
    void setLineCount(int count);
    // The group names for the group box (the empty name first).
    void setGroups(const QStringList& names);
    // The width of the column of field labels (SID_PANEL_FIELDLABELS_WIDTH):
    // the labels' column is at least that wide, wider only where a caption
    // would otherwise be cut. labelsWidth() is its width now.
    void setLabelsWidth(int width);
    int labelsWidth() const;

    int mode() const { return mode_; }
    void setMode(int mode);
    void showValues(const RecordEditorValues& values);
    // A new record: empty texts, the default method, prefix 1.
    void clearValues();
    RecordEditorValues values() const;
    QString shownName() const;
    // The time, line and method shown now count as unchanged.
    void recordBaseline() { baseline_ = baselineOf(values()); }
    const RecordEditBaseline& baseline() const { return baseline_; }

    void setGroupVisible(bool visible);
    bool groupVisible() const;
    void setGroupText(const QString& name);
    // "Применить" is possible: in mode 1 name and telephone are filled.
    bool canApply() const;

    QLineEdit* nameEdit() const { return name_; }
    QLineEdit* phoneEdit() const { return phone_; }
    QToolButton* prefixButton() const { return prefix_; }
    QLabel* phoneHint() const { return hint_; }
    QCheckBox* timeCheck() const { return timeOn_; }
    QTimeEdit* timeFrom() const { return from_; }
    QTimeEdit* timeTo() const { return to_; }
    QComboBox* lineBox() const { return line_; }
    QComboBox* confirmBox() const { return confirm_; }
    QLineEdit* commentEdit() const { return comment_; }
    QLineEdit* extraEdit(int i) const { return extra_.value(i); }
    QComboBox* groupBox() const { return group_; }

signals:
    void applyableChanged(bool possible);

private:
    void setPrefix(int prefix);
    void updateLook();
    void refreshTexts();
    int confirmChoice() const;

    QGridLayout* grid_;
    QLineEdit* name_;
    QLineEdit* phone_;
    QToolButton* prefix_;
    QLabel* hint_;
    QStackedWidget* timeStack_;
    QLineEdit* timeText_;
    QCheckBox* timeOn_;
    QTimeEdit* from_;
    QTimeEdit* to_;
    QStackedWidget* lineStack_;
    QLineEdit* lineText_;
    QComboBox* line_;
    QLineEdit* comment_;
    QStackedWidget* confirmStack_;
    QLineEdit* confirmText_;
    QComboBox* confirm_;
    QList<QLabel*> extraLabels_;
    QList<QLineEdit*> extra_;
    QLabel* groupLabel_;
    QComboBox* group_;
    int mode_ = kViewing;
    int prefixValue_ = 1;
    int lineCount_ = 0;
    bool commentTyped_ = false;
    bool groupTouched_ = false;
    RecordEditBaseline baseline_;
    // Time, line and method while viewing (the pickers and lists are hidden).
    RecordEditorValues shown_;
};

}  // namespace orvel
