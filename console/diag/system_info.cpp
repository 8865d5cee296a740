#include "diag/system_info.h"

#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QRegularExpression>
#include <QStorageInfo>
#include <QStringList>
#include <array>

#include "core/texts.h"

namespace orvel {
namespace {

constexpr char kCrLf[] = "\r\n";
constexpr int kMaxUnits = 3;
constexpr int kBoardWords = 21;
// Raw supply readings per volt, as the units report them.
constexpr double kRaw5VPerVolt = 25.5;
constexpr double kRaw12VPerVolt = 17.75;

bool readText(const QString& path, QString& text) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    // /proc files report no size: read until the end.
    text = QString::fromUtf8(f.readAll());
    return true;
}

// KEY=value of an os-release file, quotes removed.
QString releaseValue(const QString& text, const QString& key) {
    for (const QString& line : text.split(QLatin1Char('\n'))) {
        if (!line.startsWith(key + QLatin1Char('=')))
            continue;
        QString v = line.mid(key.size() + 1).trimmed();
        if (v.size() >= 2 && (v.front() == QLatin1Char('"') || v.front() == QLatin1Char('\'')) &&
            v.back() == v.front())
            v = v.mid(1, v.size() - 2);
        return v.trimmed();
    }
    return {};
}

QString megabytes(uint64_t bytes) {
    return QString::number(bytes >> 20) + QStringLiteral(" Mb.");
}

QString volts(double value) {
    return QLocale::system().toString(value, 'f', 2);
}

QString entry(const QString& label, const QString& value) {
    return label + QStringLiteral(": ") + value + QLatin1String(kCrLf);
}

}  // namespace

QString osNameFromRelease(const SystemInfoSources& sources) {
    QString text;
    if (!readText(sources.osRelease, text) && !readText(sources.osReleaseFallback, text))
        return T(textError);
    QString name = releaseValue(text, QStringLiteral("PRETTY_NAME"));
    if (name.isEmpty()) {
        name = (releaseValue(text, QStringLiteral("NAME")) + QLatin1Char(' ') +
                releaseValue(text, QStringLiteral("VERSION")))
                   .trimmed();
    }
    return name.isEmpty() ? T(textUnknown) : name;
}

QString processorFromCpuInfo(const QString& cpuInfoPath) {
    QString text;
    if (!readText(cpuInfoPath, text))
        return {};
    for (const QString& line : text.split(QLatin1Char('\n'))) {
        const qsizetype colon = line.indexOf(QLatin1Char(':'));
        if (colon > 0 && line.left(colon).trimmed() == QLatin1String("model name"))
            return line.mid(colon + 1).trimmed();
    }
    return {};
}

bool memoryFromMemInfo(const QString& memInfoPath, uint64_t& total, uint64_t& available) {
    QString text;
    if (!readText(memInfoPath, text))
        return false;
    bool haveTotal = false, haveAvailable = false;
    for (const QString& line : text.split(QLatin1Char('\n'))) {
        const QStringList parts = line.simplified().split(QLatin1Char(' '));
        if (parts.size() < 2)
            continue;
        bool ok = false;
        const uint64_t kb = parts[1].toULongLong(&ok);
        if (!ok)
            continue;
        if (parts[0] == QLatin1String("MemTotal:")) {
            total = kb * 1024;
            haveTotal = true;
        } else if (parts[0] == QLatin1String("MemAvailable:")) {
            available = kb * 1024;
            haveAvailable = true;
        }
    }
    return haveTotal && haveAvailable;
}

QString versionFromLibraryFile(const QString& fileName) {
    static const QRegularExpression version(QStringLiteral("\\.so\\.(\\d+(?:\\.\\d+)*)$"));
    const QRegularExpressionMatch m = version.match(QFileInfo(fileName).fileName());
    return m.hasMatch() ? m.captured(1) : QString();
}

