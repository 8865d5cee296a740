#include "notify/line_status.h"

#include <array>

#include "core/texts.h"

namespace orvel {
namespace {

struct Row {
    TextId text;
    uint32_t panel;
    uint32_t font;
};

using namespace colors;
// Codes 1..18.
constexpr std::array<Row, 18> kRows = {{
    {textFreeF, kLightBlue, kBlack},
    {textNumbera, kLime, kBlack},
    {textLineTest, kLime, kBlack},
    {textPause, kLime, kBlack},
    {textRedial, kYellow, kBlack},
    {textNoLine, kRed, kYellow},
    {textPauseInNumber, kLime, kBlack},
    {textKPVAnalis, kLime, kBlack},
    {textBusy, kYellow, kBlack},
    {textNoTone, kRed, kYellow},
    {textMessageShow, kLime, kBlack},
    {textQuery, kLime, kBlack},
    {textConfirmation, kLime, kBlack},
    {textAlarmedM, kLime, kBlack},
    {textNoConfirmation, kRed, kYellow},
    {textNotHandOn, kYellow, kBlack},
    {textBusySignalAnalis, kLime, kBlack},
    {textUnobtainable, kRed, kYellow},
}};

}  // namespace

std::optional<TLineStatusLook> lineStatusLook(int code, bool assigned) {
    if (code == -1)
        return TLineStatusLook{T(textDisabledF), kRed, kYellow};
    if (code == 0) {
        if (assigned)
            return TLineStatusLook{T(textNotReadyF), kRed, kYellow};
        return TLineStatusLook{T(textDisabledF), kGrey, kSilver};
    }
    if (code < 1 || code > int(kRows.size()))
        return std::nullopt;
    const Row& r = kRows[size_t(code - 1)];
    return TLineStatusLook{T(r.text), r.panel, r.font};
}

}  // namespace orvel
