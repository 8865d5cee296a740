// CMusicDetector: tells music that the network plays instead of ring-back
// (or on hold) from a person who answers. Music holds its notes and moves
// from one note to another: the spectrum stays the same for a tenth of a
// second and longer, then changes to another that is held again, and the
// sound hardly pauses. Speech never holds its spectrum that long (pitch and
// formants move from one syllable to the next, and words come in short
// bursts with pauses between them); the network's tones hold one note and
// repeat it, never moving to another.
//
// Per 8-ms frame the magnitude spectrum is compared with the one six frames
// (48 ms) before; a frame is steady when the two are nearly the same, and
// 15 steady frames in a row make a held note. Music is heard once four held
// notes, each unlike the one before, came within two seconds and the line
// carried sound most of the last second (the three rising information tones
// of an exchange are no music). While notes keep changing, the
// sound heard lately is judged on its own: while it holds a note and is
// mostly steady, it is the music going on; a stretch of sound that is not
// (a person saying "алло" after picking up) ends the music.
#pragma once

#include <array>
#include <cstdint>

namespace orvel {

class CMusicDetector {
public:
    static constexpr int kBins = 64;
    static constexpr int kLowBin = 4;    // 248 Hz: below the band the line carries
    static constexpr int kHighBin = 56;  // 3472 Hz
    static constexpr int kLagFrames = 6;
    static constexpr float kSteadySimilarity = 0.9f;  // cosine of the two spectra
    static constexpr int kHeldNoteFrames = 15;        // steady frames in a row
    // Three changes of note within this many frames (2 s) start the music ...
    static constexpr int kChangesForMusic = 3;
    static constexpr int kChangesWithinFrames = 250;
    static constexpr int kSoundWindowFrames = 125;  // ... when the last second
    static constexpr int kMinSoundShare = 70;       // held sound in this % of its frames.
    // Music goes on while its notes change; a tone that repeats one note
    // (busy, ring-back after the music) is its own again after 4 s.
    static constexpr int kFreshFrames = 500;
    // What was heard lately: the last sound frames, forgotten after a pause.
    static constexpr int kRecentFrames = 64;
    static constexpr int kPauseFrames = 31;        // 250 ms without sound
    static constexpr int kMinRecentFrames = 8;     // a sound the detectors notice at all
    static constexpr int kSteadyShareMusic = 50;   // % of the recent sound frames
    static constexpr int kSteadyShareSpeech = 25;  // below it: speech, the music is over
    static constexpr int kSpeechFrames = 16;       // sound frames needed to call it speech

    void reset();
    // One frame: its magnitude spectrum (64 bins) and whether it holds sound.
    void process(const int16_t* spectrum, bool sound);
    // Music is going on, and what was heard lately (since the last pause, at
    // most the last half second of sound) is more of it.
    bool playing() const;
    // Music has been heard in this listening period and no speech since.
    bool heard() const { return music_; }

private:
    using Spectrum = std::array<int16_t, kBins>;
    static bool similar(const int16_t* a, const int16_t* b);
    void heldNote(const int16_t* spectrum);
    void endOfStretch();

    static constexpr int kNever = 1 << 20;

    std::array<Spectrum, kLagFrames> past_{};
    int pastNext_ = 0;
    int pastFilled_ = 0;
    int steadyRun_ = 0;
    // The last held note and when the notes changed.
    Spectrum note_{};
    bool noteSet_ = false;
    // Frames since each of the last changes of note, the latest first.
    std::array<int, kChangesForMusic> sinceChange_{kNever, kNever, kNever};
    // Whether each frame of the last second held sound.
    std::array<uint8_t, kSoundWindowFrames> soundRing_{};
    int soundNext_ = 0;
    int soundCount_ = 0;
    // Recent sound frames (steady or not), oldest dropped.
    std::array<uint8_t, kRecentFrames> recent_{};
    int recentNext_ = 0;
    int recentCount_ = 0;
    int recentSteady_ = 0;
    int sinceHeldNote_ = kNever;  // sound frames since a frame of a held note
    int quietRun_ = 0;
    bool music_ = false;
};

}  // namespace orvel
