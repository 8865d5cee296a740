#include "notify/wav_format.h"

#include <QFile>
#include <QtEndian>

#include "core/texts.h"

namespace orvel {

namespace {
constexpr int kRate = 16000;
constexpr int kBits = 16;
constexpr int kMaxChunks = 64;

QString channelName(int channels) {
    switch (channels) {
        case 0:
            return QStringLiteral("NULL");
        case 1:
            return T(textMono);
        case 2:
            return T(textStereo);
        case 3:
            return T(textTrio);
        case 4:
            return T(textQuadro);
        case 5:
            return T(textSystem50);
        case 6:
            return T(textSystem51);
        default:
            return QStringLiteral("DolbySurround");
    }
}
}  // namespace

std::optional<TWavFormat> readWavFormat(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray head = f.read(12);
    if (head.size() != 12 || !head.startsWith("RIFF") || head.mid(8, 4) != "WAVE")
        return std::nullopt;
    for (int i = 0; i < kMaxChunks; ++i) {
        const QByteArray chunk = f.read(8);
        if (chunk.size() != 8)
            return std::nullopt;
        const quint32 size = qFromLittleEndian<quint32>(chunk.constData() + 4);
        if (chunk.startsWith("fmt ")) {
            if (size < 16)
                return std::nullopt;
            const QByteArray fmt = f.read(16);
            if (fmt.size() != 16)
                return std::nullopt;
            TWavFormat w;
            w.tag = qFromLittleEndian<quint16>(fmt.constData());
            w.channels = qFromLittleEndian<quint16>(fmt.constData() + 2);
            w.rate = int(qFromLittleEndian<quint32>(fmt.constData() + 4));
            w.bits = qFromLittleEndian<quint16>(fmt.constData() + 14);
            return w;
        }
        if (!f.seek(f.pos() + qint64(size) + (size & 1)))
            return std::nullopt;
    }
    return std::nullopt;
}

QString wavFormatWarning(const std::optional<TWavFormat>& w) {
    if (w && w->channels == 1 && w->rate == kRate && w->bits == kBits)
        return QString();
    if (!w)
        return T(textFileFormat) + QStringLiteral(" ") + T(textCannotBeUsed) +
               QStringLiteral(" (%1Hz, %2bit, %3 ").arg(kRate).arg(kBits).arg(1) + T(textChannel) +
               QStringLiteral(") Wav");
    return T(textFileFormat) +
           QStringLiteral(" (%1Hz, %2bit, %3) ")
               .arg(w->rate)
               .arg(w->bits)
               .arg(channelName(w->channels)) +
           T(textCannotBeUsed) +
           QStringLiteral(" (%1Hz, %2bit, %3)").arg(kRate).arg(kBits).arg(channelName(1));
}

}  // namespace orvel
