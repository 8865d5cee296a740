#include "media/riff_explorer.h"

#include <QStringList>
#include <QtEndian>
#include <algorithm>

namespace orvel {

namespace {

constexpr qint64 kHeader = 8;
constexpr uint32_t kMaxRate = 192000;

QByteArray chunkId(const QString& name) {
    QByteArray id = name.toLatin1().left(4);
    while (id.size() < 4)
        id.append(' ');
    return id;
}

}  // namespace

std::optional<TRiffChunk> TRiffExplorer::readHeader(qint64 offset, qint64 parentEnd) {
    if (offset + kHeader > parentEnd || !device_->seek(offset))
        return std::nullopt;
    char raw[kHeader];
    if (device_->read(raw, kHeader) != kHeader)
        return std::nullopt;
    TRiffChunk c;
    c.id = QByteArray(raw, 4);
    c.dataOffset = offset + kHeader;
    const qint64 stored = qFromLittleEndian<quint32>(raw + 4);
    const qint64 room = parentEnd - c.dataOffset;
    c.cut = stored > room;
    c.size = uint32_t(std::min(stored, room));
    return c;
}

bool TRiffExplorer::DescendPath(const QString& path) {
    error_.clear();
    if (device_ == nullptr || !device_->isOpen()) {
        error_ = QStringLiteral("файл не открыт");
        return false;
    }
    const QStringList names = path.split(QLatin1Char('\\'), Qt::SkipEmptyParts);
    if (names.isEmpty()) {
        error_ = QStringLiteral("пустой путь блока");
        return false;
    }
    qint64 start = 0;
    qint64 end = device_->size();
    for (int level = 0; level < names.size(); ++level) {
        const QByteArray want = chunkId(names[level]);
        std::optional<TRiffChunk> found;
        for (qint64 at = start; at + kHeader <= end;) {
            auto c = readHeader(at, end);
            if (!c)
                break;
            if (c->id == want) {
                found = c;
                break;
            }
            // Chunks are padded to an even size.
            at = c->dataOffset + c->size + (c->size & 1);
            if (at <= c->dataOffset - kHeader)
                break;
            if (level == 0)
                break;  // a file is one top-level chunk
        }
        if (!found) {
            error_ = QStringLiteral("нет блока \"%1\"").arg(QString::fromLatin1(want.trimmed()));
            return false;
        }
        chunk_ = *found;
        start = chunk_.dataOffset;
        end = chunk_.dataOffset + chunk_.size;
        if (chunk_.id == "RIFF" || chunk_.id == "LIST") {
            start += 4;  // the form type
        }
    }
    readPos_ = chunk_.dataOffset;
    return true;
}

qint64 TRiffExplorer::ReadChunk(char* buffer, qint64 max) {
    const qint64 left = chunk_.dataOffset + chunk_.size - readPos_;
    const qint64 n = std::min(max, left);
    if (n <= 0 || !device_->seek(readPos_))
        return 0;
    const qint64 got = device_->read(buffer, n);
    if (got > 0)
        readPos_ += got;
    return std::max<qint64>(got, 0);
}

std::optional<TWaveInfo> readWaveInfo(QIODevice* device, QString* reason) {
    auto fail = [&](const QString& why) -> std::optional<TWaveInfo> {
        if (reason != nullptr)
            *reason = why;
        return std::nullopt;
    };
    TRiffExplorer riff(device);
    if (!riff.DescendPath(QStringLiteral("RIFF")))
        return fail(riff.error());
    char form[4];
    if (riff.ReadChunk(form, 4) != 4 || QByteArray(form, 4) != "WAVE")
        return fail(QStringLiteral("это не файл WAVE"));
    if (!riff.DescendPath(QStringLiteral("RIFF\\fmt ")))
        return fail(riff.error());
    char fmt[16];
    if (riff.ReadChunk(fmt, 16) != 16)
        return fail(QStringLiteral("блок формата короче 16 байт"));
    TWaveInfo w;
    w.tag = qFromLittleEndian<quint16>(fmt);
    w.channels = qFromLittleEndian<quint16>(fmt + 2);
    w.rate = qFromLittleEndian<quint32>(fmt + 4);
    w.bytesPerSecond = qFromLittleEndian<quint32>(fmt + 8);
    w.blockAlign = qFromLittleEndian<quint16>(fmt + 12);
    w.bits = qFromLittleEndian<quint16>(fmt + 14);

    // Everything below divides by these, so they are checked first.
    if (w.channels == 0 || w.channels > 2)
        return fail(QStringLiteral("каналов: %1").arg(w.channels));
    if (w.bits == 0 || w.bytesPerSecond == 0)
        return fail(QStringLiteral("нулевой размер отсчёта или поток"));
    if (w.tag != 1)
        return fail(QStringLiteral("сжатый формат %1 не поддерживается").arg(w.tag));
    if (w.bits != 8 && w.bits != 16)
        return fail(QStringLiteral("бит на отсчёт: %1").arg(w.bits));
    if (w.blockAlign != w.channels * (w.bits / 8))
        return fail(QStringLiteral("неверное выравнивание блока: %1").arg(w.blockAlign));
    if (w.rate == 0 || w.rate > kMaxRate)
        return fail(QStringLiteral("частота дискретизации %1 Гц").arg(w.rate));
    // The player times its output by the stated byte rate; a file that
    // states another than its format gives is refused rather than played
    // at the wrong speed.
    if (w.bytesPerSecond != w.rate * w.blockAlign)
        return fail(QStringLiteral("неверный поток байт в секунду: %1").arg(w.bytesPerSecond));

    if (!riff.DescendPath(QStringLiteral("RIFF\\data")))
        return fail(riff.error());
    w.dataOffset = riff.chunk().dataOffset;
    w.dataSize = riff.chunk().size;
    // A data size of 0 (a recording that never stopped) means: up to the
    // end of the file.
    if (w.dataSize == 0) {
        const qint64 rest = device->size() - w.dataOffset;
        w.dataSize = uint32_t(std::clamp<qint64>(rest, 0, 0xFFFFFFFFll));
    }
    w.dataSize -= w.dataSize % w.blockAlign;  // whole sample frames only
    w.samples = w.dataSize / w.blockAlign;
    // A "fact" count is only believed when the data holds that many.
    if (riff.DescendPath(QStringLiteral("RIFF\\fact")) && riff.chunk().size >= 4) {
        char raw[4];
        if (riff.ReadChunk(raw, 4) == 4)
            w.samples = std::min(w.samples, qFromLittleEndian<quint32>(raw));
    }
    w.durationMs = uint32_t(uint64_t(w.samples) * w.blockAlign * 1000 / w.bytesPerSecond);
    return w;
}

}  // namespace orvel
