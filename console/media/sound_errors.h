#pragma once
// Sound device failures in the program's language. SDL reports them in
// English ("ALSA: Couldn't open audio device: Device or resource busy"); the
// operator gets what failed and why in Russian, with SDL's own words kept
// only when the reason is not one we know.

#include <QString>

namespace orvel {

enum class SoundDevice { Input, Output };

// The reason of SDL's last error in Russian (e.g. "устройство занято другой
// программой"); SDL's text in parentheses when the reason is not known.
QString soundErrorReason(const QString& sdlError);
// "Не удалось открыть устройство записи звука: <reason>".
QString soundDeviceError(SoundDevice device, const QString& sdlError);

}  // namespace orvel
