#include "media/sound_errors.h"

#include <array>

namespace orvel {

namespace {

struct KnownReason {
    const char* part;  // a piece of SDL's or the sound system's text
    const char* text;
};

// Order matters: the first piece found decides.
constexpr std::array kReasons{
    KnownReason{"busy", "устройство занято другой программой"},
    KnownReason{"Permission denied", "нет доступа к звуковому устройству"},
    KnownReason{"No such file or directory", "звуковое устройство не найдено"},
    KnownReason{"No such device", "звуковое устройство не найдено"},
    KnownReason{"No available audio device", "в системе нет звукового устройства"},
    KnownReason{"Audio target", "в системе нет звуковой системы"},
    KnownReason{"not initialized", "звуковая система не запущена"},
    KnownReason{"Invalid argument", "устройство не поддерживает нужный формат звука"},
    KnownReason{"Unsupported", "устройство не поддерживает нужный формат звука"},
    KnownReason{"Out of memory", "не хватает памяти"},
    KnownReason{"Couldn't open", "устройство не открывается"},
};

}  // namespace

QString soundErrorReason(const QString& sdlError) {
    const QString raw = sdlError.trimmed();
    if (raw.isEmpty())
        return QStringLiteral("причина не сообщена");
    for (const KnownReason& r : kReasons) {
        if (raw.contains(QLatin1String(r.part), Qt::CaseInsensitive))
            return QString::fromUtf8(r.text);
    }
    return QStringLiteral("ошибка звуковой системы (%1)").arg(raw);
}

QString soundDeviceError(SoundDevice device, const QString& sdlError) {
    const QString what = device == SoundDevice::Input
                             ? QStringLiteral("Не удалось открыть устройство записи звука")
                             : QStringLiteral("Не удалось открыть устройство вывода звука");
    return what + QStringLiteral(": ") + soundErrorReason(sdlError);
}

}  // namespace orvel
