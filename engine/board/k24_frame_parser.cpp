#include "board/k24_frame_parser.h"

#include <ace/Log_Msg.h>

#include <algorithm>
#include <cstring>

namespace orvel {
namespace {

constexpr size_t kDumpBytes = 256;  // skipped bytes shown in the log, at most
constexpr uint8_t kUnitAdcData = 24;
constexpr uint8_t kUnitUnrecognised = 25;
constexpr uint32_t kSupplyFirstLocal = 6;  // 5 V on local 6, 12 V on local 7
constexpr uint32_t kLastLocal = 7;

}  // namespace

CK24FrameParser::CK24FrameParser(size_t readCapacity) : buffer_(readCapacity + kMaxCarry) {
    dump_.reserve(kDumpBytes);
}

void CK24FrameParser::setLayout(const std::array<uint32_t, kUnits>& unitChannels) {
    uint32_t channel = 0;
    unitOfChannel_.fill(0);
    for (size_t u = 0; u < kUnits; ++u) {
        unitChannels_[u] = std::min(unitChannels[u], kLocalChannels);
        for (uint32_t k = 0; k < unitChannels_[u]; ++k) {
            unitOfChannel_[channel++] = static_cast<uint32_t>(u);
        }
    }
}

void CK24FrameParser::reset() {
    carried_ = 0;
    resync_ = false;
    skipped_ = 0;
    dump_.clear();
}

void CK24FrameParser::dropCarry() {
    if (resync_) {
        skipped_ += carried_;
    }
    carried_ = 0;
}

void CK24FrameParser::commit(size_t n, Sink& sink) {
    n = std::min(n, readRoom());
    const size_t total = carried_ + n;
    const size_t used = parse(buffer_.data(), total, sink);
    carried_ = total - used;
    if (carried_ > 0 && used > 0) {
        std::memmove(buffer_.data(), buffer_.data() + used, carried_);
    }
}

void CK24FrameParser::feed(const uint8_t* data, size_t n, Sink& sink) {
    while (n > 0) {
        const size_t piece = std::min(n, readRoom());
        std::memcpy(readPointer(), data, piece);
        commit(piece, sink);
        data += piece;
        n -= piece;
    }
}

bool CK24FrameParser::unitFrameValid(uint32_t unit, uint32_t local, uint8_t command) const {
    if (unit >= kUnits || unitChannels_[unit] == 0) {
        return false;
    }
    if (local < unitChannels_[unit]) {
        return true;
    }
    // Supply readings and "command not understood" are the unit's own, not a line's.
    if (command == kUnitAdcData) {
        return local >= kSupplyFirstLocal && local <= kLastLocal;
    }
    return command == kUnitUnrecognised && local <= kLastLocal;
}

void CK24FrameParser::beginLoss(const uint8_t* buf, size_t offset) {
    ACE_DEBUG((LM_DEBUG, ACE_TEXT(" Digital stream lost at %u \n"), static_cast<unsigned>(offset)));
    if (!resync_) {
        resync_ = true;
        skipped_ = 0;
        dump_.clear();
    }
    skip(buf[offset]);
}

void CK24FrameParser::skip(uint8_t byte) {
    ++skipped_;
    if (dump_.size() < kDumpBytes) {
        dump_.push_back(byte);
    }
}

void CK24FrameParser::endLoss() {
    ACE_DEBUG((LM_DEBUG, ACE_TEXT("bytes lost %u\n"), static_cast<unsigned>(skipped_)));
    if (!dump_.empty()) {
        ACE_HEX_DUMP((LM_DEBUG, reinterpret_cast<const char*>(dump_.data()), dump_.size()));
    }
    lastLoss_ = skipped_;
    bytesLost_ += skipped_;
    ++losses_;
    resync_ = false;
    skipped_ = 0;
    dump_.clear();
}

size_t CK24FrameParser::parse(const uint8_t* buf, size_t n, Sink& sink) {
    size_t p = 0;
    while (p < n) {
        if (resync_) {
            // A frame start counts only when another frame starts right after it.
            bool found = false;
            while (p + 1 < n) {
                if (isFrameStart(buf[p], buf[p + 1])) {
                    const size_t next = p + frameLength(buf[p]);
                    if (next + 1 >= n) {
                        break;  // the look-ahead needs the next read
                    }
                    if (isFrameStart(buf[next], buf[next + 1])) {
                        found = true;
                        break;
                    }
                }
                skip(buf[p]);
                ++p;
            }
            if (!found) {
                break;
            }
            endLoss();
        }
        const uint8_t d = buf[p];
        const size_t len = frameLength(d);
        if (p + 1 < n && !isFrameStart(d, buf[p + 1])) {
            if ((d & 0x80) != 0) {
                ACE_DEBUG((LM_DEBUG, ACE_TEXT(" Bad frame descriptor\n")));
            }
            beginLoss(buf, p);
            ++p;
            continue;
        }
        if (p + len > n) {
            break;  // cut by the end of the read: completed from the next one
        }
        const uint32_t unit = d & 0x03;
        if (len == kDataFrameBytes) {
            if (unit >= kUnits || unitChannels_[unit] == 0) {
                ACE_DEBUG((LM_DEBUG, ACE_TEXT(" Bad sogl number %u int data frame\n"), unit));
                beginLoss(buf, p);
                ++p;
                continue;
            }
            sink.dataFrame(unit, buf + p + 2);
        } else {
            const uint32_t local = d >> 4;
            const uint8_t value = buf[p + 2];
            const uint8_t command = buf[p + 3];
            if (!unitFrameValid(unit, local, command)) {
                ACE_DEBUG((LM_DEBUG,
                           ACE_TEXT(" nSogl=%u>SoglCount or nChannel=%u>Sogl2Ch() = %d\n"), unit,
                           local, static_cast<int>(unitOfChannel_[unit])));
                ACE_HEX_DUMP((LM_DEBUG, reinterpret_cast<const char*>(buf + p), len));
                beginLoss(buf, p);
                ++p;
                continue;
            }
            sink.unitFrame(unit, local, value, command);
        }
        ++frames_;
        p += len;
    }
    return p;
}

}  // namespace orvel
