#include "analysis/signal_processing.h"

#include <ace/Guard_T.h>

#include <fstream>

namespace orvel {

using Guard = ACE_Guard<ACE_Recursive_Thread_Mutex>;

int CSignalProcessing::loadFis(const std::string& path) {
    std::ifstream file(path);
    if (!file) {
        return -1;
    }
    Guard guard(lock_);
    fisPath_ = path;
    return 0;
}

void CSignalProcessing::openDumps(const std::string& channelDir, const std::string& callPrefix,
                                  uint32_t mask) {
    Guard guard(lock_);
    stateDump_.open(DUMP_PD_STATE, mask, channelDir, callPrefix);
    waveDump_.open(DUMP_PD_WAV, mask, channelDir, callPrefix);
}

void CRawAnalyzer::initialise(const Address& address, CSignalAnalysisTask* task) {
    address_ = address;
    task_ = task;
    state_ = 0;
}

int CRawAnalyzer::process(const ACE_Message_Block*) { return 0; }

}  // namespace orvel
