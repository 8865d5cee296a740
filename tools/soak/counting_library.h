#pragma once
// The real line library with a tally kept in between: the calls the engine
// accepted, and the lines in a call (dialled, not yet seen free again), so
// that a listener thread can pick one and switch its sound on and off safely
// while the engine may be shutting down between runs.

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <random>

#include "notify/line_library.h"

namespace orvel::soak {

struct TCallTally {
    uint64_t calls = 0;    // calls the engine accepted
    uint64_t listens = 0;  // times a line in a call was listened to
};

class TCountingLineLibrary final : public ILineLibrary {
public:
    explicit TCountingLineLibrary(std::unique_ptr<ILineLibrary> inner);
    ~TCountingLineLibrary() override;

    TCallTally tally() const;
    // Switches the sound of a random line that is in a call on (`on`) or
    // off again (the line switched on last); false when there is none or
    // the engine is not running.
    bool listenToSomeLine(bool on, std::mt19937& random);

    int32_t InitDll(const std::string& directory) override;
    int32_t ShutdownDll() override;
    int32_t StartDll() override { return inner_->StartDll(); }
    int32_t StopDll() override { return inner_->StopDll(); }
    int32_t AssignLine(uint32_t b, uint32_t c) override { return inner_->AssignLine(b, c); }
    int32_t FreeLine(uint32_t b, uint32_t c) override { return inner_->FreeLine(b, c); }
    int32_t CallAbonent(uint32_t board, uint32_t channel, const std::string& number,
                        int32_t toneDial, int32_t mainMessage, int32_t confirmMessage,
                        int32_t confirmationMode) override;
    int32_t ListenLine(uint32_t b, uint32_t c, int32_t on) override;
    int32_t LoadSoundFile(const std::string& p, int32_t n) override {
        return inner_->LoadSoundFile(p, n);
    }
    int32_t LoadConfirmFile(const std::string& p, int32_t n) override {
        return inner_->LoadConfirmFile(p, n);
    }
    int32_t GetProgrammState(ProgramStateRecord& r) override { return inner_->GetProgrammState(r); }
    int32_t GetLineState(LineStateArray& s) override;
    TLineStateCoverage lineStateCoverage() const override { return inner_->lineStateCoverage(); }
    int32_t SetSensLevel(uint32_t b, uint32_t c, uint32_t l) override {
        return inner_->SetSensLevel(b, c, l);
    }
    int32_t SetListenLevel(uint32_t b, uint32_t c, uint32_t l) override {
        return inner_->SetListenLevel(b, c, l);
    }
    void SetConfirmOn(int32_t on) override { inner_->SetConfirmOn(on); }
    void SetTimeParam(uint32_t b, uint32_t c, const TCallTimeParams& p) override {
        inner_->SetTimeParam(b, c, p);
    }
    int32_t logEnable(const std::string& p, int32_t e) override { return inner_->logEnable(p, e); }
    int32_t SetDtmfLevel(uint32_t b, uint32_t c, uint32_t l) override {
        return inner_->SetDtmfLevel(b, c, l);
    }
    void AdvancedDtmfConfirmOn(int32_t on) override { inner_->AdvancedDtmfConfirmOn(on); }
    void dumpEnable(int32_t on) override { inner_->dumpEnable(on); }
    void setNotifyResultCallback(NotifyResultCallback callback) override {
        inner_->setNotifyResultCallback(callback);
    }
    int32_t setLineType(uint32_t b, uint32_t c, uint32_t v) override {
        return inner_->setLineType(b, c, v);
    }
    int32_t setLineDropMode(uint32_t b, uint32_t c, uint32_t v) override {
        return inner_->setLineDropMode(b, c, v);
    }
    std::string libraryFile() override { return inner_->libraryFile(); }

private:
    std::unique_ptr<ILineLibrary> inner_;
    // Held over engine calls that must not meet a shutdown; never taken by
    // the result callback, which may come from inside the engine.
    std::mutex engineMutex_;
    bool running_ = false;      // between a successful InitDll and ShutdownDll
    mutable std::mutex mutex_;  // the tally and the lines in a call; held briefly
    // Per line: 0 no call, 1 dialled, 2 seen busy since (in a call).
    std::array<uint8_t, kMaxLines> inCall_{};
    int listened_ = -1;  // line whose sound is on
    TCallTally tally_;
};

}  // namespace orvel::soak
