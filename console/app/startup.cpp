#include "app/startup.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLayout>
#include <QTabWidget>
#include <QTimer>
#include <cstdio>
#include <memory>

#include "core/command_line.h"
#include "core/instance_guard.h"
#include "core/login_loop.h"
#include "core/operator_check.h"
#include "core/texts.h"
#include "diag/system_log.h"
#include "notify/orvel_line_library.h"
#include "ui/advanced_param.h"
#include "ui/aru_window.h"
#include "ui/group_choice.h"
#include "ui/current_user_window.h"
#include "ui/files_delete_window.h"
#include "ui/group_windows.h"
#include "ui/list_look.h"
#include "ui/login_window.h"
#include "ui/main_window.h"
#include "ui/message_dialog.h"
#include "ui/notify_controller.h"
#include "ui/notify_param.h"
#include "ui/notify_status.h"
#include "ui/program_context.h"
#include "ui/report_window.h"
#include "ui/recorder_window.h"
#include "ui/restructure_window.h"
#include "ui/service_commands.h"
#include "ui/shell_windows.h"
#include "ui/start_window.h"
#include "ui/text_editor_window.h"
#include "ui/user_list_model.h"
#include "ui/write_failure_dialog.h"

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

// The scheme named on the command line: loaded and started without the
// scheme editor.
void startSchemeFromCommandLine(const ProgramContext& ctx, TNotifyController& notify,
                                const QString& name) {
    const QString path = findFileNoCase(ctx.dirs.schemes, name + QStringLiteral(".sch"));
    if (!QFileInfo::exists(path)) {
        ShowMessageDialog(T(textAlarmScheme) + QLatin1Char('\n') + QLatin1Char('"') + name +
                              QLatin1Char('"') + QLatin1Char('\n') + T(textNotFoundF).toLower() +
                              QLatin1Char('!'),
                          T(textWarning) + QLatin1Char('!'), mb::kOk, kKindWarning);
        return;
    }
    if (notify.ready())
        notify.startScheme(path);
}

}  // namespace

