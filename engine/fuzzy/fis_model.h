// The text form of a fuzzy inference system as read from a .fis file, before
// it is checked and built, and the sink for the engine's diagnostic lines.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace orvel::fuzzy {

struct MfDescription {
    std::string label;
    std::string type;
    std::vector<double> params;
};

struct VariableDescription {
    std::string name;
    double min = 0.0;
    double max = 0.0;
    std::vector<MfDescription> mfs;
};

struct RuleDescription {
    std::vector<int> antecedent;  // one index per input; 0 unused, < 0 NOT
    std::vector<int> consequent;  // one index per output
    double weight = 1.0;
    int connection = 1;  // 1 AND, 2 OR
};

struct FisDescription {
    std::string name;
    std::string type;
    std::string andMethod;
    std::string orMethod;
    std::string impMethod;
    std::string aggMethod;
    std::string defuzzMethod;
    std::vector<VariableDescription> inputs;
    std::vector<VariableDescription> outputs;
    std::vector<RuleDescription> rules;
};

// Where the reader and builder send their messages. The engine's default
// prints each on the standard output as "%s\n".
using FisLog = std::function<void(const std::string&)>;
void printFisMessage(const std::string& message);

// Bounds that keep a hostile file from making the engine allocate or scan
// without limit.
inline constexpr int kMaxVariables = 32;
inline constexpr int kMaxMfsPerVariable = 64;
inline constexpr int kMaxRules = 4096;
inline constexpr int kMaxMfParams = 64;
inline constexpr int kMaxPoints = 100001;
inline constexpr std::size_t kMaxLineLength = 500;

}  // namespace orvel::fuzzy
