#include "board/dc_block_filter.h"

#include <array>

namespace orvel {
namespace {

struct RateRow {
    uint32_t rate;
    float a;
    float g;
};

constexpr std::array<RateRow, 10> kRows = {{
    {8000, 0.8816f, 0.9408f},
    {11025, 0.9128f, 0.9564f},
    {12000, 0.9195f, 0.9597f},
    {16000, 0.9391f, 0.9695f},
    {22050, 0.9555f, 0.9777f},
    {24000, 0.9591f, 0.9795f},
    {32000, 0.9691f, 0.9845f},
    {44100, 0.9773f, 0.9887f},
    {48000, 0.9792f, 0.9896f},
    {64000, 0.9844f, 0.9922f},
}};

}  // namespace

void CDcBlockingFilter::init(uint32_t rate) {
    const RateRow* row = &kRows[0];
    for (const RateRow& r : kRows) {
        if (r.rate == rate) {
            row = &r;
            break;
        }
    }
    a_ = row->a;
    g_ = row->g;
    reset();
}

void CDcBlockingFilter::reset() {
    prevIn_ = 0.0f;
    prevOut_ = 0.0f;
}

}  // namespace orvel
