// Fuzz target: any text as a rule base, read, built and evaluated.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "fuzzy/fis_reader.h"
#include "fuzzy/fuzzy_system.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace orvel::fuzzy;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    auto desc = parseFisText(text, nullptr);
    if (!desc) {
        return 0;
    }
    auto system = std::make_shared<FuzzySystem>();
    if (!system->build(*desc, FuzzySystem::kDefaultPoints, nullptr)) {
        return 0;
    }
    FuzzyEvaluator evaluator(system, nullptr);
    for (double x : {-1e9, 0.0, 0.35, 1.0, 4.0, 1e9}) {
        for (std::size_t i = 0; i < system->inputCount(); ++i) {
            evaluator.setInput(i, x + static_cast<double>(i));
        }
        evaluator.evaluate();
    }
    return 0;
}
