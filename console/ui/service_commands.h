#pragma once
// Two commands of the main window: "Импорт записей..." and "Создать отчет
// для разработчиков", each the widget-free work with its window side filled
// in (rights, wait cursor, progress window, message boxes).

#include <QString>
#include <functional>

class QWidget;

namespace orvel {

class ILineLibrary;
struct ProgramContext;

void runDeveloperReport(ProgramContext& ctx, ILineLibrary* library, QWidget* mainWindow);

// The import window over the context's list; `runInProgress` refuses while a
// run uses the list.
void runImportWindow(ProgramContext& ctx, QWidget* mainWindow,
                     const std::function<bool()>& runInProgress);

}  // namespace orvel
