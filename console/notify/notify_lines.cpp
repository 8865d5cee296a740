#include "notify/notify_lines.h"

#include <QRegularExpression>

#include "core/settings_manager.h"
#include "core/texts.h"

namespace orvel {

void TORVELLine::Assign(ILineLibrary& lib) {
    lib.AssignLine(uint32_t(Board), uint32_t(Channel));
    Assigned = true;
    Row.controlsVisible = true;
}

void TORVELLine::Release(ILineLibrary& lib) {
    lib.FreeLine(uint32_t(Board), uint32_t(Channel));
    Assigned = false;
    Row.controlsVisible = false;
}

QString TORVELLine::StatusText() {
    UpdateLook();
    return Row.status;
}

bool TORVELLine::UpdateLook() {
    // Anyone else writing the row (a released or dropped line, a new run)
    // leaves it differing from the cached look, which is then applied again.
    if (lookCached_ && State == lookState_ && Assigned == lookAssigned_ &&
        Row.panel == lookPanel_ && Row.font == lookFont_ && Row.status == lookText_)
        return false;
    auto look = lineStatusLook(State, Assigned);
    if (!look) {
        lookCached_ = false;
        return false;
    }
    const bool changed = Row.status != look->text || Row.panel != look->panel;
    Row.status = std::move(look->text);
    Row.panel = look->panel;
    Row.font = look->font;
    lookCached_ = true;
    lookState_ = State;
    lookAssigned_ = Assigned;
    lookPanel_ = Row.panel;
    lookFont_ = Row.font;
    lookText_ = Row.status;
    return changed;
}

QString FilterNumber(const QString& phone) {
    QString out;
    out.reserve(phone.size());
    for (QChar c : phone) {
        const char16_t u = c.unicode();
        if ((u >= '0' && u <= '9') || u == '#' || u == '*' || u == ',' || u == 'w')
            out.append(c);
    }
    return out;
}

namespace {
void appendPrefix(QString& out, int32_t prefix, int32_t wait) {
    if (prefix == -1)
        return;
    out += QString::number(prefix);
    if (wait == 1)
        out += QLatin1Char('w');
}
}  // namespace

QString AddPrefixes(const QString& filtered, const TORVELLine& line) {
    QString out;
    if (line.WaitDialTone == 1)
        out += QLatin1Char('w');
    QString n = filtered;
    if (n.size() <= 1)
        return out + n;
    if (n[0] != QLatin1Char('#')) {
        appendPrefix(out, line.Prefix1, line.Prefix1WaitDialTone);
        return out + n;
    }
    if (n.startsWith(QLatin1String("#0")))
        n.remove(0, 2);
    if (n.startsWith(QLatin1String("#2"))) {
        n.remove(0, 2);
        appendPrefix(out, line.Prefix2, line.Prefix2WaitDialTone);
    }
    if (n.startsWith(QLatin1String("#3"))) {
        n.remove(0, 2);
        appendPrefix(out, line.Prefix3, line.Prefix3WaitDialTone);
    }
    return out + n;
}

void TORVLines::Create(const ProgramStateRecord& record, QStringList* unreachable,
                       TLineStateCoverage coverage) {
    lines_.clear();
    const uint32_t boards = record[0];
    const auto servedBoards = uint32_t(qBound(0, coverage.boards, kMaxBoards));
    const auto servedChannels = uint32_t(qBound(0, coverage.channels, kChannelsPerBoard));
    for (uint32_t b = 0; b < boards && b < uint32_t(kMaxBoards); ++b) {
        const uint32_t count = record[3 + 21 * b];
        for (uint32_t c = 0; c < count && c < 64; ++c) {
            if (b < servedBoards && c < servedChannels) {
                lines_.push_back(std::make_unique<TORVELLine>(int(b), int(c)));
            } else if (unreachable) {
                unreachable->append(QStringLiteral("board %1 channel %2").arg(b).arg(c));
            }
        }
    }
}

QString unservedLineText(const QString& line) {
    static const QRegularExpression re(QStringLiteral("^board (\\d+) channel (\\d+)$"));
    const auto m = re.match(line);
    // Boards and lines are counted from 1 on screen, as the board panels are.
    return m.hasMatch()
               ? T(textBoardChannel).arg(m.captured(1).toInt() + 1).arg(m.captured(2).toInt() + 1)
               : line;
}

TORVELLine* TORVLines::Items(int index) {
    if (index < 0 || index > 255 || index >= Count())
        return nullptr;
    return lines_[size_t(index)].get();
}

const TORVELLine* TORVLines::Items(int index) const {
    return const_cast<TORVLines*>(this)->Items(index);
}

void TORVLines::ReleaseAll(ILineLibrary& lib) {
    for (auto& l : lines_)
        l->Release(lib);
}

void TORVLines::loadSettings(const SettingsManager& s) {
    for (int i = 0; i < Count(); ++i) {
        TORVELLine& l = *lines_[size_t(i)];
        l.Enabled = s.readIndexedInt(SID_LINE_ENABLED, i, 1);
        l.WaitDialTone = s.readIndexedInt(SID_WAIT_DIAL_TONE, i, 0);
        l.DialMode = s.readIndexedInt(SID_DIAL_MODE, i, 1);
        l.Prefix1 = s.readIndexedInt(SID_LINE_PREFIX1, i, -1);
        l.Prefix2 = s.readIndexedInt(SID_LINE_PREFIX2, i, -1);
        l.Prefix3 = s.readIndexedInt(SID_LINE_PREFIX3, i, -1);
        l.Prefix1WaitDialTone = s.readIndexedInt(SID_LINE_PREFIX1_WAIT_DIAL_TONE, i, 1);
        l.Prefix2WaitDialTone = s.readIndexedInt(SID_LINE_PREFIX2_WAIT_DIAL_TONE, i, 1);
        l.Prefix3WaitDialTone = s.readIndexedInt(SID_LINE_PREFIX3_WAIT_DIAL_TONE, i, 1);
        l.DropMode = s.readIndexedInt(SID_LINE_LINE_DROP_MODE, i, 1);
        l.LineType = s.readIndexedInt(SID_LINE_TYPE, i, 0);
        TCallTimeParams& t = l.TimeParams;
        t.DialTonePause = s.readIndexedInt(SID_SIGNAL_DIAL_TONE_PAUSE, i, 5);
        t.RedialPause = s.readIndexedInt(SID_SIGNAL_REDIAL_PAUSE, i, 3);
        t.KpwWait = s.readIndexedInt(SID_SIGNAL_KPW_WAIT, i, 30);
        t.BusyTime = s.readIndexedInt(SID_SIGNAL_BUSY_TIME, i, 3);
        t.NoToneTime = s.readIndexedInt(SID_SIGNAL_NO_TONE_TIME, i, 30);
        t.ConfirmPause = s.readIndexedInt(SID_SIGNAL_CONFIRM_PAUSE, i, 5);
        t.MessagesCount = s.readIndexedInt(SID_SIGNAL_MESSAGES_COUNT, i, 3);
        t.DTMFAmplitude = s.readIndexedInt(SID_SIGNAL_DTMF_AMPLITUDE, i, 1);
    }
}

}  // namespace orvel
