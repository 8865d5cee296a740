#include "notify/line_params.h"

#include "core/texts.h"
#include "notify/notify_lines.h"

namespace orvel {

namespace {
QString negated(TextId word) {
    return T(textNot) + QLatin1Char(' ') + T(word).toLower();
}
}  // namespace

QString lineGridHeader(int column) {
    switch (column) {
        case kGridLine:
            return T(textLine);
        case kGridUse:
            return T(textUse);
        case kGridDialMode:
            return T(textNabor);
        case kGridWaitDialTone:
            return T(textWaitForSignal);
        case kGridDropMode:
            return T(textIgnoreVoltageDrop);
        case kGridPrefix1:
        case kGridPrefix2:
        case kGridPrefix3:
            return T(textPrefix) + QLatin1Char(' ') +
                   QString::number((column - kGridPrefix1) / 2 + 1);
        case kGridPrefix1Wait:
        case kGridPrefix2Wait:
        case kGridPrefix3Wait:
            return T(textWaitForSignalAfterPrefix) + QLatin1Char(' ') +
                   QString::number((column - kGridPrefix1Wait) / 2 + 1);
        default:
            return {};
    }
}

QStringList lineGridChoices(int column) {
    switch (column) {
        case kGridUse:
            return {negated(textUse), T(textUse)};
        case kGridDialMode:
            return {T(textPulse), T(textTone)};
        case kGridWaitDialTone:
        case kGridPrefix1Wait:
        case kGridPrefix2Wait:
        case kGridPrefix3Wait:
            return {negated(textWait), T(textWait)};
        case kGridDropMode:
            return {T(textYes), T(textNo)};
        default:
            return {};
    }
}

bool lineGridIsPrefix(int column) {
    return column == kGridPrefix1 || column == kGridPrefix2 || column == kGridPrefix3;
}

QString lineGridCellText(const TLineGridRow& row, int column) {
    if (column <= kGridLine || column >= kGridColumnCount)
        return {};
    const int v = row[size_t(column)];
    if (lineGridIsPrefix(column))
        return v == -1 ? QString() : QString::number(v);
    if (column == kGridPrefix1Wait || column == kGridPrefix2Wait || column == kGridPrefix3Wait) {
        if (row[size_t(column - 1)] == -1)
            return {};
    }
    const QStringList pair = lineGridChoices(column);
    return v == 0 || v == 1 ? pair[v] : QString();
}

int lineGridCellValue(int column, const QString& text, int current) {
    if (lineGridIsPrefix(column)) {
        bool ok = false;
        const int n = text.trimmed().toInt(&ok);
        return ok && n >= 0 ? n : -1;
    }
    const int pos = int(lineGridChoices(column).indexOf(text));
    return pos >= 0 ? pos : current;
}

TLineGridRow lineGridRow(const TORVELLine& l) {
    TLineGridRow r{};
    r[kGridUse] = l.Enabled;
    r[kGridDialMode] = l.DialMode;
    r[kGridWaitDialTone] = l.WaitDialTone;
    r[kGridDropMode] = l.DropMode;
    r[kGridPrefix1] = l.Prefix1;
    r[kGridPrefix1Wait] = l.Prefix1WaitDialTone;
    r[kGridPrefix2] = l.Prefix2;
    r[kGridPrefix2Wait] = l.Prefix2WaitDialTone;
    r[kGridPrefix3] = l.Prefix3;
    r[kGridPrefix3Wait] = l.Prefix3WaitDialTone;
    return r;
}

std::array<int, kTimingWords> timingWords(const TCallTimeParams& p) {
    return {p.DialTonePause, p.RedialPause,  p.KpwWait,       p.BusyTime,
            p.NoToneTime,    p.ConfirmPause, p.MessagesCount, p.DTMFAmplitude};
}

TCallTimeParams timingParams(const std::array<int, kTimingWords>& w) {
    TCallTimeParams p;
    p.DialTonePause = w[0];
    p.RedialPause = w[1];
    p.KpwWait = w[2];
    p.BusyTime = w[3];
    p.NoToneTime = w[4];
    p.ConfirmPause = w[5];
    p.MessagesCount = w[6];
    p.DTMFAmplitude = w[7];
    return p;
}

bool operator==(const TCallTimeParams& a, const TCallTimeParams& b) {
    return timingWords(a) == timingWords(b);
}

}  // namespace orvel
