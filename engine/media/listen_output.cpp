#include "media/listen_output.h"

namespace orvel {

int CListenOutput::open() {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    return audio_.Init();
}

void CListenOutput::close() {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    audio_.Close();
    audio_.Quit();
}

int CListenOutput::startListening(const Address& address) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    if (audio_.Open(CSdlAudio::kFormatLinear16, 1, rate_, kPeriodSamples) != 0) {
        return -1;
    }
    listened_ = address;
    return 0;
}

void CListenOutput::stopListening() {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    audio_.Close();
}

int CListenOutput::setInputRate(uint32_t rate) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    rate_ = rate;
    if (!audio_.IsOpen()) {
        return 0;
    }
    audio_.Close();
    return audio_.Open(CSdlAudio::kFormatLinear16, 1, rate_, kPeriodSamples) == 0 ? 0 : -1;
}

void CListenOutput::onRead(const ReadRecord& record) {
    if (record.kind != READ_SAMPLES || record.data == nullptr) {
        return;
    }
    std::lock_guard<std::recursive_mutex> guard(lock_);
    if (audio_.IsOpen() && isListened(record.address)) {
        audio_.Write(record.data, record.length);
    }
}

void CListenOutput::onSamples(const Address& address, const int16_t* samples, std::size_t count) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    if (samples != nullptr && audio_.IsOpen() && isListened(address)) {
        audio_.Write(samples, static_cast<uint32_t>(count * sizeof(int16_t)));
    }
}

}  // namespace orvel
