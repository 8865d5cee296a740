#include "media/message_levels.h"

#include <QFile>
#include <QLocale>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "media/riff_explorer.h"

namespace orvel {

namespace {

double toDb(double amplitude) {
    if (amplitude <= 0)
        return TMessageLevels::kSilenceDb;
    return std::max(20.0 * std::log10(amplitude / 32768.0), TMessageLevels::kSilenceDb);
}

QString db(double v) {
    return QLocale(QLocale::Russian).toString(v, 'f', 1).replace(QLatin1Char('-'), QChar(0x2212)) +
           QStringLiteral(" дБ");
}

}  // namespace

TMessageLevels measureLevels(const int16_t* samples, size_t count) {
    TMessageLevels l;
    l.samples = count;
    if (samples == nullptr || count == 0)
        return l;
    int peak = 0;
    size_t atFull = 0;
    double energy = 0;
    for (size_t i = 0; i < count; ++i) {
        const int v = samples[i];
        peak = std::max(peak, std::abs(v));
        if (v >= 32767 || v <= -32767)
            ++atFull;
        energy += double(v) * v;
    }
    l.peakDb = toDb(peak);
    l.rmsDb = toDb(std::sqrt(energy / double(count)));
    l.clippedShare = double(atFull) / double(count);
    return l;
}

TMessageLevels measureFileLevels(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const auto info = readWaveInfo(&file, nullptr);
    if (!info || info->bits != 16 || info->channels != 1 || !file.seek(info->dataOffset))
        return {};
    const QByteArray raw = file.read(info->dataSize);
    std::vector<int16_t> s(size_t(raw.size()) / 2);
    for (size_t i = 0; i < s.size(); ++i)
        s[i] = int16_t(uint8_t(raw[qsizetype(2 * i)]) | (uint8_t(raw[qsizetype(2 * i + 1)]) << 8));
    return measureLevels(s.data(), s.size());
}

QString TMessageLevels::text() const {
    return QStringLiteral("Пик %1, средний %2").arg(db(peakDb), db(rmsDb));
}

QString TMessageLevels::warning() const {
    if (samples == 0)
        return QStringLiteral("Сообщение пустое: в нём нет ни одного отсчёта");
    if (clipped())
        return QStringLiteral(
                   "Сообщение записано слишком громко: %1 % отсчётов на пределе шкалы, "
                   "в линии оно будет звучать с хрипом")
            .arg(QLocale(QLocale::Russian).toString(clippedShare * 100, 'f', 2));
    if (tooQuiet())
        return QStringLiteral(
                   "Сообщение слишком тихое (средний уровень %1, нужно не ниже %2): "
                   "в линии его не расслышат")
            .arg(db(rmsDb), db(kQuietRmsDb));
    return {};
}

}  // namespace orvel
