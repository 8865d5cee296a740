// What the board task tests share: a scripted card behind the driver
// interface (input handed out in exactly the pieces a test gives, output
// kept per hardware channel), a task that records what reaches it, a small
// stream to put the tasks in, and a look at the engine's log.
#pragma once

#include <ace/Message_Block.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "board/driver.h"
#include "messages.h"
#include "orvel.h"
#include "task_base.h"

namespace orvel::tasktest {

using namespace std::chrono_literals;

inline uint32_t configWord(uint32_t u0, uint32_t u1, uint32_t u2) {
    return (u0 & 7) | ((u1 & 7) << 4) | ((u2 & 7) << 8) | (0x101u << 12);
}

inline std::vector<uint8_t> dataFrame(uint32_t unit, std::initializer_list<int16_t> samples) {
    std::vector<uint8_t> f = {static_cast<uint8_t>(unit & 3), 0x47};
    size_t k = 0;
    for (int16_t s : samples) {
        f.push_back(static_cast<uint8_t>(s & 0xFF));
        f.push_back(static_cast<uint8_t>((s >> 8) & 0xFF));
        ++k;
    }
    for (; k < 6; ++k) {
        f.push_back(0);
        f.push_back(0);
    }
    return f;
}

inline std::vector<uint8_t> unitFrame(uint32_t unit, uint32_t local, uint8_t command,
                                      uint8_t value) {
    return {static_cast<uint8_t>(0x08 | (unit & 3) | ((local & 0xF) << 4)), 0x47, value, command};
}

inline void append(std::vector<uint8_t>& to, const std::vector<uint8_t>& more) {
    to.insert(to.end(), more.begin(), more.end());
}

class ScriptedCard {
public:
    explicit ScriptedCard(uint32_t config) : registers_(*this), config_(config) {}

    // Test side.
    void send(std::vector<uint8_t> bytes) {
        driver::DeviceEvent* rx = nullptr;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            input_.push_back(std::move(bytes));
            rx = rx_;
        }
        if (rx != nullptr) {
            rx->signal();
        }
    }
    bool inputTaken() {
        std::lock_guard<std::mutex> lock(mutex_);
        return input_.empty();
    }
    std::vector<int16_t> slot(uint32_t h) {
        std::lock_guard<std::mutex> lock(mutex_);
        return output_[h];
    }
    void clearOutput() {
        std::lock_guard<std::mutex> lock(mutex_);
        output_.clear();
    }
    // Unit command words written, as (unit, data word).
    std::vector<std::pair<uint32_t, uint32_t>> unitWords() {
        std::lock_guard<std::mutex> lock(mutex_);
        return unitWords_;
    }
    std::vector<uint32_t> registerCommands() {
        std::lock_guard<std::mutex> lock(mutex_);
        return commands_;
    }
    void failOutputSwitch(bool fail) { failSwitch_ = fail; }
    // A full card takes no output until it is emptied again.
    void setFull(bool full) {
        full_ = full;
        if (!full) {
            wakeTransmit();
        }
    }
    void failStart(bool fail) { failStart_ = fail; }
    // A card that holds at most `frames` of output, as a real one does: it
    // takes more only as the test plays them out.
    void limitRoom(size_t frames) {
        std::lock_guard<std::mutex> lock(mutex_);
        capacity_ = room_ = static_cast<long>(frames);
    }
    void play(size_t frames) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            room_ = std::min(capacity_, room_ + static_cast<long>(frames));
        }
        wakeTransmit();
    }
    long room() {
        std::lock_guard<std::mutex> lock(mutex_);
        return room_;
    }
    bool started() {
        std::lock_guard<std::mutex> lock(mutex_);
        return rx_ != nullptr;
    }

    // Driver side.
    class Handle : public driver::DeviceHandle {
    public:
        explicit Handle(ScriptedCard& card) : card_(card) {}
        int ioctl(uint32_t code, const void* in, std::size_t inSize, void* out,
                  std::size_t outSize) override {
            return card_.ioctl(code, in, inSize, out, outSize);
        }
        ssize_t read(void* buffer, std::size_t size) override { return card_.read(buffer, size); }
        ssize_t write(const void* data, std::size_t size) override {
            return card_.write(data, size);
        }

    private:
        ScriptedCard& card_;
    };

