// Assembly of the engine's stream: the library-wide modules at build time,
// one module per board as boards come up, and the tear-down.
#pragma once

#include <cstdint>
#include <memory>

#include "task_base.h"

class ACE_Reactor;

namespace orvel {

class OrvelLogicProcessing;
class CWaveOutTask;
class CSignalAnalysisTask;
class CK24Treshold;
class CK24Device;

inline constexpr const char* kLogicModule = "LogicModule";
inline constexpr const char* kWaveOutModule = "WaveOutModule";
inline constexpr const char* kTresholdModule = "TresholdModule";
inline constexpr const char* kDspModule = "DspModule";
inline constexpr const char* kDeviceModulePrefix = "DeviceModule";

struct LibraryTasks {
    OrvelLogicProcessing* logic = nullptr;
    CWaveOutTask* waveOut = nullptr;
    CSignalAnalysisTask* analysis = nullptr;
    CK24Treshold* treshold = nullptr;
};

// Builds the stream with "LogicModule" as its tail and "DspModule",
// "TresholdModule", "WaveOutModule" pushed above it; the logic task's thread
// and timer start when the stream opens. Null when any step fails (whatever
// was made is destroyed again).
std::unique_ptr<Stream> buildLibraryStream(ACE_Reactor* reactor, LibraryTasks& tasks);

// Creates board d's receive and transmit tasks in "DeviceModule"+d and pushes
// it directly below the head, which starts both of its threads.
int pushDeviceModule(Stream& stream, CK24Device* device, uint32_t number, ACE_Reactor* reactor);

// Closes the stream, removing the modules from the head downwards; every task
// is closed (its thread ended) and deleted.
void closeStream(std::unique_ptr<Stream>& stream);

// The task on a module's down (writer) or up (reader) side, or null.
Task* downTask(Stream* stream, const char* moduleName);
Task* upTask(Stream* stream, const char* moduleName);

}  // namespace orvel
