#pragma once
// What the program holds for as long as it runs: names, directories, the
// settings store and the objects built from them at start.

#include <QString>

#include "core/confirm_methods.h"
#include "core/file_names.h"
#include "core/program_dirs.h"
#include "core/program_options.h"
#include "core/settings_manager.h"
#include "data/user_list.h"
#include "diag/line_state_log.h"

namespace orvel {

struct ProgramContext {
    QString executableDir;
    ProductNames names;
    ProgramDirs dirs;
    SettingsManager settings;
    ProgramOptions options;
    TConfirmMethodManager confirmMethods;
    TUserList users{&settings};
    TLineStateLog lineStateLog;
};

}  // namespace orvel
