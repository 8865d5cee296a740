// COrvelEngine: the one engine object behind the exported functions. It owns
// the boards' device objects, the per-channel call algorithms and analyzers
// and the stream; the exports only check numbers and call into it.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <shared_mutex>
#include <string>
#include <vector>

#include "analysis/signal_processing.h"
#include "board/driver_host.h"
#include "board/k24_driver.h"
#include "call/listen_line_test.h"
#include "line_settings.h"
#include "orvel.h"
#include "reactor_thread.h"
#include "stream_builder.h"

namespace orvel {

class COrvelEngine {
public:
    static COrvelEngine& instance();

    int32_t InitDll(const char* directory);
    int32_t StartDll();
    int32_t StopDll();
    int32_t ShutdownDll();

    int32_t AssignLine(uint32_t dev, uint32_t ch);
    int32_t FreeLine(uint32_t dev, uint32_t ch);
    int32_t FreeAllLine(uint32_t dev);
    int32_t CallAbonent(uint32_t dev, uint32_t ch, const char* number, int32_t toneFlag,
                        int32_t mainMessage, int32_t confirmMessage, int32_t mode);
    int32_t ListenLine(uint32_t dev, uint32_t ch, int32_t on);

    int32_t GetProgrammState(uint32_t* record);
    int32_t GetLineState(uint32_t* lineState);
    int32_t GetLineStateEx(uint32_t* buffer, uint32_t words);

    int32_t LoadSoundFile(const char* path, int32_t messageNumber);

    int32_t SetSensLevel(uint32_t dev, uint32_t ch, uint32_t level);
    void SetConfirmOn(bool on);
    void SetTimeParam(uint32_t dev, uint32_t ch, const CallTimeParams* params);
    void GetTimeParam(uint32_t dev, uint32_t ch, CallTimeParams* params);
    int32_t SetDtmfLevel(uint32_t dev, uint32_t ch, uint32_t level);
    int32_t GetDtmfLevel(uint32_t dev, uint32_t ch, uint32_t* level);
    void AdvancedDtmfConfirmOn(bool on);
    int32_t LineParameter(bool set, bool dropMode, uint32_t dev, uint32_t ch, uint32_t* value);
    void SetNotifyResultCallback(NotifyResultCallback callback);

    uint32_t programState() const { return state_.load(); }
    uint32_t deviceCount() const { return deviceCount_.load(); }
    const std::string& dumpBase() const { return dumpBase_; }
    // For diagnostics and tests: the stream as built, valid until ShutdownDll.
    Stream* stream() const { return stream_.get(); }

    // Line state code shown by the program for an algorithm state, and the
    // result code for a notify result.
    static uint32_t lineStateCode(uint32_t algorithmState);
    static uint32_t resultCode(uint32_t notifyResult);

private:
    COrvelEngine() = default;

    bool validLine(uint32_t dev, uint32_t ch) const;
    uint32_t channelCount(uint32_t dev) const;
    CListenLineTest* algorithm(uint32_t dev, uint32_t ch) const;
    OrvelLogicProcessing* logicTask() const;
    int32_t freeLineLocked(uint32_t dev, uint32_t ch);
    // Steps of InitDll that bring up one board; false ends the build.
    bool bringUpBoard(uint32_t d, const std::string& name, const std::string& fisPath,
                      const std::string& dumpDir, bool& broughtUp);
    void tearDown();

    // Exports share the engine; InitDll and ShutdownDll change it alone.
    mutable std::shared_mutex lifecycle_;
    std::string dumpBase_;
    LineSettings lineSettings_;
    std::atomic<uint32_t> state_{ORVEL_STATE_NOT_INITIALISED};
    std::atomic<uint32_t> deviceCount_{0};
    std::unique_ptr<Stream> stream_;
    LibraryTasks tasks_;
    std::vector<std::unique_ptr<CK24Device>> devices_;
    std::vector<std::unique_ptr<CListenLineTest>> algorithms_;
    std::vector<std::unique_ptr<CRawAnalyzer>> analyzers_;
    ReactorThread reactorThread_;
    driver::DriverHost driverHost_;
};

}  // namespace orvel
