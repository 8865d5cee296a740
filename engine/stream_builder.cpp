#include "stream_builder.h"

#include <ace/Log_Msg.h>

#include <new>
#include <string>

#include "analysis/signal_analysis_task.h"
#include "board/k24_read_task.h"
#include "board/k24_treshold.h"
#include "board/orvel_write_task.h"
#include "call/logic_processing.h"
#include "media/wave_out_task.h"

namespace orvel {
namespace {

Module* makeModule(const char* name, Task* down) {
    auto* up = new (std::nothrow) CPassThroughTask;
    auto* module = up != nullptr ? new (std::nothrow)
                                       Module(name, down, up, nullptr, Module::M_DELETE)
                                 : nullptr;
    if (module == nullptr) {
        delete up;
        delete down;
    }
    return module;
}

// ACE links a module into the stream before it opens its tasks, so a push
// that fails on an open leaves the module linked: it is taken out again
// (its tasks closed) and deleted, never deleted while still linked.
bool pushOrDiscard(Stream& stream, Module* module) {
    if (stream.push(module) == 0) {
        return true;
    }
    if (stream.find(module->name()) == module) {
        stream.remove(module->name(), Module::M_DELETE);
    } else {
        delete module;
    }
    return false;
}

}  // namespace

std::unique_ptr<Stream> buildLibraryStream(ACE_Reactor* reactor, LibraryTasks& tasks) {
    tasks = LibraryTasks{};
    auto* logic = new (std::nothrow) OrvelLogicProcessing(reactor);
    auto* waveOut = new (std::nothrow) CWaveOutTask;
    auto* analysis = new (std::nothrow) CSignalAnalysisTask;
    auto* treshold = new (std::nothrow) CK24Treshold;
    if (logic == nullptr || waveOut == nullptr || analysis == nullptr || treshold == nullptr) {
        delete logic;
        delete waveOut;
        delete analysis;
        delete treshold;
        return nullptr;
    }
    waveOut->setInputRate(8000);

    // Each module owns its tasks from here on, including on failure.
    Module* tresholdModule = makeModule(kTresholdModule, treshold);
    Module* logicModule = makeModule(kLogicModule, logic);
    Module* waveOutModule = makeModule(kWaveOutModule, waveOut);
    Module* dspModule = makeModule(kDspModule, analysis);
    if (tresholdModule == nullptr || logicModule == nullptr || waveOutModule == nullptr ||
        dspModule == nullptr) {
        delete tresholdModule;
        delete logicModule;
        delete waveOutModule;
        delete dspModule;
        return nullptr;
    }

    // Opening with our tail directly: the default constructor would open a
    // default head and tail first, and a second open would leak them.
    std::unique_ptr<Stream> stream(new (std::nothrow) Stream(nullptr, nullptr, logicModule));
    if (!stream || stream->find(kLogicModule) != logicModule) {
        if (!stream) {
            delete logicModule;
        }
        delete tresholdModule;
        delete waveOutModule;
        delete dspModule;
        closeStream(stream);
        return nullptr;
    }
    Module* pending[] = {dspModule, tresholdModule, waveOutModule};
    for (size_t i = 0; i < 3; ++i) {
        if (!pushOrDiscard(*stream, pending[i])) {
            for (size_t j = i + 1; j < 3; ++j) {
                delete pending[j];
            }
            closeStream(stream);
            return nullptr;
        }
    }
    tasks.logic = logic;
    tasks.waveOut = waveOut;
    tasks.analysis = analysis;
    tasks.treshold = treshold;
    return stream;
}

int pushDeviceModule(Stream& stream, CK24Device* device, uint32_t number, ACE_Reactor* reactor) {
    auto* readTask = new (std::nothrow) CK24ReadTask(device, reactor);
    auto* writeTask = new (std::nothrow) COrvelWriteTask(device, reactor);
    std::string name = kDeviceModulePrefix + std::to_string(number);
    Module* module = readTask != nullptr && writeTask != nullptr
                         ? new (std::nothrow)
                               Module(name.c_str(), readTask, writeTask, nullptr, Module::M_DELETE)
                         : nullptr;
    if (module == nullptr) {
        delete readTask;
        delete writeTask;
        return -1;
    }
    return pushOrDiscard(stream, module) ? 0 : -1;
}

void closeStream(std::unique_ptr<Stream>& stream) {
    if (stream) {
        stream->close(Module::M_DELETE);
        stream.reset();
    }
}

Task* downTask(Stream* stream, const char* moduleName) {
    Module* module = stream != nullptr ? stream->find(moduleName) : nullptr;
    return module != nullptr ? module->writer() : nullptr;
}

Task* upTask(Stream* stream, const char* moduleName) {
    Module* module = stream != nullptr ? stream->find(moduleName) : nullptr;
    return module != nullptr ? module->reader() : nullptr;
}

}  // namespace orvel
