#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include "app/startup.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("orvel"));
    // Qt's own dialogs (files, colours, fonts, printing) speak the program's
    // language, whatever the desktop's locale.
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    QTranslator qtTexts;
    if (qtTexts.load(QStringLiteral("qtbase_ru"),
                     QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QApplication::installTranslator(&qtTexts);
    }
    return orvel::runProgram(orvel::parseStartOptions(QApplication::arguments()));
}
