#pragma once
// Changing one of the five data directories from the parameters dialog. The
// new path becomes live only when it exists (created with its parents when
// missing) and the registry holds it; otherwise the program keeps the old
// directory in memory and in the registry, and the caller shows the reason.

#include <QString>

#include "core/program_dirs.h"

namespace orvel {

enum class DataDirectory { WavMessages, TxtMessages, Groups, Schemes, Reports };

enum class DirectoryChangeError {
    None,
    NotSpecified,   // empty edit: a warning
    CannotCreate,   // the directory could not be made: an error with the system's text
    RegistryError,  // the registry key could not be opened or written
};

struct DirectoryChangeResult {
    DirectoryChangeError error = DirectoryChangeError::None;
    QString message;  // for the message dialog, empty on success
    QString caption;
    bool ok() const { return error == DirectoryChangeError::None; }
};

// The field of `dirs` a data directory lives in, and its registry value name.
QString& directoryField(ProgramDirs& dirs, DataDirectory which);
const char* directoryRegistryName(DataDirectory which);
// The word that names the directory in the warning about an empty edit.
QString directoryWord(DataDirectory which);

// Checks, creates, writes the registry value and only then changes `dirs`.
DirectoryChangeResult changeDataDirectory(ProgramDirs& dirs, DataDirectory which,
                                          const QString& value, Registry& registry);

}  // namespace orvel
