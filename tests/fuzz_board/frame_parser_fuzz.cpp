// Fuzz target: any byte stream as a board's input, cut into reads at
// boundaries the input itself chooses, through the frame parser of a board
// whose unit layout the input also chooses. The parser must never read past
// the bytes it was given, keep more than its bounded carry, or lose count of
// the bytes it skipped.
#include <ace/Log_Msg.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "board/k24_frame_parser.h"

namespace {

class CheckingSink : public orvel::CK24FrameParser::Sink {
public:
    void dataFrame(uint32_t unit, const uint8_t* samples) override {
        if (unit >= 3) {
            std::abort();
        }
        sum_ = sum_ + samples[0] + samples[11];  // every sample byte is readable
        ++frames;
    }
    void unitFrame(uint32_t unit, uint32_t local, uint8_t value, uint8_t command) override {
        if (unit >= 3 || local > 15) {
            std::abort();
        }
        sum_ = sum_ + value + command;
        ++frames;
    }
    uint64_t frames = 0;

private:
    volatile uint64_t sum_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    ACE_LOG_MSG->priority_mask(0, ACE_Log_Msg::PROCESS);  // losses are expected
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) {
        return 0;
    }
    // Bytes 0 and 1: channels of the three units; byte 2: seed of the read sizes.
    const uint32_t units = data[0] | (data[1] << 8);
    uint32_t seed = data[2] | 1u;
    data += 3;
    size -= 3;
    orvel::CK24FrameParser parser(256);
    parser.setLayout({units % 7u, (units / 7u) % 7u, (units / 49u) % 7u});
    CheckingSink sink;
    size_t p = 0;
    uint64_t fed = 0;
    while (p < size) {
        seed = seed * 1103515245u + 12345u;
        const size_t piece = std::min<size_t>(size - p, (seed >> 16) % 300 + 1);
        parser.feed(data + p, piece, sink);
        fed += piece;
        p += piece;
        if (parser.carried() > orvel::CK24FrameParser::kMaxCarry) {
            std::abort();
        }
        if ((seed >> 8) % 97 == 0) {
            parser.dropCarry();  // a failed read
        }
    }
    // Frames are at least 4 bytes; nothing is counted twice.
    if (sink.frames * orvel::CK24FrameParser::kUnitFrameBytes + parser.bytesLost() > fed) {
        std::abort();
    }
    return 0;
}
