// Fuzz target: any bytes as a message file, read and, when accepted,
// prepared for playback.
#include <ace/Log_Msg.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "media/message_file.h"
#include "media/wav_file_reader.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    ACE_LOG_MSG->priority_mask(0, ACE_Log_Msg::PROCESS);  // refusals are expected
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const int fd = ::memfd_create("wav", MFD_CLOEXEC);
    if (fd < 0) {
        return 0;
    }
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, data + done, size - done);
        if (n <= 0) {
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    const std::string path = "/proc/self/fd/" + std::to_string(fd);
    orvel::CWavFileReader reader;
    if (reader.open(path) == 0) {
        (void)reader.sampleRate();
        (void)reader.bitsPerSample();
        if (orvel::isPlayableMessage(reader)) {
            orvel::prepareMessage(reader);
        }
    }
    reader.close();
    ::close(fd);
    return 0;
}
