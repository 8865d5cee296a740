#include "codes.h"

#include <array>
#include <cstddef>

namespace orvel {
namespace {

template <std::size_t N>
const char* lookup(const std::array<const char*, N>& names, uint32_t index, const char* fallback) {
    return index < N ? names[index] : fallback;
}

constexpr std::array<const char*, 7> kCommandNames = {
    "CMD_START_PLAY",     "CMD_STOP_PLAY",      "CMD_SEND_LINE_ASSIGN", "CMD_SEND_HANG_UP",
    "CMD_SEND_HANG_DOWN", "CMD_SEND_LINE_FREE", "CMD_SOUND_PLAY",
};

// Index 0 is unused: event types start at 1 and only 1..4 have names.
constexpr std::array<const char*, 5> kEventNames = {
    "EV_UNKNOWN_TYPE", "EV_CHANGE_LINE_STATE", "EV_LINE_READY", "EV_LINE_BUSY", "EV_DTMF_DETECT",
};

constexpr std::array<const char*, 8> kLineStateClassNames = {
    "LS_SILENCE",   "LS_VOICE",          "LS_DIAL_TONE",       "LS_TONE",
    "LS_BUSY_TONE", "LS_RING_BACK_TONE", "LS_RING_BACK_PAUSE", "LS_AON",
};

constexpr std::array<const char*, 2> kAckTypeNames = {"ACKT_RECEIVE", "ACKT_EXECUTE"};

constexpr std::array<const char*, 5> kAckStatusNames = {
    "ACKS_OK",          "ACKS_UNDEFINE_CMD_TYPE", "ACKS_INVALID_ADDR",
    "ACKS_INVALID_ARG", "ACKS_HARDWARE_ERR",
};

constexpr std::array<const char*, kAlgorithmStateCount> kAlgorithmStateNames = {
    "STOP",
    "WAIT_ACKNOWLEDGE_ASSIGN_LINE",
    "WAIT_LINE_READY",
    "READY_LINE",
    "WAIT_ACKNOWLEDGE_HANG_UP",
    "WAIT_EVENT_DIAL_TONE",
    "WAIT_DIAL",
    "WAIT_EVENT_KPW",
    "WAIT_ABONENT_HANG_UP",
    "WAIT_PLAY_MSG",
    "WAIT_PLAY_CONFIRM_MSG",
    "WAIT_TEST_PAUSE",
    "WAIT_TEST_BUSY",
    "WAIT_PLAY_BEEP",
    "WAIT_TEST_DTMF",
    "WAIT_ACKNOWLEDGE_HANG_DOWN",
    "WAIT_ACKNOWLEDGE_FREE_LINE",
};

// The last entry is produced by no code; it is the name of anything else.
constexpr std::array<const char*, 7> kNotifyResultNames = {
    "NR_NOT_NOTIFY", "NR_NOTIFY_OK",    "NR_LINE_BUSY", "NR_NOT_HANDUP",
    "NR_LINE_DROP",  "NR_UNOBTAINABLE", "NR_UNKNOWN",
};

constexpr std::array<const char*, 29> kUnitCommandNames = {
    "SCMD_GET_FAIL_LEVEL",
    "SCMD_SET_FAIL_LEVEL",
    "SCMD_GET_ACTIVATE_LEVEL",
    "SCMD_SET_ACTIVATE_LEVEL",
    "SCMD_GET_RING_LEVEL",
    "SCMD_SET_RING_LEVEL",
    "SCMD_GET_MAX_RING_PAUSE",
    "SCMD_SET_MAX_RING_PAUSE",
    "SCMD_GET_AON_REQUEST_LENGTH",
    "SCMD_SET_AON_REQUEST_LENGTH",
    "SCMD_GET_AON_REQUEST_NUMBER",
    "SCMD_SET_AON_REQUEST_NUMBER",
    "SCMD_GET_AON_PAUSE1",
    "SCMD_SET_AON_PAUSE1",
    "SCMD_GET_AON_PAUSE_BETWEEN",
    "SCMD_SET_AON_PAUSE_BETWEEN",
    "SCMD_GET_POLARITY",
    "SCMD_SET_POLARITY",
    "SCMD_GET_SERIAL",
    "SCMD_GET_VERSION",
    "SCMD_CURRENT_DIGIT",
    "SCMD_SEND_LINE_STATE",
    "SCMD_GET_ADC_DATA",
    "SCMD_UNREC_CMD_RECEIVED",
    "SCMD_SET_KEY_ENABLE",
    "SCMD_SET_KEY_AON",
    "SCMD_GET_MIN_ACTIVATE_LEVEL",
    "SCMD_SET_MIN_ACTIVATE_LEVEL",
    "UNKNOWN_COMMAND",
};

}  // namespace

const char* commandName(uint32_t code) {
    // Every code above the last named one is logged as a dialled digit,
    // including the dial-tone notice 108.
    if (code == CMD_SEND_TEL_NUM || code > CMD_SOUND_PLAY) {
        return "CMD_SEND_TEL_NUM";
    }
    if (code >= CMD_START_PLAY) {
        return kCommandNames[code - CMD_START_PLAY];
    }
    return "CMD_UNKNOWN_CODE";
}

const char* eventName(uint32_t type) {
    return type == 0 ? "EV_UNKNOWN_TYPE" : lookup(kEventNames, type, "EV_UNKNOWN_TYPE");
}

const char* lineStateClassName(uint32_t cls) {
    return lookup(kLineStateClassNames, cls, "UNKNOW_STATE");
}

const char* ackTypeName(uint32_t type) {
    return lookup(kAckTypeNames, type, "ACKT_UNKNOWN");
}

const char* ackStatusName(uint32_t status) {
    return lookup(kAckStatusNames, status, "ACKT_UNKNOWN");
}

const char* algorithmStateName(uint32_t state) {
    return lookup(kAlgorithmStateNames, state, "UNKNOWN_STATE");
}

const char* notifyResultName(uint32_t result) {
    return result < kNotifyResultNames.size() - 1 ? kNotifyResultNames[result]
                                                  : kNotifyResultNames.back();
}

const char* unitCommandName(uint32_t code) {
    if (code >= 1 && code <= 16) {
        return kUnitCommandNames[code - 1];
    }
    switch (code) {
        case 27:
            return "SCMD_SET_KEY_AON";
        case 28:
            return "SCMD_GET_MIN_ACTIVATE_LEVEL";
        case 29:
            return "SCMD_SET_MIN_ACTIVATE_LEVEL";
        default:
            return "UNKNOWN_SOGL_COMMAND";
    }
}

}  // namespace orvel
