#pragma once
// TWavePlayer: plays one message file through the sound output, for the
// operator to hear a message before a run. Widget-free; SDL2 audio, whose
// subsystem calls are counted, so the line engine's listening output in the
// same process keeps its own use of it.

#include <QByteArray>
#include <QString>
#include <cstdint>

namespace orvel {

class TWavePlayer {
public:
    TWavePlayer() = default;
    ~TWavePlayer();
    TWavePlayer(const TWavePlayer&) = delete;
    TWavePlayer& operator=(const TWavePlayer&) = delete;

    // Reads the file and opens the sound output for its format. False with
    // the reason in `error` when the file cannot be read or no output opens.
    bool open(const QString& path, QString* error);
    // Plays the whole file from its start (again, after an earlier play).
    bool play();
    void stop();
    void close();

    bool isOpen() const { return device_ != 0; }
    bool isPlaying() const;
    QString fileName() const { return path_; }

private:
    QString path_;
    QByteArray samples_;
    uint32_t device_ = 0;
    bool subsystem_ = false;
};

}  // namespace orvel
