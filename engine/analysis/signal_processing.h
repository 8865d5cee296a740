// The per-channel signal analysis: CRawAnalyzer follows the line's life from
// the acknowledgements it sees and feeds the channel's samples through
// CSignalProcessing (voice activity, call-progress tones, DTMF). This holds
// the analysis objects' frame: their lock, sample rate, rule base and dumps.
#pragma once

#include <ace/Recursive_Thread_Mutex.h>

#include <cstdint>
#include <string>

#include "dump_file.h"
#include "messages.h"

namespace orvel {

class CSignalAnalysisTask;

class CSignalProcessing {
public:
    // Reads the fuzzy rule base the call-progress decision uses; -1 when it
    // cannot be read.
    int loadFis(const std::string& path);
    void setSampleRate(uint32_t rate) { sampleRate_ = rate; }
    uint32_t sampleRate() const { return sampleRate_; }

    // Closes this call's dumps and opens those selected by `mask` for a new
    // call: files named from the channel's dump directory and the call prefix.
    void openDumps(const std::string& channelDir, const std::string& callPrefix, uint32_t mask);

    ACE_Recursive_Thread_Mutex& lock() { return lock_; }

private:
    ACE_Recursive_Thread_Mutex lock_;
    uint32_t sampleRate_ = 8000;
    std::string fisPath_;
    DumpFile stateDump_;
    DumpFile waveDump_;
};

class CRawAnalyzer {
public:
    virtual ~CRawAnalyzer() = default;
    virtual void initialise(const Address& address, CSignalAnalysisTask* task);
    virtual void stop() {}
    // Looks at one block on its way down; the caller keeps the block.
    virtual int process(const ACE_Message_Block* mb);
    virtual uint32_t state() const { return state_; }

    CSignalProcessing& processing() { return processing_; }
    const Address& address() const { return address_; }

private:
    CSignalAnalysisTask* task_ = nullptr;
    Address address_;
    uint32_t state_ = 0;
    CSignalProcessing processing_;
};

}  // namespace orvel
