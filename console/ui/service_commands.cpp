#include "ui/service_commands.h"

#include <QApplication>
#include <QMessageBox>
#include <QWidget>

#include "core/texts.h"
#include "diag/developer_report.h"
#include "diag/system_log.h"
#include "ui/import_window.h"
#include "ui/message_dialog.h"
#include "ui/program_context.h"
#include "ui/progress_window.h"

namespace orvel {

void runDeveloperReport(ProgramContext& ctx, ILineLibrary* library, QWidget* mainWindow) {
    DeveloperReportInputs in;
    in.productWord = ctx.names.word;
    in.programDir = ctx.dirs.program;
    in.systemLog = systemLog().path();
    in.libraryLog = findFileNoCase(ctx.dirs.program, ctx.names.lineLibraryLogFileName());
    in.settingsFile = ctx.dirs.settingsFile;
    in.library = library;
    WidgetMessageDialog dialog;
    DeveloperReportHooks hooks;
    hooks.dialog = &dialog;
    hooks.setBusy = [mainWindow](bool busy) {
        if (busy) {
            QApplication::setOverrideCursor(Qt::WaitCursor);
            if (mainWindow)
                mainWindow->setEnabled(false);
        } else {
            if (mainWindow)
                mainWindow->setEnabled(true);
            QApplication::restoreOverrideCursor();
        }
    };
    hooks.progress = [](int position, int maximum, const QString& text) {
        ShowProgress(position, maximum, text);
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    };
    hooks.showInformation = [mainWindow](const QString& text) {
        QString shown = text;
        shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        QMessageBox::information(mainWindow, T(textInformation), shown);
    };
    CreateDeveloperReport(in, hooks);
}

void runImportWindow(ProgramContext& ctx, QWidget* mainWindow,
                     const std::function<bool()>& runInProgress) {
    if (!ctx.rights.has(OperatorRight::ChangeBase))
        return;
    if (runInProgress && runInProgress()) {
        ShowMessageDialog(T(textBaseLockedDuringRun) + QLatin1Char('!'), T(textWarning), mb::kOk,
                          kKindWarning);
        return;
    }
    TImportForm form(ctx.users, ctx.settings, mainWindow);
    form.runInProgress = runInProgress;
    form.onImported = [&ctx] {
        if (ctx.commands.refreshList)
            ctx.commands.refreshList();
    };
    form.exec();
}

}  // namespace orvel
