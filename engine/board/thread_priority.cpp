#include "board/thread_priority.h"

#include <ace/Log_Msg.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

namespace orvel {

bool raiseBoardThreadPriority(const char* who) {
    // On Linux the nice value belongs to the thread named by its id.
    const auto tid = static_cast<id_t>(::syscall(SYS_gettid));
    if (::setpriority(PRIO_PROCESS, tid, kBoardThreadNice) == 0) {
        return true;
    }
    static std::atomic<bool> told{false};
    if (!told.exchange(true)) {
        ACE_DEBUG((LM_INFO, ACE_TEXT(" %C: thread priority stays normal (%C)\n"), who,
                   std::strerror(errno)));
    }
    return false;
}

}  // namespace orvel
