// The exported C functions: each maps straight onto the engine object.
#include "dump_mask.h"
#include "engine.h"
#include "log.h"
#include "orvel.h"

using orvel::COrvelEngine;

namespace {
COrvelEngine& engine() {
    return COrvelEngine::instance();
}
}  // namespace

extern "C" {

int32_t InitDll(const char* directory) {
    return engine().InitDll(directory);
}
int32_t StartDll(void) {
    return engine().StartDll();
}
int32_t StopDll(void) {
    return engine().StopDll();
}
int32_t ShutdownDll(void) {
    return engine().ShutdownDll();
}

int32_t AssignLine(uint32_t dev, uint32_t ch) {
    return engine().AssignLine(dev, ch);
}
int32_t FreeLine(uint32_t dev, uint32_t ch) {
    return engine().FreeLine(dev, ch);
}
int32_t FreeAllLine(uint32_t dev) {
    return engine().FreeAllLine(dev);
}

int32_t CallAbonent(uint32_t dev, uint32_t ch, const char* number, int32_t toneFlag,
                    int32_t mainMessage, int32_t confirmMessage, int32_t confirmationMode) {
    return engine().CallAbonent(dev, ch, number, toneFlag, mainMessage, confirmMessage,
                                confirmationMode);
}

int32_t ListenLine(uint32_t dev, uint32_t ch, int32_t on) {
    return engine().ListenLine(dev, ch, on);
}

int32_t GetProgrammState(uint32_t* record) {
    return engine().GetProgrammState(record);
}
int32_t GetLineState(uint32_t* lineState) {
    return engine().GetLineState(lineState);
}
int32_t GetLineStateEx(uint32_t* buffer, uint32_t words) {
    return engine().GetLineStateEx(buffer, words);
}

int32_t LoadSoundFile(const char* path, int32_t messageNumber) {
    return engine().LoadSoundFile(path, messageNumber);
}
int32_t LoadConfirmFile(const char* path, int32_t messageNumber) {
    return engine().LoadSoundFile(path, messageNumber);
}

int32_t SetSensLevel(uint32_t dev, uint32_t ch, uint32_t level) {
    return engine().SetSensLevel(dev, ch, level);
}
int32_t SetListenLevel(uint32_t, uint32_t, uint32_t) {
    return -1;
}
void SetConfirmOn(int32_t on) {
    engine().SetConfirmOn(on != 0);
}
void SetTimeParam(uint32_t dev, uint32_t ch, const CallTimeParams* params) {
    engine().SetTimeParam(dev, ch, params);
}
void GetTimeParam(uint32_t dev, uint32_t ch, CallTimeParams* params) {
    engine().GetTimeParam(dev, ch, params);
}
int32_t SetDtmfLevel(uint32_t dev, uint32_t ch, uint32_t level) {
    return engine().SetDtmfLevel(dev, ch, level);
}
int32_t GetDtmfLevel(uint32_t dev, uint32_t ch, uint32_t* level) {
    return engine().GetDtmfLevel(dev, ch, level);
}
void AdvancedDtmfConfirmOn(int32_t on) {
    engine().AdvancedDtmfConfirmOn(on != 0);
}

int32_t setLineType(uint32_t dev, uint32_t ch, uint32_t value) {
    return engine().LineParameter(true, false, dev, ch, &value);
}
int32_t getLineType(uint32_t dev, uint32_t ch, uint32_t* value) {
    return engine().LineParameter(false, false, dev, ch, value);
}
int32_t setLineDropMode(uint32_t dev, uint32_t ch, uint32_t value) {
    return engine().LineParameter(true, true, dev, ch, &value);
}
int32_t getLineDropMode(uint32_t dev, uint32_t ch, uint32_t* value) {
    return engine().LineParameter(false, true, dev, ch, value);
}

void setNotifyResultCallback(OrvelNotifyResultCallback callback) {
    engine().SetNotifyResultCallback(callback);
}
int32_t logEnable(const char* path, int32_t enable) {
    return orvel::log::enable(path, enable);
}
void dumpEnable(int32_t on) {
    orvel::DumpMask::instance().set(on != 0 ? 0xFFFFFFFFu : 0u);
}
void setDumpMask(uint32_t mask) {
    orvel::DumpMask::instance().set(mask);
}

}  // extern "C"
