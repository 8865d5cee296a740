#include <ace/Reactor.h>
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <stdexcept>
#include <vector>

#include "call/logic_processing.h"
#include "reactor_thread.h"
#include "test_util.h"

namespace orvel {
namespace {

using testing::waitFor;

// Records what the logic task hands it.
class RecordingAlgorithm : public CProcessingAlgorithm {
public:
    int Start() override { return ++starts; }
    int Stop() override {
        ++stops;
        return 0;
    }
    uint32_t GetState() const override { return 0; }
    int DoAlgorithm(const ACE_Message_Block* mb) override {
        EventRecord ev;
        if (readRecord(mb, ev)) {
            std::lock_guard<std::mutex> lock(mutex);
            values.push_back(ev.value);
            if (ev.value == kThrow) {
                throw std::runtime_error("algorithm failure");
            }
        }
        if (onBlock) {
            onBlock();
        }
        return 0;
    }
    int CheckTimeOut(const ACE_Time_Value&, const void*) override {
        ++ticks;
        return 0;
    }
    std::vector<uint32_t> seen() {
        std::lock_guard<std::mutex> lock(mutex);
        return values;
    }
    static constexpr uint32_t kThrow = 666;
    std::atomic<int> starts{0}, stops{0}, ticks{0};
    std::function<void()> onBlock;
    std::mutex mutex;
    std::vector<uint32_t> values;
};

class LogicTaskTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(reactor.start(), 0); }
    void TearDown() override {
        task.close(kCloseFromModule);
        reactor.stop();
    }
    void send(uint32_t device, uint32_t channel, uint32_t value) {
        task.put(makeEventBlock(Address{0, device, channel}, EV_DTMF_DETECT, value));
    }
    ReactorThread reactor;
    OrvelLogicProcessing task{ACE_Reactor::instance()};
};

TEST_F(LogicTaskTest, TableRegistrationStartAndStop) {
    RecordingAlgorithm first, second;
    EXPECT_TRUE(task.AddDevice(0, 2));
    EXPECT_TRUE(task.AddDevice(0, 5));  // an existing entry stays as it is
    EXPECT_EQ(task.RegisterAlgorithm({0, 1, 0}, &first), nullptr);  // no such device
    EXPECT_EQ(task.RegisterAlgorithm({0, 0, 2}, &first), nullptr);  // beyond the vector
    EXPECT_EQ(task.StartAlgorithm({0, 0, 2}), -1);
    EXPECT_EQ(task.StartAlgorithm({0, 0, 1}), -1);  // empty slot
    EXPECT_EQ(task.RegisterAlgorithm({0, 0, 1}, &first), nullptr);
    EXPECT_EQ(first.address().channel, 1u);
    EXPECT_EQ(task.StartAlgorithm({0, 0, 1}), 1);
    // A second algorithm in the slot stops the first and returns it.
    EXPECT_EQ(task.RegisterAlgorithm({0, 0, 1}, &second), &first);
    EXPECT_EQ(first.stops.load(), 1);
    EXPECT_EQ(task.StopAlgorithm({0, 0, 1}), 0);
    EXPECT_EQ(second.stops.load(), 1);
}

TEST_F(LogicTaskTest, BlocksReachTheirChannelAndTicksEveryAlgorithm) {
    RecordingAlgorithm a, b;
    task.AddDevice(3, 2);
    task.RegisterAlgorithm({0, 3, 0}, &a);
    task.RegisterAlgorithm({0, 3, 1}, &b);
    ASSERT_EQ(task.open(), 0);
    send(3, 1, 10);
    send(3, 0, 20);
    send(4, 0, 30);  // unknown device: dropped
    send(3, 7, 40);  // unknown channel: dropped
    send(3, 0, RecordingAlgorithm::kThrow);
    send(3, 0, 21);  // dispatch goes on after a failing algorithm
    ASSERT_TRUE(waitFor([&] { return a.seen().size() == 3; }));
    EXPECT_EQ(a.seen(), (std::vector<uint32_t>{20, RecordingAlgorithm::kThrow, 21}));
    EXPECT_EQ(b.seen(), (std::vector<uint32_t>{10}));
    // Ticks start after a second and come every 100 ms.
    ASSERT_TRUE(waitFor([&] { return a.ticks >= 3 && b.ticks >= 3; }));
    task.close(kCloseFromModule);  // before the algorithms go out of scope
}

TEST_F(LogicTaskTest, CloseEndsTheThreadAndDropsWhatIsQueued) {
    RecordingAlgorithm a;
    std::atomic<bool> release{false};
    a.onBlock = [&] {
        while (!release) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    };
    task.AddDevice(0, 1);
    task.RegisterAlgorithm({0, 0, 0}, &a);
    ASSERT_EQ(task.open(), 0);
    send(0, 0, 1);
    ASSERT_TRUE(waitFor([&] { return a.seen().size() == 1; }));
    for (uint32_t v = 2; v < 50; ++v) {
        send(0, 0, v);
    }
    std::thread closer([&] { EXPECT_EQ(task.close(kCloseFromModule), 0); });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    release = true;
    closer.join();
    EXPECT_EQ(task.thr_count(), 0u);
    EXPECT_EQ(a.seen().size(), 1u);
    int ticks = a.ticks;
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(a.ticks.load(), ticks);
}

TEST_F(LogicTaskTest, AnswersToItsOwnCommandsNeverBlockOnAFullQueue) {
    // An algorithm whose every block makes far more answers than the queue
    // holds, all put on the logic thread itself, as acknowledgements are.
    RecordingAlgorithm a;
    std::atomic<int> produced{0};
    a.onBlock = [&] {
        if (produced.exchange(1) == 0) {
            for (uint32_t v = 1000; v < 3000; ++v) {
                send(0, 0, v);
            }
        }
    };
    task.AddDevice(0, 1);
    task.RegisterAlgorithm({0, 0, 0}, &a);
    ASSERT_EQ(task.open(), 0);
    send(0, 0, 1);
    ASSERT_TRUE(waitFor([&] { return a.seen().size() == 2001; }, std::chrono::seconds(30)));
    task.close(kCloseFromModule);  // before the algorithm goes out of scope
}

}  // namespace
}  // namespace orvel
