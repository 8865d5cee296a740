#pragma once

#include <array>
// A scripted line library: lines go free again after a set number of polls
// with the result the number plan gives the dialled number.

#include <QDateTime>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "notify/line_library.h"

namespace orvel::test {

class FakeLineLibrary : public ILineLibrary {
public:
    struct CallMade {
        int board, channel;
        std::string number;
        int mode;
        qint64 at;  // clock ms when dialled
    };
    struct Channel {
        int state = 0;
        int result = 15;
        int pending = 15;
        int busyPolls = 0;
        int lagPolls = 0;    // polls that still read free after a dial
        qint64 endsAt = -1;  // clock ms when the call ends (callMs > 0)
        int aon = 0;
        bool assigned = false;
    };

    explicit FakeLineLibrary(std::vector<int> linesPerBoard) : boards(std::move(linesPerBoard)) {
        for (size_t b = 0; b < boards.size(); ++b)
            channels.emplace_back(size_t(boards[b]));
    }

    std::vector<int> boards;
    std::vector<std::vector<Channel>> channels;
    std::map<std::string, int> plan;  // dialled string -> result
    int defaultResult = 15;
    int callPolls = 3;
    int takeUpPolls = 0;  // polls a line still reads free after a dial
    bool neverTakeUp = false;
    int callMs = 0;  // > 0: calls last this long on the clock instead of callPolls polls
    int programState = 2;
    int lineProgramState = 4;
    int startResult = 0, soundResult = 0, confirmResult = 0;
    bool refuseEmpty = false;
    bool refuseAll = false;
    std::function<qint64()> clock = [] { return qint64(0); };
    std::vector<CallMade> calls;
    std::vector<std::pair<int, int>> listened;
    int stops = 0, starts = 0, getLineStateCalls = 0;
    NotifyResultCallback callback = nullptr;
    std::mutex mutex;

    int32_t InitDll(const std::string&) override { return 0; }
    int32_t ShutdownDll() override { return 0; }
    int32_t StartDll() override {
        ++starts;
        if (startResult == 0)
            programState = 4;
        return startResult;
    }
    int32_t StopDll() override {
        ++stops;
        programState = 5;
        return 0;
    }
    int32_t AssignLine(uint32_t b, uint32_t c) override {
        std::lock_guard l(mutex);
        auto& ch = channels[b][c];
        ch.assigned = true;
        ch.state = 1;
        return 0;
    }
    int32_t FreeLine(uint32_t b, uint32_t c) override {
        std::lock_guard l(mutex);
        auto& ch = channels[b][c];
        ch.assigned = false;
        ch.state = 0;
        return 0;
    }
    int32_t CallAbonent(uint32_t b, uint32_t c, const std::string& number, int32_t, int32_t,
                        int32_t, int32_t mode) override {
        std::lock_guard l(mutex);
        if (refuseAll || (refuseEmpty && number.empty()))
            return -1;
        calls.push_back({int(b), int(c), number, mode, clock()});
        auto& ch = channels[b][c];
        if (neverTakeUp)
            return 0;
        ch.lagPolls = takeUpPolls;
        ch.state = 2;
        ch.busyPolls = callMs > 0 ? 0 : callPolls;
        ch.endsAt = callMs > 0 ? clock() + callMs : -1;
        auto it = plan.find(number);
        ch.pending = it == plan.end() ? defaultResult : it->second;
        return 0;
    }
    int32_t ListenLine(uint32_t b, uint32_t c, int32_t on) override {
        listened.push_back({int(b * 100 + c), on});
        return 0;
    }
    int32_t LoadSoundFile(const std::string&, int32_t) override { return soundResult; }
    int32_t LoadConfirmFile(const std::string&, int32_t) override { return confirmResult; }
    int32_t GetProgrammState(ProgramStateRecord& r) override {
        r.fill(0);
        r[0] = uint32_t(boards.size());
        r[1] = uint32_t(programState);
        for (size_t b = 0; b < boards.size(); ++b)
            r[3 + 21 * b] = uint32_t(boards[b]);
        return 0;
    }
    int32_t GetLineState(LineStateArray& a) override {
        std::lock_guard l(mutex);
        ++getLineStateCalls;
        a.fill(0);
        a[0] = uint32_t(lineProgramState);
        a[1] = uint32_t(boards.size());
        const TLineStateCoverage cover = lineStateCoverage();
        const qint64 now = clock();  // one reading per poll, as a library's report is one moment
        for (size_t b = 0; b < boards.size() && b < size_t(cover.boards); ++b)
            for (size_t c = 0; c < channels[b].size() && c < size_t(cover.channels); ++c) {
                auto& ch = channels[b][c];
                const bool timeUp = ch.endsAt >= 0 && now >= ch.endsAt;
                if (timeUp)
                    ch.endsAt = -1;
                if (timeUp || (ch.busyPolls > 0 && --ch.busyPolls == 0)) {
                    ch.state = 1;
                    ch.result = ch.pending;
                }
                uint32_t* slot = a.data() + lineSlot(int(b), int(c));
                const bool lagging = ch.lagPolls > 0;
                if (lagging)
                    --ch.lagPolls;
                slot[0] = uint32_t(lagging ? 1 : ch.state);
                slot[1] = uint32_t(ch.result);
                slot[2] = uint32_t(ch.aon);
            }
        return 0;
    }
    // An older library: only 3 boards of 12 lines in its line states.
    bool shortReport = false;
    TLineStateCoverage lineStateCoverage() const override {
        return shortReport ? TLineStateCoverage{kShortStateBoards, kShortStateChannels}
                           : TLineStateCoverage{};
    }
    int32_t SetSensLevel(uint32_t board, uint32_t channel, uint32_t level) override {
        sensCalls.push_back({board, channel, level});
        return 0;
    }
    std::vector<std::array<uint32_t, 3>> sensCalls;
    int32_t SetListenLevel(uint32_t, uint32_t, uint32_t) override { return 0; }
    void SetConfirmOn(int32_t) override {}
    void SetTimeParam(uint32_t, uint32_t, const TCallTimeParams&) override {}
    int32_t logEnable(const std::string&, int32_t) override { return 0; }
    int32_t SetDtmfLevel(uint32_t, uint32_t, uint32_t) override { return 0; }
    void AdvancedDtmfConfirmOn(int32_t) override {}
    void dumpEnable(int32_t) override {}
    void setNotifyResultCallback(NotifyResultCallback cb) override { callback = cb; }
    int32_t setLineType(uint32_t, uint32_t, uint32_t) override { return 0; }
    int32_t setLineDropMode(uint32_t, uint32_t, uint32_t) override { return 0; }

    size_t callCount() {
        std::lock_guard l(mutex);
        return calls.size();
    }
    int callsTo(const std::string& number) const {
        int n = 0;
        for (const auto& c : calls)
            n += c.number == number;
        return n;
    }
};

}  // namespace orvel::test
