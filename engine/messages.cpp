#include "messages.h"

#include <ace/Message_Block.h>

#include <cerrno>
#include <cstring>
#include <new>

namespace orvel {
namespace {

template <class Record>
ACE_Message_Block* makeBlock(int type, const Record& record, std::size_t size) {
    ACE_Message_Block* mb = new (std::nothrow)
        ACE_Message_Block(size, static_cast<ACE_Message_Block::ACE_Message_Type>(type));
    if (mb == nullptr || mb->base() == nullptr) {
        delete mb;
        errno = ENOMEM;
        return nullptr;
    }
    std::memcpy(mb->wr_ptr(), &record, size);
    mb->wr_ptr(size);
    return mb;
}

template <class Record>
const Record* recordOf(const ACE_Message_Block* mb, int type, std::size_t size) {
    if (mb == nullptr || mb->msg_type() != type || mb->length() != size) {
        return nullptr;
    }
    // Blocks we allocate have aligned buffers; others are copied by readRecord.
    if (reinterpret_cast<std::uintptr_t>(mb->rd_ptr()) % alignof(Record) != 0) {
        return nullptr;
    }
    return reinterpret_cast<const Record*>(mb->rd_ptr());
}

template <class Record>
bool copyRecord(const ACE_Message_Block* mb, int type, std::size_t size, Record& out) {
    if (mb == nullptr || mb->msg_type() != type || mb->length() != size) {
        return false;
    }
    std::memcpy(&out, mb->rd_ptr(), size);
    return true;
}

}  // namespace

ACE_Message_Block* makeCommandBlock(const Address& to, uint32_t code, uint32_t arg1, uint32_t arg2,
                                    uint32_t arg3) {
    CommandRecord r;
    r.address = to;
    r.code = code;
    r.arg1 = arg1;
    r.arg2 = arg2;
    r.arg3 = arg3;
    return makeBlock(MB_IOCTL, r, kCommandRecordSize);
}

ACE_Message_Block* makeAckBlock(const Address& to, uint32_t type, uint32_t status, uint32_t command,
                                bool hasAnswer, uint32_t answer) {
    AckRecord r;
    r.address = to;
    r.hasAnswer = hasAnswer ? 1 : 0;
    r.answer = hasAnswer ? (answer & 0xFF) : 0;
    r.type = type;
    r.status = status;
    r.command = command;
    return makeBlock(MB_IOCACK, r, kAckRecordSize);
}

ACE_Message_Block* makeEventBlock(const Address& to, uint32_t type, uint32_t value,
                                  uint32_t extra) {
    EventRecord r;
    r.address = to;
    r.type = type;
    r.value = value;
    r.extra = extra;
    return makeBlock(MB_EVENT, r, kEventRecordSize);
}

ACE_Message_Block* makeReadBlock(const Address& to, const void* data, uint32_t length,
                                 uint32_t kind) {
    ReadRecord r;
    r.address = to;
    r.length = length;
    r.data = data;
    r.kind = kind;
    return makeBlock(MB_READ, r, kReadRecordSize);
}

ACE_Message_Block* makeHangupBlock() {
    ACE_Message_Block* mb = new (std::nothrow) ACE_Message_Block(0, ACE_Message_Block::MB_HANGUP);
    if (mb == nullptr) {
        errno = ENOMEM;
    }
    return mb;
}

const CommandRecord* commandOf(const ACE_Message_Block* mb) {
    return recordOf<CommandRecord>(mb, MB_IOCTL, kCommandRecordSize);
}
const AckRecord* ackOf(const ACE_Message_Block* mb) {
    return recordOf<AckRecord>(mb, MB_IOCACK, kAckRecordSize);
}
const EventRecord* eventOf(const ACE_Message_Block* mb) {
    return recordOf<EventRecord>(mb, MB_EVENT, kEventRecordSize);
}
const ReadRecord* readOf(const ACE_Message_Block* mb) {
    return recordOf<ReadRecord>(mb, MB_READ, kReadRecordSize);
}

bool readRecord(const ACE_Message_Block* mb, CommandRecord& out) {
    return copyRecord(mb, MB_IOCTL, kCommandRecordSize, out);
}
bool readRecord(const ACE_Message_Block* mb, AckRecord& out) {
    return copyRecord(mb, MB_IOCACK, kAckRecordSize, out);
}
bool readRecord(const ACE_Message_Block* mb, EventRecord& out) {
    return copyRecord(mb, MB_EVENT, kEventRecordSize, out);
}
bool readRecord(const ACE_Message_Block* mb, ReadRecord& out) {
    return copyRecord(mb, MB_READ, kReadRecordSize, out);
}

void releaseBlock(ACE_Message_Block* mb) {
    if (mb != nullptr) {
        mb->release();
    }
}

}  // namespace orvel
