#include "counting_library.h"

#include <vector>

#include "notify/line_status.h"

namespace orvel::soak {

namespace {
int lineIndex(uint32_t board, uint32_t channel) {
    if (board >= uint32_t(kMaxBoards) || channel >= uint32_t(kChannelsPerBoard))
        return -1;
    return int(board) * kChannelsPerBoard + int(channel);
}
}  // namespace

TCountingLineLibrary::TCountingLineLibrary(std::unique_ptr<ILineLibrary> inner)
    : inner_(std::move(inner)) {}

TCountingLineLibrary::~TCountingLineLibrary() = default;

TCallTally TCountingLineLibrary::tally() const {
    std::lock_guard lock(mutex_);
    return tally_;
}

int32_t TCountingLineLibrary::InitDll(const std::string& directory) {
    std::lock_guard engine(engineMutex_);
    const int32_t rc = inner_->InitDll(directory);
    running_ = rc == 0;
    return rc;
}

int32_t TCountingLineLibrary::ShutdownDll() {
    std::lock_guard engine(engineMutex_);
    running_ = false;
    {
        std::lock_guard lock(mutex_);
        inCall_.fill(0);
        listened_ = -1;
    }
    return inner_->ShutdownDll();
}

int32_t TCountingLineLibrary::CallAbonent(uint32_t board, uint32_t channel,
                                          const std::string& number, int32_t toneDial,
                                          int32_t mainMessage, int32_t confirmMessage,
                                          int32_t confirmationMode) {
    const int32_t rc = inner_->CallAbonent(board, channel, number, toneDial, mainMessage,
                                           confirmMessage, confirmationMode);
    const int line = lineIndex(board, channel);
    if (rc == 0 && line >= 0) {
        std::lock_guard lock(mutex_);
        ++tally_.calls;
        inCall_[size_t(line)] = 1;
    }
    return rc;
}

int32_t TCountingLineLibrary::GetLineState(LineStateArray& state) {
    const int32_t rc = inner_->GetLineState(state);
    // Right after the dial a line may still read free: its call begins when
    // it is first read busy and ends when it is read free again.
    std::lock_guard lock(mutex_);
    for (int k = 0; k < kMaxLines; ++k) {
        uint8_t& c = inCall_[size_t(k)];
        const bool free =
            state[lineSlot(k / kChannelsPerBoard, k % kChannelsPerBoard)] == uint32_t(kStatusFree);
        if (c == 1 && !free)
            c = 2;
        else if (c == 2 && free)
            c = 0;
    }
    return rc;
}

int32_t TCountingLineLibrary::ListenLine(uint32_t b, uint32_t c, int32_t on) {
    std::lock_guard engine(engineMutex_);
    return inner_->ListenLine(b, c, on);
}

bool TCountingLineLibrary::listenToSomeLine(bool on, std::mt19937& random) {
    std::lock_guard engine(engineMutex_);
    if (!running_)
        return false;
    int line = -1;
    {
        std::lock_guard lock(mutex_);
        if (on) {
            std::vector<int> busy;
            for (int k = 0; k < kMaxLines; ++k)
                if (inCall_[size_t(k)] == 2)
                    busy.push_back(k);
            if (busy.empty())
                return false;
            line = busy[std::uniform_int_distribution<size_t>(0, busy.size() - 1)(random)];
            listened_ = line;
            ++tally_.listens;
        } else {
            line = listened_;
            listened_ = -1;
        }
    }
    if (line < 0)
        return false;
    return inner_->ListenLine(uint32_t(line / kChannelsPerBoard),
                              uint32_t(line % kChannelsPerBoard), on ? 1 : 0) == 0;
}

}  // namespace orvel::soak