StartOptions parseStartOptions(const QStringList& arguments) {
    StartOptions o;
    for (const QString& a : arguments.mid(1)) {
        if (!a.startsWith(QLatin1String(kHiddenPrefix))) {
            o.parameters << a;
        } else if (a.startsWith(QStringLiteral("--orvel-exit-after="))) {
            o.exitAfterMs = a.section(QLatin1Char('='), 1).toInt();
        } else if (a.startsWith(QStringLiteral("--orvel-screenshot-delay="))) {
            o.screenshotDelayMs = qMax(0, a.section(QLatin1Char('='), 1).toInt());
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
    // A file that cannot be written (a full disk) is told to the operator;
    // the old file is still there.
    installWriteFailureDialog();

    // 7. The start in the system log.
    WriteSystemLog(T(textProgramStart), 1);

    // The report window and the list's print and export.
    ctx.commands.notifyReport = [&ctx](QWidget* parent) { openNotifyReport(ctx, parent); };
    ctx.commands.printList = [&ctx](QWidget* parent) { printSubscriberList(ctx, parent); };
    ctx.commands.exportList = [&ctx](QWidget* parent) { exportSubscriberList(ctx, parent); };
    // The message windows of the menu "Сообщения".
    ctx.commands.recordMessage = [&ctx](QWidget* parent) {
        RecordMessage(parent, T(textSoundMessageAlarm), ctx.dirs.wavMessages, QString());
    };
    ctx.commands.recordConfirm = [&ctx](QWidget* parent) {
        // The prompt keeps the name a run loads it by, in whatever case it has.
        const QString confirm = findFileNoCase(ctx.dirs.program, QStringLiteral("Confirm.dat"));
        RecordMessage(parent, T(textConfirmMessage), ctx.dirs.program,
                      QFileInfo(confirm).fileName());
    };
    ctx.commands.synthesis = [&ctx](QWidget* parent) {
        SynthesizeMessage(parent, ctx.dirs.txtMessages);
    };
    ctx.commands.deleteMessages = [&ctx](QWidget* parent) {
        DeleteMessages(parent, ctx.dirs.wavMessages, &ctx.settings);
    };

    // 8. The windows, in their order.
    TForm1 mainWindow(ctx);
    TPassword password(ctx.names.word, &mainWindow);
    // The line library and the lines (main-window set-up).
    TNotifyController notify(ctx, makeOrvelLineLibrary());
    const TLibrarySetup& setup = notify.setUp();
    for (const QString& e : setup.errors)
        ShowMessageDialog(e, T(textError), mb::kOk, kKindError);
    if (!setup.ready)
        mainWindow.hideStart(setup.errors.value(0));
    // Lines the program does not serve: noted in the system log and shown in
    // the device information window, not asked about at every start.
    mainWindow.setLineLibrary(&notify.library(), setup.unreachable);
    mainWindow.setLineCount(notify.lines().Count());
    mainWindow.setGroups(&notify.groups());
    TNotifyStatus status(notify.lines(), notify.library(), &mainWindow);
    TSaveAbonentsList saveGroup(notify.groups(), ctx.users, &mainWindow);
    TLoadAbonentsList loadGroup(notify.groups(), ctx.users, &mainWindow);
    mainWindow.onSaveGroup = [&saveGroup, &ctx] {
        bool any = false;
        for (int k = 0; k < ctx.users.Count() && !any; ++k)
            any = ctx.users.Item(k)->mark;
        if (!any) {
            ShowMessageDialog(T(textNoAbonentSelected) + QLatin1Char('!'),
                              T(textWarning) + QLatin1Char('!'), mb::kOk, kKindWarning);
            return;
        }
        saveGroup.exec();
    };
    mainWindow.onLoadGroup = [&loadGroup, &mainWindow] {
        loadGroup.refresh();
        loadGroup.exec();
        mainWindow.refreshList();
    };
    TNotifyParam scheme(&mainWindow);
    scheme.bindRights(&ctx.rights);
    TAru aru(&mainWindow);
    notify.bind(&status, &scheme);
    aru.bind(&notify.lines(), &notify.library(), &ctx.settings);
    status.setGainWindow(&aru);
    status.onGain = [&aru] {
        if (!aru.isVisible())
            aru.loadLevels();  // what this run started from
        aru.show();
        aru.raise();
    };
    scheme.setSortColumns([&ctx] {
        QStringList c;
        for (int i = 0; i < ctx.users.columns().Count(); ++i)
            c << ctx.users.columns().Item(i).name;
        return c;
    }());
    mainWindow.runInProgress = [&notify] { return notify.inProgress(); };
    ctx.commands.importRecords = [&ctx, &notify](QWidget* parent) {
        runImportWindow(ctx, parent, [&notify] { return notify.inProgress(); });
    };
    ctx.commands.developerReport = [&ctx, &notify](QWidget* parent) {
        runDeveloperReport(ctx, &notify.library(), parent);
    };
    mainWindow.stopRun = [&status] { status.close(); };
    mainWindow.onStart = [&notify] { notify.startFromButton(); };
    mainWindow.onSchemeEditor = [&scheme, &ctx] {
        scheme.setMode(TNotifyParam::Mode::Edit);
        scheme.setAttempts(ctx.options.maxCallsCount);
        scheme.exec();
    };
    // The editor opens with the current maximum of attempts; the value it
    // confirms becomes the maximum kept at close and used for row colours.
    QObject::connect(&scheme, &QDialog::accepted, &mainWindow, [&ctx, &scheme, &mainWindow] {
        ctx.options.maxCallsCount = scheme.attempts();
        mainWindow.setMaxCalls(scheme.attempts());
    });
    scheme.chooseGroups = [&notify, &scheme] {
        return chooseGroups(notify.groups(), scheme.groups(), &scheme);
    };
    notify.setIdle = [&mainWindow, &notify](bool idle) {
        mainWindow.setIdle(idle, &notify.run().fieldsMutex());
    };
    notify.closeMainWindow = [&mainWindow] { mainWindow.close(); };
    // The parameters dialog, applied to the program's lines and the running run.
    Registry registry(registryFilePath(ctx.names), ctx.names.registryKey());
    TAdvancedParams advanced(ctx.settings, ctx.options, ctx.dirs, notify.library(), notify.lines());
    advanced.setRegistry(&registry);
    advanced.setLibraryLogPath(ctx.dirs.program + QLatin1Char('/') +
                               ctx.names.lineLibraryLogFileName());
    advanced.setRun(&notify.run(), [&notify] { return notify.inProgress(); });
    advanced.onGroupDirectory = [&notify](const QString& d) {
        notify.groups().SetGroupDirectory(d);
    };
    ctx.commands.advancedParams = [&ctx, &advanced](QWidget* parent) {
        TfAdvancedParam dialog(ctx, advanced, parent);
        dialog.onListLook = [&ctx, parent] {
            applyListLook(parent, ctx);
            if (ctx.commands.refreshList)
                ctx.commands.refreshList();
        };
        dialog.exec();
    };
    QObject::connect(&notify, &TNotifyController::listChanged, &mainWindow,
                     [&mainWindow] { mainWindow.refreshList(); });
    QObject::connect(&notify, &TNotifyController::subscriberChanged, &mainWindow,
                     [&mainWindow](int row) { mainWindow.model()->refreshRow(row); });

    // 9. 10. The login.
    startWindow->hide();
    TOperatorCheck check(findFileNoCase(ctx.dirs.program, ctx.names.operatorsFileName()));
    check.showReadError = [](const QString& text) {
        ShowMessageDialog(text, T(textError), mb::kOk, kKindError);
    };
    check.writeLog = [](const QString& text, int level) { WriteSystemLog(text, level); };
    check.onAccepted = [&ctx](const TCurrentOperator& op) {
        systemLog().setOperatorName(op.name);
        ctx.rights.set(op.name, op.rightsBits());
    };
    // Unattended (message dialogs answered from the environment) nobody can
    // type into the login window: it counts as cancelled and the program
    // ends instead of waiting for ever.
    const auto askLogin = [&password](bool clearName) -> std::optional<Credentials> {
        if (qEnvironmentVariableIsSet("ORVEL_DIALOG_ANSWER")) {
            fprintf(stderr, "%s: login window cancelled (unattended)\n",
                    qPrintable(password.windowTitle()));
            return std::nullopt;
        }
        return password.ask(clearName);
    };
    // Set before the login: the main window offers "Пользователь" from the
    // moment the operator's rights arrive.
    ctx.commands.currentUser = [&ctx, &check, &askLogin](QWidget* parent) {
        TUserProp window(ctx.rights, parent);
        window.onRelogin = [&check, &askLogin] {
            ReloginHooks relogin;
            relogin.askCredentials = [&askLogin] { return askLogin(true); };
            relogin.showRefusal = [](LoginResult r) {
                ShowMessageDialog(reloginRefusalText(r), T(textWarning), mb::kOk, kKindWarning);
            };
            return runRelogin(check, relogin);
        };
        window.exec();
    };
    LoginHooks hooks;
    hooks.readAutoLogin = [&ctx] {
        return ctx.settings.readValue(QStringLiteral("DEVELOPER"), QStringLiteral("AutoLogin"),
                                      QString::fromLatin1(kAutoLoginVacant), kMaxAutoLogin);
    };
    hooks.askCredentials = [&askLogin] { return askLogin(false); };
    hooks.showRefusal = [](LoginResult r) {
        ShowMessageDialog(refusalText(r), T(textWarning), mb::kOk, kKindWarning);
    };
    if (!runLoginLoop(check, hooks))
        return 0;

    // 12. 13. The scheme of the command line, then the main window.
    startWindow.reset();
    mainWindow.show();
    if (!schemeName.isEmpty())
        startSchemeFromCommandLine(ctx, notify, schemeName);
    else
        notify.offerUnfinished();

    if (!options.screenshotDir.isEmpty()) {
        QTimer::singleShot(options.screenshotDelayMs, &mainWindow, [&] {
            TStartWindow splash(ctx.names.word);
            TRPDialog dialog;
            dialog.setup(T(textCloseProgram) + QLatin1Char('?'), T(textConfirmation),
                         mb::kYes | mb::kNo, kKindConfirmation);
            password.adjustSize();
            TRestructure editor(ctx.users, ctx.settings, &mainWindow);
            TUserProp currentUser(ctx.rights, &mainWindow);
            currentUser.adjustSize();
            scheme.refreshPlan();  // the estimate is made when the editor is shown
            saveScreenshots(
                options.screenshotDir,
                {&mainWindow, &splash, &dialog, &password, &editor,
                 status.isVisible() ? static_cast<QWidget*>(&status) : nullptr, &scheme, &aru,
                 &currentUser});
            // Every page of the parameters dialog, one picture each.
            TfAdvancedParam params(ctx, advanced, &mainWindow);
            params.layout()->activate();
            for (int i = 0; i < params.pages()->count(); ++i) {
                params.pages()->setCurrentIndex(i);
                params.setObjectName(QStringLiteral("fAdvancedParam_") + QString::number(i + 1));
                saveScreenshots(options.screenshotDir, {&params});
            }
            mainWindow.saveDeskScreenshots(options.screenshotDir);
        });
    }
    if (options.exitAfterMs >= 0) {
        QTimer::singleShot(options.exitAfterMs, &mainWindow, [&mainWindow] { mainWindow.close(); });
    }
    return QApplication::exec();
}

}  // namespace orvel
