// The thread that runs the process-wide reactor's event loop: every timer of
// the engine fires on it.
#pragma once

#include <ace/Task.h>

namespace orvel {

class ReactorThread : public ACE_Task_Base {
public:
    int start();
    // Ends the event loop, joins the thread and makes the reactor ready to
    // run again, so that the engine can be initialised anew in this process.
    // Returns the result of ending the loop.
    int stop();
    bool running() const { return running_; }

    int svc() override;

private:
    bool running_ = false;
};

}  // namespace orvel
