#include "call/processing_algorithm.h"

#include <ace/Log_Msg.h>

#include "call/logic_processing.h"

namespace orvel {

int CProcessingAlgorithm::SendCommand(uint32_t code, uint32_t a1, uint32_t a2, uint32_t a3) {
    ACE_Message_Block* mb = makeCommandBlock(address_, code, a1, a2, a3);
    if (mb == nullptr) {
        return -1;
    }
    // The task consumes the block whatever the outcome.
    const int result = task_ != nullptr ? task_->SendCommand(mb) : (releaseBlock(mb), -1);
    if (result == -1) {
        ACE_ERROR((LM_ERROR, ACE_TEXT(" Processing algorithm: error send command %u\n"), code));
        lastError_ = 6;
    }
    return result;
}

}  // namespace orvel
