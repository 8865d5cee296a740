// orvel-run: notifies the subscribers of a scheme without windows, for
// scheduled or scripted alerts.

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTextStream>
#include <atomic>
#include <climits>
#include <csignal>
#include <memory>
#include <vector>

#include "core/file_names.h"
#include "core/program_dirs.h"
#include "core/safe_file.h"
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

namespace {

// An integer option within [lo, hi]; false (with the message printed) when
// it is given and is not one.
bool readNumber(const QCommandLineParser& p, const QString& name, int lo, int hi, int& value,
                QTextStream& out) {
    if (!p.isSet(name))
        return true;
    bool ok = false;
    const QString text = p.value(name);
    const qlonglong v = text.trimmed().toLongLong(&ok);
    if (!ok || v < lo || v > hi) {
        out << orvel::T(orvel::textRunBadNumber).arg(name, text).arg(lo).arg(hi) << '\n';
        return false;
    }
    value = int(v);
    return true;
}

// Test hook: writes to files whose name matches one of the comma-separated
// masks of `spec` ("mask" or "mask:n", n the number of writes that fail)
// fail as on a full disk.
bool failWrites(const QString& spec, QTextStream& out) {
    struct Rule {
        QRegularExpression name;
        std::shared_ptr<std::atomic<int>> left;  // null: every write
    };
    std::vector<Rule> rules;
    for (const QString& item : spec.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const qsizetype colon = item.lastIndexOf(QLatin1Char(':'));
        Rule rule;
        QString mask = item;
        if (colon > 0) {
            bool ok = false;
            const int count = item.mid(colon + 1).toInt(&ok);
            if (!ok || count < 0) {
                out << orvel::T(orvel::textRunBadNumber)
                           .arg(QStringLiteral("orvel-fail-writes"), item)
                           .arg(0)
                           .arg(INT_MAX)
                    << '\n';
                return false;
            }
            mask = item.left(colon);
            rule.left = std::make_shared<std::atomic<int>>(count);
        }
        rule.name = QRegularExpression(QRegularExpression::wildcardToRegularExpression(mask),
                                       QRegularExpression::CaseInsensitiveOption);
        rules.push_back(std::move(rule));
    }
    orvel::setWriteFaultHook([rules](const QString& path) {
        const QString name = QFileInfo(path).fileName();
        for (const Rule& r : rules) {
            if (!r.name.match(name).hasMatch())
                continue;
            if (!r.left)
                return true;
            int n = r.left->load();
            while (n > 0 && !r.left->compare_exchange_weak(n, n - 1)) {
            }
            return n > 0;
        }
        return false;
    });
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);

    // Texts first, so that every message below is in the program's language.
    const QString exeDir = QCoreApplication::applicationDirPath();
    const QString language = orvel::languageFileFromPointer(
        orvel::findFileNoCase(exeDir, QStringLiteral("ORVEL.ini")), exeDir);
    if (!language.isEmpty())
        orvel::LoadLanguage(language);

