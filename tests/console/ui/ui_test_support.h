#pragma once
// The one QApplication of the widget tests, made on first use.

#include <QApplication>

namespace orvel::test {

inline QApplication& app() {
    static int argc = 1;
    static char name[] = "console_ui_tests";
    static char* argv[] = {name, nullptr};
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Never destroyed: tearing Qt down after main() returns is not safe.
    static QApplication* a = new QApplication(argc, argv);
    return *a;
}

}  // namespace orvel::test
