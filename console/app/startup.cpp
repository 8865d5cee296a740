#include "app/startup.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QTimer>
#include <memory>

#include "core/command_line.h"
#include "core/instance_guard.h"
#include "core/login_loop.h"
#include "core/texts.h"
#include "diag/system_log.h"
#include "ui/login_window.h"
#include "ui/main_window.h"
#include "ui/message_dialog.h"
#include "ui/program_context.h"
#include "ui/restructure_window.h"
#include "ui/shell_windows.h"
#include "ui/start_window.h"

namespace orvel {
namespace {

constexpr char kHiddenPrefix[] = "--orvel-";
constexpr int kMaxAutoLogin = 19;

void saveScreenshots(const QString& dir, const QList<QWidget*>& windows) {
    QDir().mkpath(dir);
    for (QWidget* w : windows) {
        if (w)
            w->grab().save(dir + QLatin1Char('/') + w->objectName() + QStringLiteral(".png"));
    }
}

// The scheme named on the command line: only the missing-file message is
// shown here; loading and starting schemes comes with the scheme editor.
void startSchemeFromCommandLine(const ProgramContext& ctx, const QString& name) {
    const QString path = ctx.dirs.schemes + QLatin1Char('/') + name + QStringLiteral(".sch");
    if (!QFileInfo::exists(path)) {
        ShowMessageDialog(T(textAlarmScheme) + QLatin1Char('\n') + QLatin1Char('"') + name +
                              QLatin1Char('"') + QLatin1Char('\n') + T(textNotFoundF).toLower() +
                              QLatin1Char('!'),
                          T(textWarning) + QLatin1Char('!'), mb::kOk, kKindWarning);
    }
}

}  // namespace

StartOptions parseStartOptions(const QStringList& arguments) {
    StartOptions o;
    for (const QString& a : arguments.mid(1)) {
        if (!a.startsWith(QLatin1String(kHiddenPrefix))) {
            o.parameters << a;
        } else if (a.startsWith(QStringLiteral("--orvel-exit-after="))) {
            o.exitAfterMs = a.section(QLatin1Char('='), 1).toInt();
        } else if (a.startsWith(QStringLiteral("--orvel-screenshot="))) {
            o.screenshotDir = a.section(QLatin1Char('='), 1);
        }
    }
    return o;
}

int runProgram(const StartOptions& options) {
    ProgramContext ctx;
    ctx.executableDir = QCoreApplication::applicationDirPath();

    // 1. Texts from the language file named beside the executable.
    const QString language = languageFileFromPointer(
        findFileNoCase(ctx.executableDir, ctx.names.settingsFileName()), ctx.executableDir);
    if (!language.isEmpty())
        LoadLanguage(language);

    // 2. One running copy only.
    InstanceGuard guard(configDirectory(ctx.names));
    if (!guard.acquire()) {
        ShowMessageDialog(T(textProgramAlreadyRunning) + QLatin1Char('!'), T(textWarning), mb::kOk,
                          kKindWarning);
        return 0;
    }

    // 3. The start window, painted at once.
    auto startWindow = std::make_unique<TStartWindow>(ctx.names.word);
    startWindow->show();
    QCoreApplication::processEvents();

    // 4. 5. The scheme name, the directories and the settings file.
    const QString schemeName = schemeNameFromCommandLine(options.parameters);
    ctx.dirs = loadProgramDirs(ctx.executableDir, ctx.names);
    ctx.settings.setPath(ctx.dirs.settingsFile);
    // Without a program directory the log is the relative name, as the
    // settings file is.
    systemLog().setPath(findFileNoCase(ctx.dirs.program, ctx.names.systemLogFileName()));
    ctx.lineStateLog.setProgramDir(ctx.dirs.program);

    // 7. The start in the system log.
    WriteSystemLog(T(textProgramStart), 1);

    // 8. The windows, in their order.
    TForm1 mainWindow(ctx);
    TPassword password(&mainWindow);
    TNotifyStatus status(&mainWindow);
    TSaveAbonentsList saveGroup(&mainWindow);
    TLoadAbonentsList loadGroup(&mainWindow);
    TNotifyParam scheme(&mainWindow);
    TAru aru(&mainWindow);
    mainWindow.runInProgress = [&status] { return status.isVisible(); };
    mainWindow.stopRun = [&status] { status.close(); };

    // 9. 10. The login.
    startWindow->hide();
    OpenOperatorCheck check;
    LoginHooks hooks;
    hooks.readAutoLogin = [&ctx] {
        return ctx.settings.readValue(QStringLiteral("DEVELOPER"), QStringLiteral("AutoLogin"),
                                      QString::fromLatin1(kAutoLoginVacant), kMaxAutoLogin);
    };
    hooks.askCredentials = [&password] { return password.ask(); };
    hooks.showRefusal = [](LoginResult r) {
        ShowMessageDialog(refusalText(r), T(textWarning), mb::kOk, kKindWarning);
    };
    const auto who = runLoginLoop(check, hooks);
    if (!who)
        return 0;
    systemLog().setOperatorName(who->name);

    // 12. 13. The scheme of the command line, then the main window.
    if (!schemeName.isEmpty())
        startSchemeFromCommandLine(ctx, schemeName);
    startWindow.reset();
    mainWindow.show();

    if (!options.screenshotDir.isEmpty()) {
        QTimer::singleShot(300, &mainWindow, [&] {
            TStartWindow splash(ctx.names.word);
            TRPDialog dialog;
            dialog.setup(T(textCloseProgram) + QLatin1Char('?'), T(textConfirmation),
                         mb::kYes | mb::kNo, kKindConfirmation);
            password.adjustSize();
            TRestructure editor(ctx.users, ctx.settings, &mainWindow);
            saveScreenshots(options.screenshotDir,
                            {&mainWindow, &splash, &dialog, &password, &editor});
        });
    }
    if (options.exitAfterMs >= 0) {
        QTimer::singleShot(options.exitAfterMs, &mainWindow, [&mainWindow] { mainWindow.close(); });
    }
    return QApplication::exec();
}

}  // namespace orvel
