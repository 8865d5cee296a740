// Numeric codes carried inside the engine's message records, and the functions
// that turn them into the names written to the log.
#pragma once

#include <cstdint>

namespace orvel {

// Block types: the framework's own values for the kinds of block we use.
enum BlockType : int {
    MB_EVENT = 0x05,
    MB_IOCTL = 0x07,
    MB_IOCACK = 0x81,
    MB_READ = 0x85,
    MB_HANGUP = 0x89,
};

// Command codes (word 5 of a command record). Unit commands 1..29 are the
// line-interface units' own codes and are named by unitCommandName().
enum CommandCode : uint32_t {
    CMD_SEND_TEL_NUM = 27,
    CMD_START_PLAY = 101,
    CMD_STOP_PLAY = 102,
    CMD_SEND_LINE_ASSIGN = 103,
    CMD_SEND_HANG_UP = 104,
    CMD_SEND_HANG_DOWN = 105,
    CMD_SEND_LINE_FREE = 106,
    CMD_SOUND_PLAY = 107,
    CMD_WAIT_DIAL_TONE = 108,
};

enum AckType : uint32_t {
    ACKT_RECEIVE = 0,
    ACKT_EXECUTE = 1,
};

enum AckStatus : uint32_t {
    ACKS_OK = 0,
    ACKS_UNDEFINE_CMD_TYPE = 1,
    ACKS_INVALID_ADDR = 2,
    ACKS_INVALID_ARG = 3,
    ACKS_HARDWARE_ERR = 4,
};

enum EventType : uint32_t {
    EV_CHANGE_LINE_STATE = 1,
    EV_LINE_READY = 2,
    EV_LINE_BUSY = 3,
    EV_DTMF_DETECT = 4,
    EV_SOGL_LINE_STATE = 5,
    EV_LINE_DROP = 6,
    EV_SIT_DETECT = 7,    // the exchange's special information tones
    EV_MACHINE_TONE = 8,  // an answering machine's beep or a fax tone
};

// Line state reported by a line-interface unit (value of EV_SOGL_LINE_STATE).
enum UnitLineState : uint32_t {
    SOGL_LINE_FREE = 0,
    SOGL_LINE_RING = 1,
    SOGL_LINE_ACTIVE_IN = 2,
    SOGL_LINE_ACTIVE_OUT = 3,
    SOGL_LINE_BUSY = 4,
};

// Call-progress classes (value of EV_CHANGE_LINE_STATE).
enum LineStateClass : uint32_t {
    LS_SILENCE = 0,
    LS_VOICE = 1,
    LS_DIAL_TONE = 2,
    LS_TONE = 3,
    LS_BUSY_TONE = 4,
    LS_RING_BACK_TONE = 5,
    LS_RING_BACK_PAUSE = 6,
    LS_AON = 7,
};

enum NotifyResult : uint32_t {
    NR_NOT_NOTIFY = 0,
    NR_NOTIFY_OK = 1,
    NR_LINE_BUSY = 2,
    NR_NOT_HANDUP = 3,
    NR_LINE_DROP = 4,
    NR_UNOBTAINABLE = 5,  // the exchange says the number cannot be reached
};

enum AlgorithmState : uint32_t {
    STOP = 0,
    WAIT_ACKNOWLEDGE_ASSIGN_LINE = 1,
    WAIT_LINE_READY = 2,
    READY_LINE = 3,
    WAIT_ACKNOWLEDGE_HANG_UP = 4,
    WAIT_EVENT_DIAL_TONE = 5,
    WAIT_DIAL = 6,
    WAIT_EVENT_KPW = 7,
    WAIT_ABONENT_HANG_UP = 8,
    WAIT_PLAY_MSG = 9,
    WAIT_PLAY_CONFIRM_MSG = 10,
    WAIT_TEST_PAUSE = 11,
    WAIT_TEST_BUSY = 12,
    WAIT_PLAY_BEEP = 13,
    WAIT_TEST_DTMF = 14,
    WAIT_ACKNOWLEDGE_HANG_DOWN = 15,
    WAIT_ACKNOWLEDGE_FREE_LINE = 16,
};
inline constexpr uint32_t kAlgorithmStateCount = 17;

const char* commandName(uint32_t code);
const char* eventName(uint32_t type);
const char* lineStateClassName(uint32_t cls);
const char* ackTypeName(uint32_t type);
const char* ackStatusName(uint32_t status);
const char* algorithmStateName(uint32_t state);
const char* notifyResultName(uint32_t result);
const char* unitCommandName(uint32_t code);

}  // namespace orvel
