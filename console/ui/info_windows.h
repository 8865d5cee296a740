#pragma once
// The device information window (boards, their line-interface units, the
// lines the program does not serve) and the about window.

#include <QDialog>
#include <QStringList>

#include "diag/system_info.h"      // converterStateText, unitStateText
#include "notify/library_setup.h"  // unservedLinesLogText
#include "notify/notify_lines.h"   // unservedLineText

class QVBoxLayout;

namespace orvel {

class ILineLibrary;

class THardwareInfo : public QDialog {
    Q_OBJECT
public:
    // `library` may be null: no boards to show.
    THardwareInfo(ILineLibrary* library, const QStringList& unservedLines,
                  QWidget* parent = nullptr);
    // Asks the library and builds the board panels.
    void fill();

protected:
    void showEvent(QShowEvent* event) override;

private:
    ILineLibrary* library_;
    QStringList unserved_;
    QVBoxLayout* boards_;
    bool filled_ = false;
};

class TAboutBox : public QDialog {
    Q_OBJECT
public:
    TAboutBox(const QString& productName, QWidget* parent = nullptr);
    // The window with the version history (what a click on the version label
    // opens); created on the first call.
    QDialog* showVersionHistory();

private:
    QDialog* history_ = nullptr;
};

// The program's version, as the about window shows it.
QString programVersion();

}  // namespace orvel
