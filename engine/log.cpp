#include "log.h"

#include <ace/Log_Msg.h>
#include <ace/Log_Msg_Backend.h>
#include <ace/Log_Priority.h>
#include <ace/Log_Record.h>

#include <cerrno>
#include <fstream>
#include <mutex>

namespace orvel::log {
namespace {

class FileBackend final : public ACE_Log_Msg_Backend {
public:
    int open(const ACE_TCHAR*) override { return 0; }
    int reset() override { return 0; }
    int close() override { return 0; }

    ssize_t log(ACE_Log_Record& record) override {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!file_.is_open()) {
            return 0;
        }
        record.print(ACE_TEXT(""), ACE_Log_Msg::VERBOSE_LITE, file_);
        file_.flush();
        return 0;
    }

    bool isOpen() {
        std::lock_guard<std::mutex> lock(mutex_);
        return file_.is_open();
    }

    bool openAppend(const char* path) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!file_.is_open() && path != nullptr) {
            file_.open(path, std::ios::out | std::ios::app);
        }
        return file_.is_open();
    }

    void closeFile() {
        std::lock_guard<std::mutex> lock(mutex_);
        if (file_.is_open()) {
            file_.close();
        }
        file_.clear();
    }

private:
    std::mutex mutex_;
    std::ofstream file_;
};

FileBackend& backend() {
    // Never destroyed: threads may still log while the process exits.
    static FileBackend* instance = new FileBackend;
    return *instance;
}

std::once_flag g_setUp;

// The library is set up as soon as it is loaded, as the engine object is.
struct SetUpAtLoad {
    SetUpAtLoad() { setUp(); }
} g_setUpAtLoad;

}  // namespace

void setUp() {
    std::call_once(g_setUp, [] {
        ACE_Log_Msg::msg_backend(&backend());
        ACE_LOG_MSG->open(ACE_TEXT("orvel"), 0);
    });
}

bool fileIsOpen() {
    return backend().isOpen();
}

int32_t enable(const char* path, int32_t on) {
    setUp();
    ACE_DEBUG((LM_DEBUG, ACE_TEXT(" Log %C %C \n"), path != nullptr ? path : "(null)",
               on != 0 ? "enable" : "disable"));
    if (path != nullptr && backend().isOpen()) {
        ACE_DEBUG((LM_DEBUG, ACE_TEXT("Log Stream is open\n")));
        backend().closeFile();
    }
    if (on != 0) {
        if (backend().openAppend(path)) {
            ACE_LOG_MSG->set_flags(ACE_Log_Msg::CUSTOM | ACE_Log_Msg::VERBOSE_LITE);
        }
    } else {
        ACE_DEBUG((LM_DEBUG, ACE_TEXT("Can't open log file stream \n")));
        ACE_LOG_MSG->clr_flags(ACE_Log_Msg::CUSTOM);
    }
    ACE_Log_Msg* msg = ACE_LOG_MSG;
    msg->conditional_set(__FILE__, __LINE__, 0, errno);
    return msg->log(
        LM_INFO, ACE_TEXT("=========================== Log begin ===========================\n"));
}

}  // namespace orvel::log
