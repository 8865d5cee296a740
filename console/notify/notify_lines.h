#pragma once
// The telephone lines of the boards: one line object per line the library
// reported, its configuration, the subscriber being called on it during a
// run and what its row in the status window shows.

#include <QString>
#include <QStringList>
#include <cstdint>
#include <memory>
#include <vector>

#include "notify/line_library.h"
#include "notify/line_status.h"

namespace orvel {

class SettingsManager;
struct TUserListItem;

// What the line's row in the status window shows.
struct TLineRow {
    QString status;
    uint32_t panel = colors::kGrey;
    uint32_t font = colors::kSilver;
    QString number;
    QString name;
    bool controlsVisible = false;
};

class TORVELLine {
public:
    TORVELLine(int board, int channel) : Board(board), Channel(channel) {}

    int32_t Board;
    int32_t Channel;
    TUserListItem* Subscriber = nullptr;
    int32_t WaitDialTone = 0;
    int32_t Prefix1 = -1, Prefix1WaitDialTone = 1;
    int32_t Prefix2 = -1, Prefix2WaitDialTone = 1;
    int32_t Prefix3 = -1, Prefix3WaitDialTone = 1;
    int32_t Enabled = 1;
    int32_t LineType = 0;
    int32_t DialMode = 1;
    int32_t DropMode = 1;
    bool Assigned = false;
    int32_t State = 0;
    uint8_t AonFlag = 0;
    int32_t Result = 0;
    TCallTimeParams TimeParams;
    TLineRow Row;
    QString LastDialString;  // the dial string last shown on the row
    // Since the last dial: whether the line was seen leaving "free", and when
    // the dial was made (ms since the epoch).
    bool CallSeenBusy = false;
    qint64 CallStartedMs = 0;
    // The subscriber's confirmation came while the line was still in the
    // call: booked at once, so the line's end books nothing more.
    bool ResultBooked = false;

    void Assign(ILineLibrary& lib);
    void Release(ILineLibrary& lib);
    // The text of State; also sets the row's colours (unchanged for an
    // unknown code).
    QString StatusText();
    // The same, telling whether the row's text or panel colour changed. The
    // run polls every line before each call it makes, so a state already
    // shown is recognised without looking its text up again.
    bool UpdateLook();

private:
    // The look last applied, valid while the row still shows it.
    bool lookCached_ = false;
    int32_t lookState_ = 0;
    bool lookAssigned_ = false;
    uint32_t lookPanel_ = 0;
    uint32_t lookFont_ = 0;
    QString lookText_;
};

// Keeps "#", "*", ",", the digits and lower-case "w".
QString FilterNumber(const QString& phone);
// The dial string: waits for dial tone and the exit prefix the number selects.
QString AddPrefixes(const QString& filtered, const TORVELLine& line);
// "board 1 channel 12" (as the line list names a channel it cannot serve)
// in the program's words, counted from 1 as the board panels are.
QString unservedLineText(const QString& line);

class TORVLines {
public:
    // One line per channel of every board the record reports, as far as
    // the library's line states describe them (`coverage`: all of up to 10
    // boards of 18 lines, or only 3 of 12 from an older library); the
    // channels beyond are listed in `unreachable` ("board b channel c"
    // texts) so the caller can warn.
    void Create(const ProgramStateRecord& record, QStringList* unreachable = nullptr,
                TLineStateCoverage coverage = {});
    int Count() const { return int(lines_.size()); }
    // nullptr for a negative index, one beyond the last line or above 255.
    TORVELLine* Items(int index);
    const TORVELLine* Items(int index) const;
    void ReleaseAll(ILineLibrary& lib);

    // Reads every line's configuration and timing from the settings.
    void loadSettings(const SettingsManager& settings);

private:
    std::vector<std::unique_ptr<TORVELLine>> lines_;
};

}  // namespace orvel
