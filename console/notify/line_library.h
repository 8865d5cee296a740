#pragma once
// The line library as the program sees it: the exports it calls, behind one
// interface so that the run can be driven by the real library or by a
// scripted stand-in in tests.

#include <array>
#include <cstdint>
#include <string>

namespace orvel {

// The eight call timing words of a line, laid out as the library expects.
struct TCallTimeParams {
    int32_t DialTonePause = 5;
    int32_t RedialPause = 3;
    int32_t KpwWait = 30;
    int32_t BusyTime = 3;
    int32_t NoToneTime = 30;
    int32_t ConfirmPause = 5;
    int32_t MessagesCount = 3;
    int32_t DTMFAmplitude = 1;
};
static_assert(sizeof(TCallTimeParams) == 32);

// Program state codes as the program interprets them.
enum ProgramState : int32_t {
    kStateInitialising = 1,
    kStateReady = 2,
    kStateStarted = 4,
    kStateStopped = 5,
    kStateNoBoard = 6,
};

// The program state record: 2 words, then 21 per board; room for as many
// boards as the library may ever report, so a larger machine cannot overrun it.
inline constexpr int kMaxBoards = 10;
inline constexpr int kProgramStateWords = 2 + 21 * kMaxBoards;

// The line states as the program reads them: the library's full report,
// every channel of up to 10 boards of 18 lines. Word 0 the program state,
// word 1 the board count, then per board 18 slots of three words (line
// status code, result of the last call, caller-identification flag).
inline constexpr int kChannelsPerBoard = 18;
inline constexpr int kMaxLines = kMaxBoards * kChannelsPerBoard;
inline constexpr int kLineSlotWords = 3;
inline constexpr int kLineStateHeaderWords = 2;
inline constexpr int kLineStateWords = kLineStateHeaderWords + kLineSlotWords * kMaxLines;
// First word of the slot of a board's channel (both in range).
constexpr size_t lineSlot(int board, int channel) {
    return size_t(kLineStateHeaderWords + kLineSlotWords * (kChannelsPerBoard * board + channel));
}

// The short array of libraries without the full report: 145 words for 3
// boards of 12 channels (status at 1 + 12b + c, result at 37 + ..., AON at
// 109 + ...).
inline constexpr int kShortStateBoards = 3;
inline constexpr int kShortStateChannels = 12;
inline constexpr int kShortStateWords = 145;
inline constexpr int kShortStateResultBase = 37;
inline constexpr int kShortStateAonBase = 109;

// The boards and channels whose lines the library's line states describe.
struct TLineStateCoverage {
    int boards = kMaxBoards;
    int channels = kChannelsPerBoard;
    bool full() const { return boards >= kMaxBoards && channels >= kChannelsPerBoard; }
};

using LineStateArray = std::array<uint32_t, kLineStateWords>;
using ProgramStateRecord = std::array<uint32_t, kProgramStateWords>;

using NotifyResultCallback = void (*)(uint32_t board, uint32_t channel, uint32_t result);

class ILineLibrary {
public:
    virtual ~ILineLibrary() = default;

    virtual int32_t InitDll(const std::string& directory) = 0;
    virtual int32_t ShutdownDll() = 0;
    virtual int32_t StartDll() = 0;
    virtual int32_t StopDll() = 0;
    virtual int32_t AssignLine(uint32_t board, uint32_t channel) = 0;
    virtual int32_t FreeLine(uint32_t board, uint32_t channel) = 0;
    virtual int32_t CallAbonent(uint32_t board, uint32_t channel, const std::string& number,
                                int32_t toneDial, int32_t mainMessage, int32_t confirmMessage,
                                int32_t confirmationMode) = 0;
    virtual int32_t ListenLine(uint32_t board, uint32_t channel, int32_t on) = 0;
    virtual int32_t LoadSoundFile(const std::string& path, int32_t number) = 0;
    virtual int32_t LoadConfirmFile(const std::string& path, int32_t number) = 0;
    virtual int32_t GetProgrammState(ProgramStateRecord& record) = 0;
    // The line states of every line the library describes, in the layout
    // above (lines it does not describe read 0).
    virtual int32_t GetLineState(LineStateArray& state) = 0;
    // Which lines GetLineState describes: all, unless the library is an
    // older one with only the short array.
    virtual TLineStateCoverage lineStateCoverage() const { return {}; }
    virtual int32_t SetSensLevel(uint32_t board, uint32_t channel, uint32_t level) = 0;
    virtual int32_t SetListenLevel(uint32_t board, uint32_t channel, uint32_t level) = 0;
    virtual void SetConfirmOn(int32_t on) = 0;
    virtual void SetTimeParam(uint32_t board, uint32_t channel, const TCallTimeParams& params) = 0;
    virtual int32_t logEnable(const std::string& path, int32_t enable) = 0;
    virtual int32_t SetDtmfLevel(uint32_t board, uint32_t channel, uint32_t level) = 0;
    virtual void AdvancedDtmfConfirmOn(int32_t on) = 0;
    virtual void dumpEnable(int32_t on) = 0;
    virtual void setNotifyResultCallback(NotifyResultCallback callback) = 0;
    virtual int32_t setLineType(uint32_t board, uint32_t channel, uint32_t value) = 0;
    virtual int32_t setLineDropMode(uint32_t board, uint32_t channel, uint32_t value) = 0;
    // The path of the library file as loaded (its name carries the version);
    // empty when there is no file behind the interface.
    virtual std::string libraryFile() { return {}; }
};

}  // namespace orvel
