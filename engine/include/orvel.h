/* The line engine's public interface: plain C functions, usable from C and
 * C++. Device and channel numbers are unsigned; every function that takes
 * them returns -1 (or does nothing) for a device or channel that does not
 * exist. Strings are zero-terminated bytes. */
#ifndef ORVEL_H
#define ORVEL_H

#include <stdint.h>

#if defined(ORVEL_BUILDING_LIBRARY)
#define ORVEL_API __attribute__((visibility("default")))
#else
#define ORVEL_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Program states reported by GetProgrammState and GetLineState. */
enum {
    ORVEL_STATE_NOT_INITIALISED = 1,
    ORVEL_STATE_INITIALISED = 2,
    ORVEL_STATE_STARTED = 4,
    ORVEL_STATE_STOPPED = 5,
    ORVEL_STATE_NO_BOARD = 6
};

/* Notify results passed to the result callback. */
enum {
    ORVEL_NR_NOT_NOTIFY = 0,
    ORVEL_NR_NOTIFY_OK = 1,
    ORVEL_NR_LINE_BUSY = 2,
    ORVEL_NR_NOT_HANDUP = 3,
    ORVEL_NR_LINE_DROP = 4,
    /* Appended: the exchange's information tones said the number cannot be
       reached. Callers that know only 0..4 see an unknown result. */
    ORVEL_NR_UNOBTAINABLE = 5
};

/* GetLineState fills 145 words: word 0 the program state, then for device d
 * (0..2) and channel k (0..11): 1+12d+k the line state code, 37+12d+k the
 * result code of the last call, 109+12d+k the caller-identification flag.
 * Devices beyond the third and channels beyond the twelfth are not reported
 * there; the words 73..108 are not written. */
#define ORVEL_LINE_STATE_WORDS 145
#define ORVEL_LINE_STATE_DEVICES 3
#define ORVEL_LINE_STATE_CHANNELS 12

/* GetProgrammState fills 2 + 21 * N words for N boards: the caller provides
 * ORVEL_PROGRAM_STATE_WORDS to be safe with any number of boards. */
#define ORVEL_MAX_DEVICES 10
#define ORVEL_PROGRAM_STATE_WORDS (2 + 21 * ORVEL_MAX_DEVICES)

/* GetLineStateEx reports every channel of every device. Layout, in 32-bit
 * words:
 *   0                          program state
 *   1                          device count N
 *   ORVEL_LINE_SLOT(d, k) + 0  line state code of channel k of device d
 *   ORVEL_LINE_SLOT(d, k) + 1  result code of the channel's last call
 *   ORVEL_LINE_SLOT(d, k) + 2  1 when a caller-identification signal was heard
 *                              in the channel's current call, else 0
 * Devices follow one another (device-major), each with
 * ORVEL_CHANNELS_PER_DEVICE slots of ORVEL_LINE_SLOT_WORDS words; the slots
 * of channels a device does not have read 0, 0, 0. The full report of N
 * devices takes ORVEL_LINE_STATES_WORDS(N) words, at most
 * ORVEL_LINE_STATES_MAX_WORDS. */
#define ORVEL_CHANNELS_PER_DEVICE 18
#define ORVEL_LINE_SLOT_WORDS 3
#define ORVEL_LINE_STATES_HEADER_WORDS 2
#define ORVEL_LINE_SLOT(d, k) \
    (ORVEL_LINE_STATES_HEADER_WORDS + ORVEL_LINE_SLOT_WORDS * (ORVEL_CHANNELS_PER_DEVICE * (d) + (k)))
#define ORVEL_LINE_STATES_WORDS(devices) ORVEL_LINE_SLOT((devices), 0)
#define ORVEL_LINE_STATES_MAX_WORDS ORVEL_LINE_STATES_WORDS(ORVEL_MAX_DEVICES)

/* Call timing, eight 32-bit words. */
typedef struct CallTimeParams {
    int32_t DialTonePause;
    int32_t RedialPause;
    int32_t KpwWait;
    int32_t BusyTime;
    int32_t NoToneTime;
    int32_t ConfirmPause;
    int32_t MessagesCount;
    int32_t DTMFAmplitude;
} CallTimeParams;

typedef void (*OrvelNotifyResultCallback)(uint32_t device, uint32_t channel, uint32_t result);

/* Life cycle. */
ORVEL_API int32_t InitDll(const char* directory);
ORVEL_API int32_t StartDll(void);
ORVEL_API int32_t StopDll(void);
ORVEL_API int32_t ShutdownDll(void);

/* Lines. */
ORVEL_API int32_t AssignLine(uint32_t dev, uint32_t ch);
ORVEL_API int32_t FreeLine(uint32_t dev, uint32_t ch);
ORVEL_API int32_t FreeAllLine(uint32_t dev);
ORVEL_API int32_t CallAbonent(uint32_t dev, uint32_t ch, const char* number, int32_t toneFlag,
                              int32_t mainMessage, int32_t confirmMessage,
                              int32_t confirmationMode);
ORVEL_API int32_t ListenLine(uint32_t dev, uint32_t ch, int32_t on);

/* State. */
ORVEL_API int32_t GetProgrammState(uint32_t* record);
ORVEL_API int32_t GetLineState(uint32_t* lineState);
/* Fills at most `words` words of `buffer` with the report described at
 * ORVEL_LINE_SLOT (a shorter buffer gets the report's first words) and
 * returns the number of words the whole report needs; a null buffer with
 * `words` 0 only asks for that number. -1 for a null buffer with `words` > 0. */
ORVEL_API int32_t GetLineStateEx(uint32_t* buffer, uint32_t words);

/* Messages. */
ORVEL_API int32_t LoadSoundFile(const char* path, int32_t messageNumber);
ORVEL_API int32_t LoadConfirmFile(const char* path, int32_t messageNumber);

/* Parameters. */
ORVEL_API int32_t SetSensLevel(uint32_t dev, uint32_t ch, uint32_t level);
ORVEL_API int32_t SetListenLevel(uint32_t dev, uint32_t ch, uint32_t level);
ORVEL_API void SetConfirmOn(int32_t on);
ORVEL_API void SetTimeParam(uint32_t dev, uint32_t ch, const CallTimeParams* params);
ORVEL_API void GetTimeParam(uint32_t dev, uint32_t ch, CallTimeParams* params);
ORVEL_API int32_t SetDtmfLevel(uint32_t dev, uint32_t ch, uint32_t level);
ORVEL_API int32_t GetDtmfLevel(uint32_t dev, uint32_t ch, uint32_t* level);
ORVEL_API void AdvancedDtmfConfirmOn(int32_t on);
ORVEL_API int32_t setLineType(uint32_t dev, uint32_t ch, uint32_t value);
ORVEL_API int32_t getLineType(uint32_t dev, uint32_t ch, uint32_t* value);
ORVEL_API int32_t setLineDropMode(uint32_t dev, uint32_t ch, uint32_t value);
ORVEL_API int32_t getLineDropMode(uint32_t dev, uint32_t ch, uint32_t* value);

/* Callback and diagnostics. */
ORVEL_API void setNotifyResultCallback(OrvelNotifyResultCallback callback);
ORVEL_API int32_t logEnable(const char* path, int32_t enable);
ORVEL_API void dumpEnable(int32_t on);
ORVEL_API void setDumpMask(uint32_t mask);

#ifdef __cplusplus
}
#endif

#endif /* ORVEL_H */
