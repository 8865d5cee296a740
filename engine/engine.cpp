#include "engine.h"

#include <ace/Log_Msg.h>
#include <ace/Reactor.h>
#include <dirent.h>
#include <malloc.h>
#include <strings.h>
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <mutex>
#include <new>

#include "analysis/signal_analysis_task.h"
#include "board/k24_treshold.h"
#include "board/orvel_write_task.h"
#include "call/logic_processing.h"
#include "dump_mask.h"
#include "log.h"
#include "media/wave_out_task.h"

namespace orvel {
namespace {

using SharedLock = std::shared_lock<std::shared_mutex>;
using UniqueLock = std::unique_lock<std::shared_mutex>;

bool isDirectory(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Creates the directory when missing; logs and goes on when that fails.
void ensureDumpDirectory(const std::string& path) {
    if (isDirectory(path)) {
        return;
    }
    if (::mkdir(path.c_str(), 0755) != 0 && !isDirectory(path)) {
        ACE_ERROR((LM_ERROR, ACE_TEXT(" Can not to create dump dirrectory ( %C ) : Access deny \n"),
                   path.c_str()));
    }
}

// Fixed file names are found whatever their case, as on the original system.
std::string findFileNoCase(const std::string& dir, const char* name) {
    std::string exact = dir + name;
    struct stat st {};
    if (::stat(exact.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
        return exact;
    }
    DIR* d = ::opendir(dir.empty() ? "." : dir.c_str());
    if (d == nullptr) {
        return {};
    }
    std::string found;
    while (dirent* e = ::readdir(d)) {
        if (::strcasecmp(e->d_name, name) == 0) {
            std::string candidate = dir + e->d_name;
            if (::stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
                found = candidate;
                break;
            }
        }
    }
    ::closedir(d);
    return found;
}

// Every run makes the engine's threads (reactor, logic, analysis, a reader
// and a writer per board) anew, and each new thread may be handed an
// allocator arena of its own. The free top of such an arena is given back
// only when it outgrows the trim threshold, which the allocator raises with
// every large block freed (to 8 MB after the simulator's 4 MB buffers), and
// malloc_trim trims only the main arena's top. A thread's peak of a run (some
// megabytes) thus stayed resident in one arena after another, run after run,
// up to as many arenas as the allocator allows (16 on two cores). With one
// arena the trim at shutdown gives back all that the run freed. Set when the
// library is loaded, before the program has made a thread, because arenas
// made earlier would stay in use.
[[maybe_unused]] const bool g_oneArena = ::mallopt(M_ARENA_MAX, 1) == 1;

}  // namespace

COrvelEngine& COrvelEngine::instance() {
    static COrvelEngine engine;
    return engine;
}

// ---- Life cycle -------------------------------------------------------------

int32_t COrvelEngine::InitDll(const char* directory) {
    log::setUp();
    UniqueLock guard(lifecycle_);
    // A second InitDll starts over rather than building a second set of
    // boards, tasks and threads beside the first.
    tearDown();
    state_ = ORVEL_STATE_NOT_INITIALISED;

    std::string dir = directory != nullptr ? directory : "";
    if (dir.empty() || dir.back() != '/') {
        dir += '/';
    }
    lineSettings_ = readLineSettings(findFileNoCase(dir, kLineSettingsFile));
    // The site's tone plan brings its own rule base.
    const char* ruleBase = lineSettings_.tonePlan->ruleBase;
    std::string fisPath = findFileNoCase(dir, ruleBase);
    if (fisPath.empty()) {
        ACE_ERROR((LM_ERROR, ACE_TEXT(" In current directory file %C not exist\n"),
                   (dir + ruleBase).c_str()));
        return -1;
    }
    std::string dumpDir = dir + "dump";
    ensureDumpDirectory(dumpDir);
    dumpBase_ = dumpDir + "/Device";

    std::string driverError;
    if (!driverHost_.load(dir, driverError)) {
        ACE_ERROR((LM_ERROR, ACE_TEXT(" Driver module not loaded: %C\n"), driverError.c_str()));
    }
    std::vector<std::string> names;
    for (int i = 0; i < driver::kMaxDevices; ++i) {
        std::string name = driver::deviceName(i);
        if (driverHost_.driver().open(name)) {
            names.push_back(name);
        }
    }
    if (names.empty()) {
        ACE_ERROR((LM_ERROR, ACE_TEXT(" Orvel devices not found\n")));
        state_ = ORVEL_STATE_NO_BOARD;
        return 0;
    }

    try {
        for (size_t d = 0; d < names.size(); ++d) {
            devices_.push_back(std::make_unique<CK24Device>(driverHost_.driver()));
            for (uint32_t k = 0; k < kChannelsPerBoard; ++k) {
                algorithms_.push_back(std::make_unique<CListenLineTest>());
                analyzers_.push_back(std::make_unique<CRawAnalyzer>());
            }
        }
    } catch (const std::bad_alloc&) {
        tearDown();
        errno = ENOMEM;
        return -1;
    }
    deviceCount_ = static_cast<uint32_t>(names.size());

    reactorThread_.start();
    stream_ = buildLibraryStream(ACE_Reactor::instance(), tasks_);
    if (!stream_) {
        tearDown();
        return 0;
    }
    bool broughtUp = false;
    StreamGate::close();
    for (uint32_t d = 0; d < names.size(); ++d) {
        if (!bringUpBoard(d, names[d], fisPath, dumpDir, broughtUp)) {
            StreamGate::open();
            tearDown();
            return 0;
        }
    }
    StreamGate::open();
    state_ = broughtUp ? ORVEL_STATE_INITIALISED : ORVEL_STATE_NO_BOARD;
    return 0;
}

bool COrvelEngine::bringUpBoard(uint32_t d, const std::string& name, const std::string& fisPath,
                                const std::string& dumpDir, bool& broughtUp) {
    CK24Device* device = devices_[d].get();
    if (device->open(name, d) != 0) {
        return true;  // the board stays in the array with no channels
    }
    const uint32_t channels = device->channelCount();
    tasks_.logic->AddDevice(d, channels);
    tasks_.analysis->AddDevice(d, channels);
    tasks_.treshold->AddDevice(d, channels, device);

    const std::string deviceDir = dumpDir + "/Device" + std::to_string(d);
    for (uint32_t k = 0; k < channels; ++k) {
        const Address address{0, d, k};
        CListenLineTest* alg = algorithms_[d * kChannelsPerBoard + k].get();
        alg->SetEarlyBusyDetect(lineSettings_.earlyBusyDetect);
        CRawAnalyzer* analyzer = analyzers_[d * kChannelsPerBoard + k].get();
        tasks_.logic->RegisterAlgorithm(address, alg);
        tasks_.analysis->RegisterAnalyzer(address, analyzer);
        if (analyzer->processing().loadFis(fisPath) != 0) {
            ACE_ERROR(
                (LM_ERROR, ACE_TEXT(" Device %u channel %u : error init fis subsystem\n"), d, k));
            return false;
        }
        ensureDumpDirectory(deviceDir);
        ensureDumpDirectory(deviceDir + "/Channel" + std::to_string(k));
        analyzer->setSampleRate(8000);
        analyzer->setConfirmGuard(lineSettings_.confirmGuard);
        analyzer->setSitDetect(lineSettings_.sitDetect);
        analyzer->processing().setSensitivityDb(lineSettings_.sensitivityDb);
        analyzer->processing().setMusicDetect(lineSettings_.musicDetect);
        const TonePlanEntry& plan = *lineSettings_.tonePlan;
        analyzer->processing().setToneProfile(
            {plan.bandLowHz, plan.bandHighHz, plan.levelHoldFrames, plan.aonTest});
        device->setChannelGain(k, 1, false);
    }
    tasks_.treshold->PrepareDevice(d);

    if (pushDeviceModule(*stream_, device, d, ACE_Reactor::instance()) != 0) {
        return false;
    }
    // The analysis of each line learns from the board's transmit side which
    // steady tones the engine plays into it, to know their echo.
    const std::string moduleName = kDeviceModulePrefix + std::to_string(d);
    if (auto* writer = dynamic_cast<COrvelWriteTask*>(upTask(stream_.get(), moduleName.c_str()))) {
        for (uint32_t k = 0; k < channels; ++k) {
            analyzers_[d * kChannelsPerBoard + k]->processing().listenToPlayback(
                writer->playingTones(), k);
        }
    }
    // Line voltages only for the channels the board has.
    for (int ch = 12; ch >= 0; --ch) {
        device->setAdcData(static_cast<uint32_t>(ch), 0);
    }
    for (uint32_t k = 0; k < channels; ++k) {
        device->setAdcData(k, 1);
    }
    broughtUp = true;
    return true;
}

void COrvelEngine::tearDown() {
    if (stream_) {
        // Stop every source of traffic before any module is taken off: the
        // logic task's algorithms and every board's receive thread (which
        // also carries the thresholds task's unit commands up to the board
        // they name, through the transmit tasks of the boards below it).
        if (tasks_.logic != nullptr) {
            tasks_.logic->Quiesce();
        }
        for (uint32_t d = 0; d < devices_.size(); ++d) {
            const std::string name = kDeviceModulePrefix + std::to_string(d);
            if (Task* receive = downTask(stream_.get(), name.c_str())) {
                receive->close(kCloseFromModule);
            }
        }
        closeStream(stream_);
    }
    tasks_ = LibraryTasks{};
    for (auto& device : devices_) {
        device->stop();
        device->close();
    }
    deviceCount_ = 0;
    devices_.clear();
    algorithms_.clear();
    analyzers_.clear();
    driverHost_.unload();
}

int32_t COrvelEngine::StartDll() {
    state_ = ORVEL_STATE_STARTED;
    return 0;
}

int32_t COrvelEngine::StopDll() {
    state_ = ORVEL_STATE_STOPPED;
    return 0;
}

int32_t COrvelEngine::ShutdownDll() {
    UniqueLock guard(lifecycle_);
    tearDown();
    int result = reactorThread_.stop();
    state_ = ORVEL_STATE_STOPPED;
    // The boards' buffers (megabytes per card) are gone now; once the
    // allocator has raised its threshold for large blocks they come from its
    // heap, which keeps them resident for ever unless asked to let go. With
    // the one arena (above) this gives back all that the run freed.
    ::malloc_trim(0);
    return result;
}

// ---- Numbers and lookups ----------------------------------------------------

uint32_t COrvelEngine::channelCount(uint32_t dev) const {
    return dev < devices_.size() ? devices_[dev]->channelCount() : 0;
}

bool COrvelEngine::validLine(uint32_t dev, uint32_t ch) const {
    return dev < deviceCount_.load() && dev < devices_.size() && ch < channelCount(dev);
}

CListenLineTest* COrvelEngine::algorithm(uint32_t dev, uint32_t ch) const {
    return algorithms_[dev * kChannelsPerBoard + ch].get();
}

OrvelLogicProcessing* COrvelEngine::logicTask() const {
    return dynamic_cast<OrvelLogicProcessing*>(downTask(stream_.get(), kLogicModule));
}

bool COrvelEngine::boardFailed(uint32_t dev) const {
    return dev < devices_.size() && devices_[dev]->failed();
}

uint32_t COrvelEngine::lineStateCode(uint32_t s) {
    switch (s) {
        case READY_LINE:
            return 1;
        case WAIT_ACKNOWLEDGE_HANG_UP:
            return 2;
        case WAIT_EVENT_DIAL_TONE:
            return 3;
        case WAIT_DIAL:
            return 7;
        case WAIT_EVENT_KPW:
        case WAIT_ABONENT_HANG_UP:
            return 8;
        case WAIT_PLAY_MSG:
            return 11;
        case WAIT_PLAY_CONFIRM_MSG:
            return 12;
        case WAIT_TEST_PAUSE:
        case WAIT_PLAY_BEEP:
        case WAIT_TEST_DTMF:
            return 13;
        case WAIT_TEST_BUSY:
            return 17;
        case WAIT_ACKNOWLEDGE_HANG_DOWN:
        case WAIT_ACKNOWLEDGE_FREE_LINE:
            return 4;
        default:
            return 0;
    }
}

uint32_t COrvelEngine::resultCode(uint32_t r) {
    switch (r) {
        case NR_NOT_NOTIFY:
            return 15;
        case NR_NOTIFY_OK:
            return 14;
        case NR_LINE_BUSY:
            return 9;
        case NR_NOT_HANDUP:
            return 16;
        case NR_LINE_DROP:
            return 6;
        case NR_UNOBTAINABLE:
            return 18;  // appended after the program's codes -1..17
        default:
            return 0;
    }
}

// ---- Lines ------------------------------------------------------------------

int32_t COrvelEngine::freeLineLocked(uint32_t dev, uint32_t ch) {
    ACE_DEBUG((LM_DEBUG, ACE_TEXT(" Begin free line for device %u chanel %u\n"), dev, ch));
    if (auto* waveOut = dynamic_cast<CWaveOutTask*>(downTask(stream_.get(), kWaveOutModule))) {
        waveOut->stopListening();
    }
    OrvelLogicProcessing* logic = logicTask();
    if (logic == nullptr) {
        return -1;
    }
    return logic->StopAlgorithm(Address{0, dev, ch});
}

int32_t COrvelEngine::AssignLine(uint32_t dev, uint32_t ch) {
    SharedLock guard(lifecycle_);
    if (!validLine(dev, ch) || boardFailed(dev)) {
        return -1;
    }
    ACE_DEBUG((LM_DEBUG, ACE_TEXT(" Begin assign line for device %u chanel %u\n"), dev, ch));
    OrvelLogicProcessing* logic = logicTask();
    if (logic == nullptr) {
        return -1;
    }
    freeLineLocked(dev, ch);
    return logic->StartAlgorithm(Address{0, dev, ch});
}

int32_t COrvelEngine::FreeLine(uint32_t dev, uint32_t ch) {
    SharedLock guard(lifecycle_);
    if (!validLine(dev, ch)) {
        return -1;
    }
    return freeLineLocked(dev, ch);
}

int32_t COrvelEngine::FreeAllLine(uint32_t dev) {
    SharedLock guard(lifecycle_);
    if (dev >= deviceCount_.load() || dev >= devices_.size()) {
        return -1;
    }
    const uint32_t channels = channelCount(dev);
    for (uint32_t ch = 0; ch < channels; ++ch) {
        freeLineLocked(dev, ch);
    }
    CK24Device* device = devices_[dev].get();
    for (uint32_t u = 0; u < kUnitsPerBoard; ++u) {
        if (device->unitChannelCount(u) > 0) {
            device->setLineKey(device->firstChannelOfUnit(u), 7);
        }
    }
    return -1;
}

int32_t COrvelEngine::CallAbonent(uint32_t dev, uint32_t ch, const char* number, int32_t toneFlag,
                                  int32_t mainMessage, int32_t confirmMessage, int32_t mode) {
    SharedLock guard(lifecycle_);
    if (!validLine(dev, ch) || boardFailed(dev)) {
        return -1;
    }
    const std::string prefix = callPrefixNow(number);
    const std::string channelDir = channelDumpDir(dumpBase_, dev, ch);
    analyzers_[dev * kChannelsPerBoard + ch]->processing().openDumps(channelDir, prefix,
                                                                     DumpMask::instance().value());
    ACE_DEBUG((LM_DEBUG, ACE_TEXT(" CALL ABONENT")));
    CListenLineTest* alg = algorithm(dev, ch);
    // The call request joins the algorithm's other work under the logic lock.
    OrvelLogicProcessing* logic = logicTask();
    if (logic == nullptr) {
        return alg->callAbonent(number, static_cast<uint32_t>(mainMessage),
                                static_cast<uint32_t>(confirmMessage), toneFlag == 0,
                                static_cast<uint32_t>(mode));
    }
    OrvelLogicProcessing::LockGuard logicGuard(*logic);
    return alg->callAbonent(number, static_cast<uint32_t>(mainMessage),
                            static_cast<uint32_t>(confirmMessage), toneFlag == 0,
                            static_cast<uint32_t>(mode));
}

int32_t COrvelEngine::ListenLine(uint32_t dev, uint32_t ch, int32_t on) {
    SharedLock guard(lifecycle_);
    auto* waveOut = dynamic_cast<CWaveOutTask*>(downTask(stream_.get(), kWaveOutModule));
    if (waveOut == nullptr) {
        return -1;
    }
    if (on == 0) {
        waveOut->stopListening();
        return 0;
    }
    if (!validLine(dev, ch)) {
        return -1;
    }
    return waveOut->startListening(Address{0, dev, ch});
}

// ---- State ------------------------------------------------------------------

int32_t COrvelEngine::GetProgrammState(uint32_t* record) {
    if (record == nullptr) {
        return -1;
    }
    SharedLock guard(lifecycle_);
    const uint32_t count = deviceCount_.load();
    record[0] = count;
    record[1] = state_.load();
    for (uint32_t d = 0; d < count && d < devices_.size(); ++d) {
        CK24Device& device = *devices_[d];
        uint32_t* base = record + 2 + 21 * d;
        base[0] = device.boardVersion();
        base[1] = device.channelCount();
        base[2] = device.activeUnitCount();
        // The status records of the units that have channels, in unit order:
        // a board with units 2+0+3 reports its first and third unit.
        uint32_t slot = 0;
        for (uint32_t u = 0; u < kUnitsPerBoard; ++u) {
            if (device.unitChannelCount(u) > 0) {
                device.unitStatus(u, base + 3 + kUnitStatusWords * slot++);
            }
        }
    }
    return 0;
}

int32_t COrvelEngine::GetLineState(uint32_t* lineState) {
    if (lineState == nullptr) {
        return -1;
    }
    SharedLock guard(lifecycle_);
    lineState[0] = state_.load();
    const uint32_t devices = std::min<uint32_t>(deviceCount_.load(), ORVEL_LINE_STATE_DEVICES);
    for (uint32_t d = 0; d < devices && d < devices_.size(); ++d) {
        const uint32_t channels = std::min<uint32_t>(channelCount(d), ORVEL_LINE_STATE_CHANNELS);
        for (uint32_t k = 0; k < channels; ++k) {
            const CListenLineTest* alg = algorithm(d, k);
            const uint32_t i = ORVEL_LINE_STATE_CHANNELS * d + k;
            const bool failed = boardFailed(d);
            lineState[1 + i] = failed ? kFailedLineCode : lineStateCode(alg->GetState());
            lineState[37 + i] =
                failed ? resultCode(NR_LINE_DROP) : resultCode(alg->GetNotifyResult());
            lineState[109 + i] = alg->GetAonFlag() != 0 ? 1 : 0;
        }
    }
    return 0;
}

int32_t COrvelEngine::GetLineStateEx(uint32_t* buffer, uint32_t words) {
    if (buffer == nullptr && words > 0) {
        return -1;
    }
    // The report is made whole in a local copy and only as much of it as
    // fits is handed over, so nothing past `words` is ever written.
    std::array<uint32_t, ORVEL_LINE_STATES_MAX_WORDS> report{};
    SharedLock guard(lifecycle_);
    const uint32_t devices = std::min<uint32_t>(
        std::min<uint32_t>(deviceCount_.load(), ORVEL_MAX_DEVICES), uint32_t(devices_.size()));
    report[0] = state_.load();
    report[1] = devices;
    for (uint32_t d = 0; d < devices; ++d) {
        const uint32_t channels =
            std::min<uint32_t>(channelCount(d), ORVEL_CHANNELS_PER_DEVICE);
        for (uint32_t k = 0; k < channels; ++k) {
            const CListenLineTest* alg = algorithm(d, k);
            uint32_t* slot = report.data() + ORVEL_LINE_SLOT(d, k);
            const bool failed = boardFailed(d);
            slot[0] = failed ? kFailedLineCode : lineStateCode(alg->GetState());
            slot[1] = failed ? resultCode(NR_LINE_DROP) : resultCode(alg->GetNotifyResult());
            slot[2] = alg->GetAonFlag() != 0 ? 1 : 0;
        }
    }
    const uint32_t needed = ORVEL_LINE_STATES_WORDS(devices);
    if (buffer != nullptr) {
        std::copy_n(report.data(), std::min(words, needed), buffer);
    }
    return int32_t(needed);
}

// ---- Messages and parameters ------------------------------------------------

int32_t COrvelEngine::LoadSoundFile(const char* path, int32_t messageNumber) {
    SharedLock guard(lifecycle_);
    const uint32_t count = deviceCount_.load();
    int32_t result = -1;
    for (uint32_t d = 0; d < count; ++d) {
        const std::string name = kDeviceModulePrefix + std::to_string(d);
        auto* writer = dynamic_cast<COrvelWriteTask*>(upTask(stream_.get(), name.c_str()));
        if (writer == nullptr) {
            return -1;
        }
        result = writer->loadSound(path, messageNumber);
    }
    return result;
}

int32_t COrvelEngine::SetSensLevel(uint32_t dev, uint32_t ch, uint32_t level) {
    SharedLock guard(lifecycle_);
    if (!validLine(dev, ch) || level >= 8) {
        return -1;
    }
    return devices_[dev]->setChannelGain(ch, level, true);
}

void COrvelEngine::SetConfirmOn(bool on) {
    SharedLock guard(lifecycle_);
    for (auto& alg : algorithms_) {
        alg->SetConfirmOn(on);
    }
}

void COrvelEngine::SetTimeParam(uint32_t dev, uint32_t ch, const CallTimeParams* params) {
    SharedLock guard(lifecycle_);
    if (params != nullptr && validLine(dev, ch)) {
        algorithm(dev, ch)->SetTimeParam(*params);
    }
}

void COrvelEngine::GetTimeParam(uint32_t dev, uint32_t ch, CallTimeParams* params) {
    SharedLock guard(lifecycle_);
    if (params != nullptr && validLine(dev, ch)) {
        algorithm(dev, ch)->GetTimeParam(*params);
    }
}

int32_t COrvelEngine::SetDtmfLevel(uint32_t dev, uint32_t ch, uint32_t level) {
    SharedLock guard(lifecycle_);
    if (!validLine(dev, ch)) {
        return -1;
    }
    return algorithm(dev, ch)->SetDtmfLevel(level);
}

int32_t COrvelEngine::GetDtmfLevel(uint32_t dev, uint32_t ch, uint32_t* level) {
    SharedLock guard(lifecycle_);
    if (level == nullptr || !validLine(dev, ch)) {
        return -1;
    }
    *level = algorithm(dev, ch)->GetDtmfLevel();
    return 0;
}

void COrvelEngine::AdvancedDtmfConfirmOn(bool on) {
    SharedLock guard(lifecycle_);
    for (auto& alg : algorithms_) {
        alg->SetAdvancedDtmfConfirm(on);
    }
}

int32_t COrvelEngine::LineParameter(bool set, bool dropMode, uint32_t dev, uint32_t ch,
                                    uint32_t* value) {
    SharedLock guard(lifecycle_);
    auto* treshold = dynamic_cast<CK24Treshold*>(downTask(stream_.get(), kTresholdModule));
    if (treshold == nullptr || value == nullptr) {
        return -1;
    }
    if (set) {
        return dropMode ? treshold->setLineDropMode(dev, ch, *value)
                        : treshold->setLineType(dev, ch, *value);
    }
    return dropMode ? treshold->getLineDropMode(dev, ch, *value)
                    : treshold->getLineType(dev, ch, *value);
}

void COrvelEngine::SetNotifyResultCallback(NotifyResultCallback callback) {
    SharedLock guard(lifecycle_);
    for (auto& alg : algorithms_) {
        alg->SetNotifyResultCallback(callback);
    }
}

}  // namespace orvel
