// Fuzz target: any bytes as the simulator's configuration "orvelsim.ini".
#include <string>

#include "fuzz_file.h"
#include "sim_config.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString path = orvel::fuzz::writeInput(QStringLiteral("orvelsim.ini"), data, size);
    if (path.isEmpty())
        return 0;
    orvel::sim::SimConfig config;
    std::string error;
    (void)orvel::sim::loadConfig(path.toStdString(), config, error);
    return 0;
}
