// A built fuzzy inference system (Mamdani or Sugeno). The built model is
// read-only and may be shared by every channel; each channel evaluates it
// through its own FuzzyEvaluator, which holds the input and output values and
// the scratch memory, so evaluation never allocates.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "fuzzy/fis_model.h"
#include "fuzzy/membership.h"

namespace orvel::fuzzy {

class FuzzySystem {
public:
    static constexpr int kDefaultPoints = 101;

    // Checks the read system and builds it; false (after logging) on any
    // unknown name, bad parameter or bad rule.
    bool build(const FisDescription& desc, int points = kDefaultPoints,
               const FisLog& log = printFisMessage);

    bool isMamdani() const { return mamdani_; }
    std::size_t inputCount() const { return inputs_.size(); }
    std::size_t outputCount() const { return outputs_.size(); }
    int points() const { return points_; }
    const std::string& name() const { return name_; }

    // Middle of an output's range.
    double outputMiddle(std::size_t j) const;

private:
    friend class FuzzyEvaluator;

    enum class Op { Min, Prod, Max, ProbOr, Sum };
    enum class Defuzz { Centroid, Bisector, Mom, Som, Lom, WtAver, WtSum };

    struct Mf {
        MfType type = MfType::Triangle;
        std::vector<double> params;
        std::vector<double> samples;  // Mamdani outputs: values on the points
    };
    struct Variable {
        double min = 0.0;
        double max = 0.0;
        std::vector<Mf> mfs;
    };
    struct Rule {
        std::vector<int> antecedent;
        std::vector<int> consequent;
        double weight = 1.0;
        bool useOr = false;
    };

    bool checkRules(const FisDescription& desc, const FisLog& log);

    std::string name_;
    bool mamdani_ = true;
    Op and_ = Op::Min;
    Op or_ = Op::Max;
    Op imp_ = Op::Min;
    Op agg_ = Op::Max;
    Defuzz defuzz_ = Defuzz::Centroid;
    int points_ = kDefaultPoints;
    std::vector<Variable> inputs_;
    std::vector<Variable> outputs_;
    std::vector<Rule> rules_;
};

class FuzzyEvaluator {
public:
    explicit FuzzyEvaluator(std::shared_ptr<const FuzzySystem> system,
                            FisLog log = printFisMessage);

    void setInput(std::size_t i, double value);
    double input(std::size_t i) const { return inputs_.at(i); }
    // Computes every output from the current inputs.
    void evaluate();
    double output(std::size_t j) const { return outputs_.at(j); }
    const FuzzySystem& system() const { return *system_; }

private:
    double defuzzify(std::size_t j, const std::vector<double>& mf);

    std::shared_ptr<const FuzzySystem> system_;
    FisLog log_;
    std::vector<double> inputs_;
    std::vector<double> outputs_;
    std::vector<std::vector<double>> mfValues_;  // per input, per MF
    std::vector<double> strengths_;
    std::vector<double> aggregate_;
};

// Reads and builds a rule base file; null (after logging) on any failure.
std::shared_ptr<const FuzzySystem> loadFuzzySystem(const std::string& path,
                                                   int points = FuzzySystem::kDefaultPoints,
                                                   const FisLog& log = printFisMessage);

}  // namespace orvel::fuzzy
