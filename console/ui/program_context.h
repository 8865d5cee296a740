#pragma once
// What the program holds for as long as it runs: names, directories, the
// settings store and the objects built from them at start.

#include <QList>
#include <QString>
#include <functional>

class QWidget;

#include "core/confirm_methods.h"
#include "core/file_names.h"
#include "core/operator_rights.h"
#include "core/program_dirs.h"
#include "core/program_options.h"
#include "core/settings_manager.h"
#include "data/user_list.h"
#include "diag/line_state_log.h"

namespace orvel {

// Commands of the main window whose windows live in files of their own. The
// start-up sequence fills an entry once its window exists; the main window
// offers a command only while its entry is set (and the operator's rights
// allow it). Each opener gets the main window as the parent.
struct WindowCommands {
    std::function<void(QWidget*)> currentUser;      // "Пользователь"
    std::function<void(QWidget*)> advancedParams;   // "Дополнительные настройки"
    std::function<void(QWidget*)> notifyReport;     // "Результат оповещения"
    std::function<void(QWidget*)> printList;        // "Печать..."
    std::function<void(QWidget*)> exportList;       // "Экспорт записей..."
    std::function<void(QWidget*)> recordMessage;    // "Звуковое сообщение оповещения"
    std::function<void(QWidget*)> recordConfirm;    // "Сообщение о запросе подтверждения"
    std::function<void(QWidget*)> synthesis;        // "Синтез сообщения из текста"
    std::function<void(QWidget*)> deleteMessages;   // "Удалить сообщение"
    std::function<void(QWidget*)> importRecords;    // "Импорт записей..."
    std::function<void(QWidget*)> developerReport;  // "Создать отчет для разработчиков"
    // Filled by the main window: the list entries in the order and selection
    // the list shows them (group filter and sort applied).
    std::function<QList<int>()> shownEntries;
    // Filled by the main window: the list was changed behind its back
    // (import, operations of other windows); it reloads its rows.
    std::function<void()> refreshList;
};

struct ProgramContext {
    QString executableDir;
    ProductNames names;
    ProgramDirs dirs;
    SettingsManager settings;
    ProgramOptions options;
    TConfirmMethodManager confirmMethods;
    TUserList users{&settings};
    TLineStateLog lineStateLog;
    // Asked by every window before it offers a command.
    TOperatorRights rights;
    WindowCommands commands;
};

}  // namespace orvel
