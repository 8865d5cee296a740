#pragma once
// A notification scheme: one fixed 13328-byte record in a ".sch" file with
// the message, attempts, pause, groups, sort column and time limit of a run.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>

namespace orvel {

inline constexpr int kSchemeRecordSize = 13328;
inline constexpr int kSchemeMaxGroups = 50;
inline constexpr int kSchemeMaxAttempts = 2147483647;
inline constexpr double kSchemeMaxPause = 240.0;
inline constexpr int kSchemeMaxTimeLimit = 300;

struct TNotifyScheme {
    QString messageFile;
    int attempts = 5;
    float pause = 0;  // minutes
    QStringList groups;
    int sortIndex = 0;
    int timeLimit = 0;  // minutes, 0 = none

    // Reads as far as the bytes go (the rest counts as zero); every value is
    // clamped to what the editor accepts, a group name that could leave the
    // group directory is dropped.
    static TNotifyScheme fromBytes(const QByteArray& record);
    // The whole record, cleared first; texts cut to their fields.
    QByteArray toBytes() const;

    // Nothing when the file cannot be read. With a program directory, a
    // stored relative message path counts from it (messageFile is then the
    // whole path).
    static std::optional<TNotifyScheme> load(const QString& path,
                                             const QString& programDir = QString());
    // Written aside and renamed; false when it could not be written. With a
    // program directory, a message file inside it is stored relative to it.
    bool save(const QString& path, const QString& programDir = QString()) const;
};

// The message path as a scheme stores it: relative to the program directory
// when the file lies inside it, so that the directory can be moved or copied
// with its schemes; absolute otherwise.
QString storedMessagePath(const QString& path, const QString& programDir);
// A stored message path made whole: a relative path counts from the program
// directory ("\\" read as "/"); an absolute one stays as it is.
QString resolvedMessagePath(const QString& stored, const QString& programDir);

// The scheme's name: the file name without its directory and without the
// first ".sch".
QString schemeName(const QString& path);
// A group name that names a file inside the group directory.
bool isValidGroupName(const QString& name);
// "Не ограничено", "45 мин." or "2 ч.  5 мин.".
QString timeLimitCaption(int minutes);

}  // namespace orvel
