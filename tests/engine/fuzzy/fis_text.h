// A small two-input Mamdani system in the early text format, and helpers
// that collect the engine's messages.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "fuzzy/fis_model.h"

namespace orvel::test {

inline const char* kTippingFis = R"(% A classic two-input example
[System]
Name='tipper'
Type='mamdani'
NumInputs=2
NumOutputs=1
NumRules=3
AndMethod='min'
OrMethod='max'
ImpMethod='min'
AggMethod='max'
DefuzzMethod='centroid'

[Input1]
Name='service'   % how good the service was
Range=[0 10]
NumMFs=3
MF1='poor':'gaussmf',[1.5 0]
MF2='good':'gaussmf',[1.5 5]
MF3='excellent':'gaussmf',[1.5 10]

[Input2]
Name='food'
Range=[0 10]
NumMFs=2
MF1='rancid':'trapmf',[0 0 1 3]
MF2='delicious':'trapmf',[7 9 10 10]

[Output1]
Name='tip'
Range=[0 30]
NumMFs=3
MF1='cheap':'trimf',[0 5 10]
MF2='average':'trimf',[10 15 20]
MF3='generous':'trimf',[20 25 30]

[Rules]
1 1, 1 (1) : 2
2 0, 2 (1) : 1
3 2, 3 (1) : 2
)";

struct Messages {
    std::vector<std::string> lines;
    fuzzy::FisLog sink() {
        return [this](const std::string& m) { lines.push_back(m); };
    }
    bool has(const std::string& text) const {
        return std::find(lines.begin(), lines.end(), text) != lines.end();
    }
};

inline std::string replaced(std::string text, const std::string& from, const std::string& to) {
    const auto pos = text.find(from);
    if (pos != std::string::npos) {
        text.replace(pos, from.size(), to);
    }
    return text;
}

}  // namespace orvel::test
