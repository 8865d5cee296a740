#include <QApplication>

#include "app/startup.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("orvel"));
    return orvel::runProgram(orvel::parseStartOptions(QApplication::arguments()));
}