SystemFacts gatherSystemFacts(const QString& programDir, ILineLibrary* library,
                              const SystemInfoSources& sources) {
    SystemFacts f;
    f.os = osNameFromRelease(sources);
    f.processor = processorFromCpuInfo(sources.cpuInfo);
    memoryFromMemInfo(sources.memInfo, f.totalMemory, f.freeMemory);
    f.programDir = programDir;
    const QStorageInfo disk(programDir);
    if (disk.isValid() && disk.isReady() && disk.bytesTotal() > 0) {
        f.diskSize = uint64_t(disk.bytesTotal());
        f.diskFree = uint64_t(disk.bytesAvailable());
    }
    f.libraryName = QStringLiteral("liborvel.so");
    if (library) {
        const QString file = QString::fromStdString(library->libraryFile());
        f.libraryVersion = versionFromLibraryFile(file);
        f.state.fill(0);
        library->GetProgrammState(f.state);
    }
    return f;
}

QString converterStateText(uint32_t state) {
    switch (state) {
        case 0:
            return T(textInit);
        case 1:
            return T(textFounded);
        case 2:
            return T(textError);
        default:
            return QString::number(state);
    }
}

QString unitStateText(uint32_t state) {
    static const std::array<const char*, 6> kTexts = {
        "OK",           "Write_Command_Error", "Param_Change_Erroe",
        "Param_Not_Eq", "Acknowledge_Timeout", "Unexpected_Answer",
    };
    return state < kTexts.size() ? QString::fromLatin1(kTexts[state]) : QString::number(state);
}

QString systemInfoText(const SystemFacts& f) {
    const QString crlf = QLatin1String(kCrLf);
    QString t;
    t += entry(T(textOS), f.os);
    t += entry(T(textProcessor), f.processor);
    t += entry(T(textPhysicalMemory), megabytes(f.totalMemory));
    t += entry(T(textFreePhysMemory), megabytes(f.freeMemory));
    t += entry(T(textDirectory), f.programDir);
    if (f.diskSize && f.diskFree) {
        t += entry(T(textDiskSize), megabytes(*f.diskSize));
        t += entry(T(textFreeSpace), megabytes(*f.diskFree));
    }
    if (!f.libraryVersion.isEmpty())
        t += entry(T(textVersion) + QLatin1Char(' ') + f.libraryName, f.libraryVersion) + crlf;
    const uint32_t boards = f.state[0];
    t += entry(T(textDeviceCount), QString::number(boards)) + crlf;
    // The record has room for kMaxBoards; a count beyond it cannot be read.
    const uint32_t shown = std::min<uint32_t>(boards, kMaxBoards);
    for (uint32_t d = 0; d < shown; ++d) {
        const size_t b = 2 + kBoardWords * d;
        const uint32_t version = f.state[b];
        const uint32_t units = std::min<uint32_t>(f.state[b + 2], kMaxUnits);
        t += QStringLiteral("******* ") + T(textDevice).toUpper() + QStringLiteral(" #") +
             QString::number(d + 1) + QStringLiteral(" *******") + crlf;
        t += QLatin1Char(' ') +
             entry(T(textVersion), QString::number(version & 0xFFFF) + QLatin1Char('.') +
                                       QString::number(version >> 16));
        t += QLatin1Char(' ') + entry(T(textChannelCount), QString::number(f.state[b + 1]));
        t += QLatin1Char(' ') + entry(T(textAgreesCount), QString::number(f.state[b + 2])) + crlf;
        for (uint32_t u = 0; u < units; ++u) {
            const size_t w = b + 3 + 6 * u;
            const QString in = QStringLiteral("  ");
            t += QStringLiteral("=== ") + T(textAgrees) + QStringLiteral(" #") +
                 QString::number(u + 1) + QStringLiteral(" =====") + crlf;
            t += in +
                 entry(T(textVersion), QString::number(f.state[w + 4] >> 16) + QLatin1Char('.') +
                                           QString::number(f.state[w + 4] & 0xFFFF));
            t += in + entry(T(textSerialNumber), QString::number(f.state[w + 5]));
            t += in + entry(T(textACPState), converterStateText(f.state[w]));
            t += in + entry(T(textAgreesState), unitStateText(f.state[w + 1]));
            t += in + entry(T(textVoltage) + QStringLiteral(" 5V"),
                            volts(f.state[w + 2] / kRaw5VPerVolt));
            t += in +
                 entry(T(textVoltage) + QStringLiteral(" 12V"),
                       volts(f.state[w + 3] / kRaw12VPerVolt)) +
                 crlf;
        }
    }
    return t;
}

}  // namespace orvel
