#include "core/directory_change.h"

#include <QFile>
#include <filesystem>
#include <system_error>

#include "core/file_names.h"
#include "core/texts.h"

namespace orvel {

QString& directoryField(ProgramDirs& dirs, DataDirectory which) {
    switch (which) {
        case DataDirectory::WavMessages:
            return dirs.wavMessages;
        case DataDirectory::TxtMessages:
            return dirs.txtMessages;
        case DataDirectory::Groups:
            return dirs.groups;
        case DataDirectory::Schemes:
            return dirs.schemes;
        case DataDirectory::Reports:
            break;
    }
    return dirs.reports;
}

const char* directoryRegistryName(DataDirectory which) {
    switch (which) {
        case DataDirectory::WavMessages:
            return kRegWavDir;
        case DataDirectory::TxtMessages:
            return kRegTxtDir;
        case DataDirectory::Groups:
            return kRegGroupDir;
        case DataDirectory::Schemes:
            return kRegSchemeDir;
        case DataDirectory::Reports:
            break;
    }
    return kRegReportsDir;
}

QString directoryWord(DataDirectory which) {
    switch (which) {
        case DataDirectory::WavMessages:
            return T(textSoundMessages);
        case DataDirectory::TxtMessages:
            return T(textTextMessages);
        case DataDirectory::Groups:
            return T(textAbonentsGroup);
        case DataDirectory::Schemes:
            return T(textAlarmSchemes);
        case DataDirectory::Reports:
            break;
    }
    return T(textReportsCount);
}

DirectoryChangeResult changeDataDirectory(ProgramDirs& dirs, DataDirectory which,
                                          const QString& value, Registry& registry) {
    DirectoryChangeResult r;
    const QString path = withoutTrailingDelimiter(value.trimmed());
    if (path.isEmpty()) {
        r.error = DirectoryChangeError::NotSpecified;
        r.message = T(textDirectoryNotSpecified) + QLatin1Char(' ') + directoryWord(which) +
                    QStringLiteral(" !");
        r.caption = T(textWarning);
        return r;
    }
    std::error_code ec;
    const std::filesystem::path fsPath(QFile::encodeName(path).toStdString());
    std::filesystem::create_directories(fsPath, ec);
    if (!ec && !std::filesystem::is_directory(fsPath, ec) && !ec)
        ec = std::make_error_code(std::errc::not_a_directory);
    if (ec) {
        r.error = DirectoryChangeError::CannotCreate;
        r.message = T(textDirectoryCreateError) + QStringLiteral(" \"") + path +
                    QStringLiteral("\":\n") + QString::fromLocal8Bit(ec.message().c_str());
        r.caption = T(textError);
        return r;
    }
    if (!registry.open() ||
        !registry.setValue(QString::fromLatin1(directoryRegistryName(which)), path)) {
        r.error = DirectoryChangeError::RegistryError;
        r.message = T(textRegistryChangeError) + QLatin1Char('!');
        r.caption = T(textError);
        return r;
    }
    directoryField(dirs, which) = path;
    return r;
}

}  // namespace orvel