private:
    class Registers : public driver::RegisterBlock {
    public:
        explicit Registers(ScriptedCard& card) : card_(card) {}
        uint32_t read(unsigned word) override {
            return word == kConfig ? card_.config_ : 0;  // never busy
        }
        void write(unsigned word, uint32_t value) override {
            std::lock_guard<std::mutex> lock(card_.mutex_);
            if (word == kData) {
                card_.data_ = value;
            } else if (word == kCommand) {
                card_.commands_.push_back(value);
                if (value >= 0x47470018 && value <= 0x4747001A) {
                    card_.unitWords_.push_back({value - 0x47470018, card_.data_});
                }
            }
        }

    private:
        ScriptedCard& card_;
    };

    int ioctl(uint32_t code, const void* in, std::size_t, void* out, std::size_t) {
        switch (code) {
            case driver::IOCTL_GET_REGISTERS: {
                driver::RegistersInfo info;
                info.initialised = 1;
                info.registers = &registers_;
                std::memcpy(out, &info, sizeof info);
                return 0;
            }
            case driver::IOCTL_START: {
                if (failStart_) {
                    return -1;
                }
                driver::StartRecord rec;
                std::memcpy(&rec, in, sizeof rec);
                std::lock_guard<std::mutex> lock(mutex_);
                rx_ = rec.receiveEvent;
                tx_ = rec.transmitEvent;
                return 0;
            }
            case driver::IOCTL_STOP: {
                std::lock_guard<std::mutex> lock(mutex_);
                rx_ = tx_ = nullptr;
                return 0;
            }
            case driver::IOCTL_STREAM_SWITCH: {
                driver::StreamSwitchRecord rec;
                std::memcpy(&rec, in, sizeof rec);
                if (rec.mode == 1) {
                    if (failSwitch_) {
                        return -1;
                    }
                    wakeTransmit();
                }
                return 0;
            }
            default:
                return -1;
        }
    }
    ssize_t read(void* buffer, std::size_t size) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (input_.empty()) {
            return 0;
        }
        auto& front = input_.front();
        const size_t n = std::min(size, front.size());
        std::memcpy(buffer, front.data(), n);
        front.erase(front.begin(), front.begin() + static_cast<long>(n));
        if (front.empty()) {
            input_.pop_front();
        }
        return static_cast<ssize_t>(n);
    }
    // Takes every whole frame at once, as a card that is never full.
    ssize_t write(const void* data, std::size_t size) {
        size_t frames = full_ ? 0 : size / 64;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (capacity_ >= 0) {
                frames = std::min(frames, static_cast<size_t>(room_));
                room_ -= static_cast<long>(frames);
            }
            const auto* b = static_cast<const uint8_t*>(data);
            for (size_t f = 0; f < frames; ++f) {
                for (size_t h = 0; h < 32; ++h) {
                    const uint8_t* p = b + f * 64 + 2 * h;
                    output_[h].push_back(static_cast<int16_t>(p[0] | (p[1] << 8)));
                }
            }
        }
        if (frames > 0) {
            wakeTransmit();
        }
        return static_cast<ssize_t>(frames * 64);
    }
    void wakeTransmit() {
        driver::DeviceEvent* tx = nullptr;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            tx = tx_;
        }
        if (tx != nullptr) {
            tx->signal();
        }
    }

    Registers registers_;
    uint32_t config_;
    std::mutex mutex_;
    uint32_t data_ = 0;
    std::vector<uint32_t> commands_;
    std::vector<std::pair<uint32_t, uint32_t>> unitWords_;
    std::deque<std::vector<uint8_t>> input_;
    std::map<uint32_t, std::vector<int16_t>> output_;
    driver::DeviceEvent* rx_ = nullptr;
    driver::DeviceEvent* tx_ = nullptr;
    std::atomic<bool> failSwitch_{false};
    std::atomic<bool> failStart_{false};
    std::atomic<bool> full_{false};
    long capacity_ = -1;  // frames; -1: takes everything
    long room_ = 0;
};

class ScriptedDriver : public driver::Driver {
public:
    explicit ScriptedDriver(std::vector<uint32_t> configs) {
        for (uint32_t c : configs) {
            cards_.push_back(std::make_unique<ScriptedCard>(c));
        }
    }
    std::unique_ptr<driver::DeviceHandle> open(const std::string& name) override {
        for (size_t i = 0; i < cards_.size(); ++i) {
            if (name == driver::deviceName(static_cast<int>(i))) {
                return std::make_unique<ScriptedCard::Handle>(*cards_[i]);
            }
        }
        errno = ENOENT;
        return nullptr;
    }
    ScriptedCard& card(size_t i) { return *cards_[i]; }

private:
    std::vector<std::unique_ptr<ScriptedCard>> cards_;
};

