// The stream framework's types as the engine uses them, and what every task
// of the engine shares.
//
// Ownership rule for message blocks: a task's put() consumes the block it is
// given (passes it on, queues it or releases it) and returns 0; the sender
// never touches the block again. ACE's own ACE_Task_Base::put returns 0
// without releasing, so every task of the engine overrides put().
#pragma once

#include <ace/Module.h>
#include <ace/Stream.h>
#include <ace/Synch_Traits.h>
#include <ace/Task_T.h>

#include <atomic>

#include "messages.h"

namespace orvel {

using Task = ACE_Task<ACE_MT_SYNCH>;
using Module = ACE_Module<ACE_MT_SYNCH>;
using Stream = ACE_Stream<ACE_MT_SYNCH>;

// Water marks of the board and thresholds tasks' own queues.
inline constexpr size_t kTaskQueueWaterMark = 16384;

// Closing a module closes each task with this flag; a task's own thread
// ending calls close(0).
inline constexpr u_long kCloseFromModule = 1;

// True when `next` is one of the stream's ends, which would only queue what it
// is given where nobody reads it.
bool isStreamEnd(const Task* next);

// Hands a block to the next task on `from`'s side; a missing next or a stream
// end releases it. Returns put's result, or -1 when the block was dropped.
int passOn(Task* from, ACE_Message_Block* mb);

// Sends a block downwards from an up-side task (through its sibling's next),
// so that answers always travel towards the tail.
int sendDown(Task* upSide, ACE_Message_Block* mb);

// The answer of the command side when a command finds no board: an
// acknowledgement with ACKS_INVALID_ADDR and command code 0, sent down.
void answerInvalidAddress(Task* upSide, const ACE_Message_Block* command);

// Boards' receive threads begin their work only once the engine's stream
// stands whole: pushing a board's module relinks the tasks through which the
// earlier boards' traffic (the thresholds task's unit commands) runs up, and
// opens the new board's tasks only after linking them. Open unless the
// engine is building.
class StreamGate {
public:
    static void close();
    static void open();
    // Waits until the gate opens; false when `stop` was set meanwhile.
    static bool waitOpen(const std::atomic<bool>& stop);
};

// The up side of every module but the boards': hands every block on
// unchanged, and at the top answers a command that found no board.
class CPassThroughTask : public Task {
public:
    int put(ACE_Message_Block* mb, ACE_Time_Value* tv = nullptr) override;
};

}  // namespace orvel
