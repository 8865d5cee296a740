#include "media/message_check.h"

#include <QFile>

#include "media/message_file.h"
#include "media/wav_file_reader.h"

namespace orvel {

bool engineAcceptsMessage(const QString& path) {
    CWavFileReader reader;
    return reader.open(QFile::encodeName(path).toStdString()) == 0 && isPlayableMessage(reader);
}

}  // namespace orvel