struct ReadCopy {
    ReadRecord record;
    std::vector<uint8_t> data;  // copied inside put, as receivers must
    int16_t sample(size_t i) const {
        return static_cast<int16_t>(data[2 * i] | (data[2 * i + 1] << 8));
    }
};

// Records every block it is given and releases it. On the up side it can
// answer each command it receives with ACKT_RECEIVE, as a board would.
class RecordingTask : public Task {
public:
    int put(ACE_Message_Block* mb, ACE_Time_Value* = nullptr) override {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            AckRecord ack;
            EventRecord event;
            ReadRecord read;
            CommandRecord cmd;
            if (readRecord(mb, ack)) {
                acks.push_back(ack);
            } else if (readRecord(mb, event)) {
                events.push_back(event);
            } else if (readRecord(mb, read)) {
                ReadCopy copy{read, {}};
                const auto* p = static_cast<const uint8_t*>(read.data);
                copy.data.assign(p, p + read.length);
                reads.push_back(std::move(copy));
            } else if (readRecord(mb, cmd)) {
                commands.push_back(cmd);
            }
        }
        cv_.notify_all();
        CommandRecord cmd;
        const bool answer = answerCommands && readRecord(mb, cmd);
        releaseBlock(mb);
        if (answer) {
            sendDown(this, makeAckBlock(cmd.address, ACKT_RECEIVE, ACKS_OK, cmd.code));
        }
        return 0;
    }

    bool waitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout = 20s) {
        std::unique_lock<std::mutex> lock(mutex_);
        return cv_.wait_for(lock, timeout, done);
    }
    template <class F>
    auto locked(F f) {
        std::lock_guard<std::mutex> lock(mutex_);
        return f();
    }
    void clear() {
        std::lock_guard<std::mutex> lock(mutex_);
        acks.clear();
        events.clear();
        reads.clear();
        commands.clear();
    }

    std::vector<AckRecord> acks;
    std::vector<EventRecord> events;
    std::vector<ReadCopy> reads;
    std::vector<CommandRecord> commands;
    bool answerCommands = false;

private:
    std::mutex mutex_;
    std::condition_variable cv_;
};

// A stream whose tail records what comes down.
class TestStream {
public:
    TestStream() {
        tail_ = new RecordingTask;
        auto* up = new CPassThroughTask;
        Module* tail = new Module("RecorderModule", tail_, up, nullptr, Module::M_DELETE);
        stream_ = std::make_unique<Stream>(nullptr, nullptr, tail);
    }
    ~TestStream() { stream_->close(Module::M_DELETE); }
    Stream& stream() { return *stream_; }
    RecordingTask& tail() { return *tail_; }
    // Pushes a module with the given tasks directly below the head.
    int push(const char* name, Task* down, Task* up) {
        return stream_->push(new Module(name, down, up, nullptr, Module::M_DELETE));
    }
    Task* down(const char* name) { return stream_->find(name)->writer(); }
    Task* up(const char* name) { return stream_->find(name)->reader(); }

private:
    std::unique_ptr<Stream> stream_;
    RecordingTask* tail_ = nullptr;
};

// The engine's log written to a file for one test.
class LogCapture {
public:
    explicit LogCapture(std::string path) : path_(std::move(path)) { logEnable(path_.c_str(), 1); }
    ~LogCapture() { logEnable(path_.c_str(), 0); }
    // Log texts without their prefixes.
    std::vector<std::string> texts() const {
        std::ifstream in(path_);
        std::vector<std::string> out;
        for (std::string line; std::getline(in, line);) {
            const auto at = line.find("@LM_");
            if (at != std::string::npos) {
                const auto second = line.find('@', at + 1);
                out.push_back(second != std::string::npos ? line.substr(second + 1) : line);
            } else {
                out.push_back(line);
            }
        }
        return out;
    }
    size_t count(const std::string& text) const {
        size_t n = 0;
        for (const auto& t : texts()) {
            n += t == text ? 1 : 0;
        }
        return n;
    }
    bool contains(const std::string& part) const {
        for (const auto& t : texts()) {
            if (t.find(part) != std::string::npos) {
                return true;
            }
        }
        return false;
    }

private:
    std::string path_;
};

}  // namespace orvel::tasktest
