// The records that travel through the engine's stream inside message blocks,
// and helpers that build and read them.
//
// Ownership rule for blocks, everywhere in the engine: whoever is handed a
// block (through put(), a queue, or one of the helpers here) consumes it:
// it passes it on, queues it, or releases it. A sender never touches a block
// after handing it over, even when the call failed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "codes.h"

class ACE_Message_Block;

namespace orvel {

struct Address {
    uint32_t reserved = 0;
    uint32_t device = 0;
    uint32_t channel = 0;
};

struct CommandRecord {
    Address address;
    uint32_t zero3 = 0;
    uint32_t zero4 = 0;
    uint32_t code = 0;
    uint32_t arg1 = 0;
    uint32_t arg2 = 0;
    uint32_t arg3 = 0;
};

struct AckRecord {
    Address address;
    uint32_t hasAnswer = 0;  // 1 when `answer` carries a line-interface unit's value
    uint32_t answer = 0;
    uint32_t type = 0;    // AckType
    uint32_t status = 0;  // AckStatus
    uint32_t command = 0;
};

struct EventRecord {
    Address address;
    uint32_t zero3 = 0;
    uint32_t zero4 = 0;
    uint32_t type = 0;
    uint32_t value = 0;
    // EV_CHANGE_LINE_STATE: ms since the sound the report judges was first
    // heard (0: no sound, or not known). Otherwise 0.
    uint32_t extra = 0;
};

enum ReadKind : uint32_t {
    READ_SAMPLES = 0,  // signed 16-bit samples of the channel
    READ_VOLTAGE = 1,  // one unsigned byte: the channel's line-voltage reading
};

// The data stays owned by the receive task and is valid only while the block
// travels down the stream; a receiver that needs it later copies it. The
// pointer is native, so the record is larger than the 32-bit original; every
// size check uses kReadRecordSize.
struct ReadRecord {
    Address address;
    uint32_t length = 0;  // bytes
    const void* data = nullptr;
    uint32_t kind = READ_SAMPLES;
};

inline constexpr std::size_t kCommandRecordSize = 36;
inline constexpr std::size_t kAckRecordSize = 32;
inline constexpr std::size_t kEventRecordSize = 32;
inline constexpr std::size_t kReadRecordSize = sizeof(ReadRecord);

static_assert(sizeof(CommandRecord) == kCommandRecordSize);
static_assert(sizeof(AckRecord) == kAckRecordSize);
static_assert(sizeof(EventRecord) == kEventRecordSize);
static_assert(std::is_trivially_copyable_v<ReadRecord>);

// Each returns a new block of the record's type and size, or null with errno
// set to ENOMEM.
ACE_Message_Block* makeCommandBlock(const Address& to, uint32_t code, uint32_t arg1 = 0,
                                    uint32_t arg2 = 0, uint32_t arg3 = 0);
ACE_Message_Block* makeAckBlock(const Address& to, uint32_t type, uint32_t status, uint32_t command,
                                bool hasAnswer = false, uint32_t answer = 0);
ACE_Message_Block* makeEventBlock(const Address& to, uint32_t type, uint32_t value = 0,
                                  uint32_t extra = 0);
ACE_Message_Block* makeReadBlock(const Address& to, const void* data, uint32_t length,
                                 uint32_t kind);
ACE_Message_Block* makeHangupBlock();

// The block's record when its type and payload length match, else null.
const CommandRecord* commandOf(const ACE_Message_Block* mb);
const AckRecord* ackOf(const ACE_Message_Block* mb);
const EventRecord* eventOf(const ACE_Message_Block* mb);
const ReadRecord* readOf(const ACE_Message_Block* mb);

// Copies the record out of a block of the right type and length (records need
// not be aligned inside the block's buffer). False when the block is malformed.
bool readRecord(const ACE_Message_Block* mb, CommandRecord& out);
bool readRecord(const ACE_Message_Block* mb, AckRecord& out);
bool readRecord(const ACE_Message_Block* mb, EventRecord& out);
bool readRecord(const ACE_Message_Block* mb, ReadRecord& out);

// Releases a block; null is fine.
void releaseBlock(ACE_Message_Block* mb);

}  // namespace orvel
