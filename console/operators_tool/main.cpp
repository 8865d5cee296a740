// orvel-operators: keeps the operators file of a program directory. Passwords
// are asked on the terminal without echo (or read as one line from a pipe)
// and stored only as salted Argon2id hashes.

#include <termios.h>
#include <unistd.h>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>
#include <cstdio>
#include <iostream>
#include <string>

#include "core/file_names.h"
#include "core/operators_admin.h"
#include "core/program_dirs.h"

namespace {

constexpr int kExitError = 1;
constexpr int kExitUsage = 2;

QTextStream& err() {
    static QTextStream s(stderr);
    return s;
}

// One line from the standard input; on a terminal the typed text is not
// echoed. False at end of input.
bool readSecretLine(const QString& prompt, QString* line) {
    const bool tty = ::isatty(STDIN_FILENO);
    termios saved{};
    if (tty) {
        err() << prompt << Qt::flush;
        ::tcgetattr(STDIN_FILENO, &saved);
        termios quiet = saved;
        quiet.c_lflag &= ~tcflag_t(ECHO);
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    }
    std::string s;
    const bool ok = bool(std::getline(std::cin, s));
    if (tty) {
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
        err() << '\n' << Qt::flush;
    }
    *line = QString::fromStdString(s);
    return ok;
}

// A new password: typed twice on a terminal, once from a pipe.
bool askNewPassword(bool allowEmpty, QString* password) {
    if (allowEmpty) {
        password->clear();
        return true;
    }
    if (!readSecretLine(QStringLiteral("Пароль: "), password)) {
        err() << "Пароль не введён\n";
        return false;
    }
    if (password->isEmpty()) {
        err() << "Пустой пароль: укажите --empty-password, если он нужен (вход по AutoLogin)\n";
        return false;
    }
    if (::isatty(STDIN_FILENO)) {
        QString again;
        if (!readSecretLine(QStringLiteral("Повторите пароль: "), &again) || again != *password) {
            err() << "Пароли не совпадают\n";
            return false;
        }
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QCommandLineParser p;
    p.setApplicationDescription(QStringLiteral(
        "Ведение файла операторов программы оповещения.\n\n"
        "Команды:\n"
        "  list                      операторы и их права\n"
        "  add ИМЯ [--rights ПРАВА]  новый оператор (пароль спрашивается)\n"
        "  remove ИМЯ                удалить оператора\n"
        "  rights ИМЯ ПРАВА          задать права\n"
        "  passwd ИМЯ                сменить пароль\n\n"
        "ПРАВА: через запятую admin, start, base, lines, groups, params, reports,\n"
        "interface, export; all (все), none (никаких) или число (0x3FD)."));
    p.addHelpOption();
    p.addOption({{QStringLiteral("d"), QStringLiteral("dir")},
                 QStringLiteral("Каталог программы (по умолчанию настроенный)."),
                 QStringLiteral("dir")});
    p.addOption({{QStringLiteral("f"), QStringLiteral("file")},
                 QStringLiteral("Файл операторов (вместо каталога)."), QStringLiteral("file")});
    p.addOption({QStringLiteral("rights"), QStringLiteral("Права нового оператора."),
                 QStringLiteral("rights"), QStringLiteral("none")});
    p.addOption({QStringLiteral("empty-password"),
                 QStringLiteral("Пустой пароль (для входа по ключу AutoLogin).")});
    p.addPositionalArgument(QStringLiteral("команда"), QStringLiteral("list, add, remove, "
                                                                      "rights, passwd"));
    p.process(app);

    const QStringList args = p.positionalArguments();
    const QString command = args.value(0);
    const auto needArgs = [&](int n) {
        if (args.size() == n)
            return true;
        err() << "Неверные аргументы; см. --help\n";
        return false;
    };
    orvel::ProductNames names;
    QString path = p.value(QStringLiteral("file"));
    if (path.isEmpty()) {
        QString dir = p.value(QStringLiteral("dir"));
        if (dir.isEmpty())
            dir = orvel::loadProgramDirs(QCoreApplication::applicationDirPath(), names).program;
        path = orvel::findFileNoCase(dir, names.operatorsFileName());
    }
    orvel::TOperatorsAdmin admin(path);
    if (!admin.load()) {
        err() << admin.error() << '\n';
        return kExitError;
    }
    if (admin.droppedTail())
        err() << "Неполная запись в конце файла отброшена\n";

    bool ok = false;
    if (command == QLatin1String("list")) {
        if (!needArgs(1))
            return kExitUsage;
        int n = 0;
        for (const auto& row : admin.rows()) {
            ++n;
            if (!row.readable) {
                out << n << ". (запись не читается)\n";
                continue;
            }
            out << n << ". " << row.name << (row.hashed ? "" : "  [пароль в старом виде]")
                << "\n    " << orvel::rightsNames(row.rights).join(QStringLiteral(", ")) << '\n';
        }
        return 0;
    } else if (command == QLatin1String("add")) {
        if (!needArgs(2))
            return kExitUsage;
        const auto rights = orvel::parseRightsList(p.value(QStringLiteral("rights")));
        if (!rights) {
            err() << "Неизвестное право в списке: " << p.value(QStringLiteral("rights")) << '\n';
            return kExitUsage;
        }
        QString password;
        if (!askNewPassword(p.isSet(QStringLiteral("empty-password")), &password))
            return kExitError;
        ok = admin.add(args[1], *rights, password);
    } else if (command == QLatin1String("remove")) {
        if (!needArgs(2))
            return kExitUsage;
        ok = admin.remove(args[1]);
    } else if (command == QLatin1String("rights")) {
        if (!needArgs(3))
            return kExitUsage;
        const auto rights = orvel::parseRightsList(args[2]);
        if (!rights) {
            err() << "Неизвестное право в списке: " << args[2] << '\n';
            return kExitUsage;
        }
        ok = admin.setRights(args[1], *rights);
    } else if (command == QLatin1String("passwd")) {
        if (!needArgs(2))
            return kExitUsage;
        QString password;
        if (!askNewPassword(p.isSet(QStringLiteral("empty-password")), &password))
            return kExitError;
        ok = admin.setPassword(args[1], password);
    } else {
        err() << "Неизвестная команда; см. --help\n";
        return kExitUsage;
    }
    if (!ok || !admin.save()) {
        err() << admin.error() << '\n';
        return kExitError;
    }
    out << "Записано: " << path << '\n';
    return 0;
}