    QCommandLineParser p;
    p.setApplicationDescription(QStringLiteral(
        "Проводит оповещение по схеме через линии каталога программы, без окон.\n"
        "Код завершения: 0 оповещены все, 1 оповещены не все, 2 неверные входные данные,\n"
        "3 сбой библиотеки линий, 4 остановлено (продолжится при следующем запуске),\n"
        "5 есть незаконченное оповещение (нужно --continue или --fresh),\n"
        "6 не удалось записать некоторые файлы (названы в потоке ошибок)."));
    p.addHelpOption();
    p.addOption({{QStringLiteral("d"), QStringLiteral("dir")},
                 QStringLiteral("Каталог программы."), QStringLiteral("каталог")});
    p.addOption({{QStringLiteral("s"), QStringLiteral("scheme")},
                 QStringLiteral("Имя схемы в каталоге схем или файл .sch."),
                 QStringLiteral("имя")});
    p.addOption({QStringLiteral("continue"),
                 QStringLiteral("Продолжить незаконченное оповещение (схема не используется).")});
    p.addOption({QStringLiteral("fresh"),
                 QStringLiteral("Начать схему заново; незаконченное оповещение сохраняется "
                                "отдельно.")});
    p.addOption({QStringLiteral("all"),
                 QStringLiteral("Оповестить всех абонентов, а не только группы схемы.")});
    p.addOption({QStringLiteral("repeat"),
                 QStringLiteral("Число повторных оповещений неоповещённых (по умолчанию 0)."),
                 QStringLiteral("n"), QStringLiteral("0")});
    p.addOption({{QStringLiteral("q"), QStringLiteral("quiet")},
                 QStringLiteral("Выводить только счётчики, без состояний линий.")});
    p.addOption({QStringLiteral("prepare-demo"),
                 QStringLiteral("Заполнить каталог демонстрационными абонентами, группой, "
                                "сообщением и схемой и завершиться.")});
    p.addOption({QStringLiteral("plan"),
                 QStringLiteral("Показать, когда закончится оповещение и скольких оно "
                                "достигнет, никого не вызывая.")});
    p.addOption({QStringLiteral("orvel-fail-writes"),
                 QStringLiteral("Для проверок: записи в файлы с этими именами (маски через "
                                "запятую) не удаются, как на заполненном диске; \"имя:n\" - "
                                "только первые n."),
                 QStringLiteral("имя[:n],...")});
    p.addOption({QStringLiteral("orvel-die-after-calls"),
                 QStringLiteral("Для проверок: аварийно завершиться после n вызовов."),
                 QStringLiteral("n")});
    p.process(app);

    orvel::TSessionOptions o;
    o.exeDir = exeDir;
    o.programDir = p.value(QStringLiteral("dir"));
    // Without a directory nothing is guessed (and nothing created beside the
    // executable): the usage says what to give.
    if (o.programDir.isEmpty()) {
        out << orvel::T(orvel::textRunNeedsDir) << "\n\n" << p.helpText();
        return orvel::kExitBadInput;
    }
    if (p.isSet(QStringLiteral("prepare-demo"))) {
        QString error;
        if (!orvel::prepareDemoDirectory(o.programDir, &error)) {
            out << error << '\n';
            return orvel::kExitBadInput;
        }
        out << orvel::T(orvel::textRunDemoPrepared)
                   .arg(o.programDir, QString::fromUtf8(orvel::kDemoScheme))
            << '\n';
        out << orvel::T(orvel::textDemoOperatorLogin)
                   .arg(QString::fromUtf8(orvel::kDemoOperator),
                        QString::fromUtf8(orvel::kDemoOperatorPassword))
            << '\n';
        return 0;
    }
    o.scheme = p.value(QStringLiteral("scheme"));
    o.fresh = p.isSet(QStringLiteral("fresh"));
    o.continueRun = p.isSet(QStringLiteral("continue"));
    o.markAll = p.isSet(QStringLiteral("all"));
    o.quiet = p.isSet(QStringLiteral("quiet"));
    o.planOnly = p.isSet(QStringLiteral("plan"));
    if (!readNumber(p, QStringLiteral("repeat"), 0, 1000, o.repeats, out) ||
        !readNumber(p, QStringLiteral("orvel-die-after-calls"), 0, 1000000000, o.dieAfterCalls,
                    out))
        return orvel::kExitBadInput;
    if (o.fresh && o.continueRun) {
        out << "--continue, --fresh?\n\n" << p.helpText();
        return orvel::kExitBadInput;
    }

    if (p.isSet(QStringLiteral("orvel-fail-writes")) &&
        !failWrites(p.value(QStringLiteral("orvel-fail-writes")), out))
        return orvel::kExitBadInput;
    // A file that cannot be written is named at once on standard error; the
    // run goes on and the exit status tells at the end.
    orvel::setWriteFailureReporter([](const QString& path, const QString& error) {
        QTextStream err(stderr);
        err << orvel::T(orvel::textFileNotSaved).arg(path, error) << '\n';
        err.flush();
    });

    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    auto lib = orvel::makeOrvelLineLibrary();
    return orvel::runSession(o, *lib, out, [] { return g_stop.load(); });
}
