// orvel-run: notifies the subscribers of a scheme without windows, for
// scheduled or scripted alerts.

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>
#include <atomic>
#include <csignal>

#include "core/file_names.h"
#include "core/program_dirs.h"
#include "core/texts.h"
#include "notify/demo_setup.h"
#include "notify/orvel_line_library.h"
#include "runner/run_session.h"

namespace {
std::atomic<bool> g_stop{false};
void onSignal(int) {
    g_stop = true;
}
}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QCommandLineParser p;
    p.setApplicationDescription(QStringLiteral(
        "Runs a notification scheme over the program directory's lines without windows.\n"
        "Exit status: 0 everyone notified, 1 some not notified, 2 bad input, 3 line library\n"
        "failure, 4 stopped (the run continues at the next start)."));
    p.addHelpOption();
    p.addOption({{QStringLiteral("d"), QStringLiteral("dir")},
                 QStringLiteral("Program directory (default: the configured one)."),
                 QStringLiteral("dir")});
    p.addOption({{QStringLiteral("s"), QStringLiteral("scheme")},
                 QStringLiteral("Scheme name in the scheme directory, or a .sch file."),
                 QStringLiteral("name")});
    p.addOption({QStringLiteral("fresh"),
                 QStringLiteral("Discard an unfinished run instead of continuing it.")});
    p.addOption({QStringLiteral("all"),
                 QStringLiteral("Notify every subscriber, not only the scheme's groups.")});
    p.addOption({QStringLiteral("repeat"),
                 QStringLiteral("Repeated runs for those not notified (default 0)."),
                 QStringLiteral("n"), QStringLiteral("0")});
    p.addOption({{QStringLiteral("q"), QStringLiteral("quiet")},
                 QStringLiteral("Print counters only, not every line change.")});
    p.addOption({QStringLiteral("prepare-demo"),
                 QStringLiteral("Fill the directory with demo subscribers, group, message and "
                                "scheme, then exit.")});
    p.addOption({QStringLiteral("plan"),
                 QStringLiteral("Print when the run would end and how many it would reach, "
                                "and call nobody.")});
    p.addOption({QStringLiteral("orvel-die-after-calls"),
                 QStringLiteral("Test hook: end abruptly after n finished calls."),
                 QStringLiteral("n")});
    p.process(app);

    orvel::TSessionOptions o;
    o.exeDir = QCoreApplication::applicationDirPath();
    o.programDir = p.value(QStringLiteral("dir"));
    if (o.programDir.isEmpty())
        o.programDir = orvel::loadProgramDirs(o.exeDir).program;
    if (p.isSet(QStringLiteral("prepare-demo"))) {
        QString error;
        if (!orvel::prepareDemoDirectory(o.programDir, &error)) {
            out << error << '\n';
            return orvel::kExitBadInput;
        }
        out << "demo prepared in " << o.programDir << "; run: orvel-run --dir " << o.programDir
            << " --scheme " << QString::fromUtf8(orvel::kDemoScheme) << '\n';
        return 0;
    }
    o.scheme = p.value(QStringLiteral("scheme"));
    o.fresh = p.isSet(QStringLiteral("fresh"));
    o.markAll = p.isSet(QStringLiteral("all"));
    o.repeats = qMax(0, p.value(QStringLiteral("repeat")).toInt());
    o.quiet = p.isSet(QStringLiteral("quiet"));
    o.planOnly = p.isSet(QStringLiteral("plan"));
    if (p.isSet(QStringLiteral("orvel-die-after-calls")))
        o.dieAfterCalls = p.value(QStringLiteral("orvel-die-after-calls")).toInt();

    const QString language = orvel::languageFileFromPointer(
        orvel::findFileNoCase(o.exeDir, QStringLiteral("ORVEL.ini")), o.exeDir);
    if (!language.isEmpty())
        orvel::LoadLanguage(language);

    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    auto lib = orvel::makeOrvelLineLibrary();
    return orvel::runSession(o, *lib, out, [] { return g_stop.load(); });
}
