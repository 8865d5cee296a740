#include "reactor_thread.h"

#include <ace/Reactor.h>
#include <ace/Thread.h>
#include <pthread.h>

namespace orvel {

int ReactorThread::start() {
    if (running_) {
        return 0;
    }
    ACE_Reactor::instance()->reset_reactor_event_loop();
    if (activate(THR_NEW_LWP | THR_JOINABLE, 1, 0, ACE_DEFAULT_THREAD_PRIORITY, -1) == -1) {
        return -1;
    }
    running_ = true;
    return 0;
}

int ReactorThread::stop() {
    int result = ACE_Reactor::instance()->end_reactor_event_loop();
    if (running_) {
        wait();
        running_ = false;
    }
    ACE_Reactor::instance()->reset_reactor_event_loop();
    return result;
}

int ReactorThread::svc() {
    pthread_setname_np(pthread_self(), "orvel-reactor");
    ACE_Reactor* reactor = ACE_Reactor::instance();
    reactor->owner(ACE_Thread::self());
    return reactor->run_reactor_event_loop(ACE_Reactor::check_reconfiguration);
}

}  // namespace orvel
