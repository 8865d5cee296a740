#include "fuzzy/fuzzy_system.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>

#include "fuzzy/fis_reader.h"

namespace orvel::fuzzy {

namespace {

__attribute__((format(printf, 1, 2))) std::string format(const char* fmt, ...) {
    char buf[700];
    va_list args;
    va_start(args, fmt);
    std::vsnprintf(buf, sizeof buf, fmt, args);
    va_end(args);
    return buf;
}

double apply(int op, double a, double b) {
    switch (op) {
        case 0:  // min
            return std::min(a, b);
        case 1:  // prod
            return a * b;
        case 2:  // max
            return std::max(a, b);
        case 3:  // probor
            return a + b - a * b;
        default:  // sum
            return a + b;
    }
}

}  // namespace

double FuzzySystem::outputMiddle(std::size_t j) const {
    return (outputs_.at(j).min + outputs_.at(j).max) / 2.0;
}

bool FuzzySystem::build(const FisDescription& desc, int points, const FisLog& log) {
    auto say = [&](const std::string& m) {
        if (log) {
            log(m);
        }
        return false;
    };
    *this = FuzzySystem();
    name_ = desc.name;
    if (desc.type == "mamdani") {
        mamdani_ = true;
    } else if (desc.type == "sugeno") {
        mamdani_ = false;
    } else {
        say(format("fis->type = %s\n", desc.type.c_str()));
        return say("Unknown FIS type!");
    }
    if (points < 2 || points > kMaxPoints) {
        return say("Given size is zero!");
    }
    points_ = points;
    if (desc.inputs.empty() || desc.outputs.empty() ||
        desc.inputs.size() > static_cast<std::size_t>(kMaxVariables) ||
        desc.outputs.size() > static_cast<std::size_t>(kMaxVariables)) {
        return say("Given size is zero!");
    }

    struct Method {
        const std::string& given;
        const char* unknown;
        const char* legal;
        std::vector<std::pair<const char*, Op>> names;
        Op* target;
    };
    Method methods[] = {
        {desc.andMethod,
         "Given andMethod %s is unknown.\n",
         "Legal andMethod: min, prod",
         {{"min", Op::Min}, {"prod", Op::Prod}},
         &and_},
        {desc.orMethod,
         "Given orMethod %s is unknown.\n",
         "Legal orMethod: max, probor",
         {{"max", Op::Max}, {"probor", Op::ProbOr}},
         &or_},
        {desc.impMethod,
         "Given impMethod %s is unknown.\n",
         "Legal impMethod: min, prod",
         {{"min", Op::Min}, {"prod", Op::Prod}},
         &imp_},
        {desc.aggMethod,
         "Given aggMethod %s is unknown.\n",
         "Legal aggMethod: max, probor, sum",
         {{"max", Op::Max}, {"probor", Op::ProbOr}, {"sum", Op::Sum}},
         &agg_},
    };
    for (Method& m : methods) {
        auto it = std::find_if(m.names.begin(), m.names.end(),
                               [&](const auto& n) { return m.given == n.first; });
        if (it == m.names.end()) {
            say(format(m.unknown, m.given.c_str()));
            say(m.legal);
            return say("Exiting ...");
        }
        *m.target = it->second;
    }
    const std::pair<const char*, Defuzz> defuzzNames[] = {
        {"centroid", Defuzz::Centroid}, {"bisector", Defuzz::Bisector}, {"mom", Defuzz::Mom},
        {"som", Defuzz::Som},           {"lom", Defuzz::Lom},           {"wtaver", Defuzz::WtAver},
        {"wtsum", Defuzz::WtSum}};
    bool defuzzKnown = false;
    for (const auto& [n, d] : defuzzNames) {
        const bool sugenoMethod = d == Defuzz::WtAver || d == Defuzz::WtSum;
        if (desc.defuzzMethod == n && sugenoMethod != mamdani_) {
            defuzz_ = d;
            defuzzKnown = true;
        }
    }
    if (!defuzzKnown) {
        say(format("Given defuzzification method %s is unknown.\n", desc.defuzzMethod.c_str()));
        say("Legal defuzzification methods: centroid, bisector, mom, som, lom, wtaver, wtsum");
        return say("Exiting ...");
    }

    const std::size_t inCount = desc.inputs.size();
    auto buildVariable = [&](const VariableDescription& vd, bool input, int index, Variable& var) {
        if (!(vd.min < vd.max) || !std::isfinite(vd.min) || !std::isfinite(vd.max)) {
            return say("Error in parsing I/O ranges.");
        }
        if (vd.mfs.size() > static_cast<std::size_t>(kMaxMfsPerVariable)) {
            return say("Given size is zero!");
        }
        var.min = vd.min;
        var.max = vd.max;
        for (const MfDescription& md : vd.mfs) {
            Mf mf;
            const bool known = mfTypeOf(md.type, mf.type);
            if (!input && !mamdani_) {
                if (!known || isShapeType(mf.type)) {
                    return say("Unknown output MF type for Sugeno system.");
                }
                if (mf.type == MfType::Linear && md.params.size() != inCount + 1) {
                    return say(
                        "First-order Sugeno system does not has the right number of output MF "
                        "parameters.");
                }
                if (mf.type == MfType::Constant && md.params.size() != 1) {
                    return say(
                        "Zero-order Sugeno system does not has the right number of output MF "
                        "parameters.");
                }
            } else if (!known || !isShapeType(mf.type)) {
                say(format(input ? "MF type '%s' for input %d is unknown.\n"
                                 : "MF type '%s' for output %d is unknown.\n",
                           md.type.c_str(), index + 1));
                say(std::string(input ? "Legal input MF types: " : "Legal output MF types: ") +
                    kLegalShapeTypes);
                return false;
            } else if (md.params.size() != static_cast<std::size_t>(mfParamCount(mf.type))) {
                return say(input ? "Error in parsing input MF parameters."
                                 : "Error in parsing output MF parameters.");
            }
            if (!checkMfParams(mf.type, md.params, log)) {
                return false;
            }
            mf.params = md.params;
            if (!input && mamdani_) {
                mf.samples.resize(static_cast<std::size_t>(points_));
                const double step = (var.max - var.min) / (points_ - 1);
                for (int k = 0; k < points_; ++k) {
                    mf.samples[static_cast<std::size_t>(k)] =
                        mfValue(mf.type, mf.params.data(), var.min + step * k);
                }
            }
            var.mfs.push_back(std::move(mf));
        }
        return true;
    };
    inputs_.resize(desc.inputs.size());
    outputs_.resize(desc.outputs.size());
    for (std::size_t i = 0; i < desc.inputs.size(); ++i) {
        if (!buildVariable(desc.inputs[i], true, static_cast<int>(i), inputs_[i])) {
            return false;
        }
    }
    for (std::size_t j = 0; j < desc.outputs.size(); ++j) {
        if (!buildVariable(desc.outputs[j], false, static_cast<int>(j), outputs_[j])) {
            return false;
        }
    }
    return checkRules(desc, log);
}

bool FuzzySystem::checkRules(const FisDescription& desc, const FisLog& log) {
    auto say = [&](const std::string& m) {
        if (log) {
            log(m);
        }
        return false;
    };
    if (desc.rules.empty() || desc.rules.size() > static_cast<std::size_t>(kMaxRules)) {
        return say("Given size is zero!");
    }
    for (std::size_t r = 0; r < desc.rules.size(); ++r) {
        const RuleDescription& rd = desc.rules[r];
        const int ruleNo = static_cast<int>(r) + 1;
        if (rd.antecedent.size() != inputs_.size() || rd.consequent.size() != outputs_.size() ||
            !std::isfinite(rd.weight) || (rd.connection != 1 && rd.connection != 2)) {
            return say("Error in parsing rule list!");
        }
        bool premise = false;
        for (std::size_t i = 0; i < inputs_.size(); ++i) {
            const int idx = rd.antecedent[i];
            if (std::abs(idx) > static_cast<int>(inputs_[i].mfs.size())) {
                return say(format("MF index for input %d in rule %d is out of bound.\n",
                                  static_cast<int>(i) + 1, ruleNo));
            }
            premise = premise || idx != 0;
        }
        for (std::size_t j = 0; j < outputs_.size(); ++j) {
            const int idx = rd.consequent[j];
            if (std::abs(idx) > static_cast<int>(outputs_[j].mfs.size())) {
                return say(format("MF index for output %d in rule %d is out of bound.\n",
                                  static_cast<int>(j) + 1, ruleNo));
            }
            if (!mamdani_ && idx < 0) {
                say(format("Rule %d has a 'NOT' consequent.\n", ruleNo));
                return say("Sugeno fuzzy inference system does not allow this.\n");
            }
            if (idx == 0) {
                say(format("Warning: Output %d in rule %d has a zero MF index.\n",
                           static_cast<int>(j) + 1, ruleNo));
                say("This output in the rule is assumed zero in subsequent calculation.\n\n");
            }
        }
        if (!premise) {
            return say(format("Rule %d has no premise part.\n", ruleNo));
        }
        rules_.push_back(Rule{rd.antecedent, rd.consequent, rd.weight, rd.connection == 2});
    }
    return true;
}

FuzzyEvaluator::FuzzyEvaluator(std::shared_ptr<const FuzzySystem> system, FisLog log)
    : system_(std::move(system)), log_(std::move(log)) {
    inputs_.assign(system_->inputs_.size(), 0.0);
    outputs_.assign(system_->outputs_.size(), 0.0);
    mfValues_.resize(system_->inputs_.size());
    for (std::size_t i = 0; i < mfValues_.size(); ++i) {
        mfValues_[i].assign(system_->inputs_[i].mfs.size(), 0.0);
    }
    strengths_.assign(system_->rules_.size(), 0.0);
    aggregate_.assign(static_cast<std::size_t>(system_->points_), 0.0);
}

void FuzzyEvaluator::setInput(std::size_t i, double value) {
    if (i < inputs_.size()) {
        inputs_[i] = value;
    }
}

void FuzzyEvaluator::evaluate() {
    const FuzzySystem& s = *system_;
    for (std::size_t i = 0; i < s.inputs_.size(); ++i) {
        for (std::size_t m = 0; m < s.inputs_[i].mfs.size(); ++m) {
            const auto& mf = s.inputs_[i].mfs[m];
            mfValues_[i][m] = mfValue(mf.type, mf.params.data(), inputs_[i]);
        }
    }
    double total = 0.0;
    for (std::size_t r = 0; r < s.rules_.size(); ++r) {
        const auto& rule = s.rules_[r];
        const int op = static_cast<int>(rule.useOr ? s.or_ : s.and_);
        bool first = true;
        double strength = 0.0;
        for (std::size_t i = 0; i < rule.antecedent.size(); ++i) {
            const int idx = rule.antecedent[i];
            if (idx == 0) {
                continue;
            }
            double v = mfValues_[i][static_cast<std::size_t>(std::abs(idx) - 1)];
            if (idx < 0) {
                v = 1.0 - v;
            }
            strength = first ? v : apply(op, strength, v);
            first = false;
        }
        strengths_[r] = strength * rule.weight;
        total += strengths_[r];
    }
    if (total == 0.0) {
        for (std::size_t j = 0; j < outputs_.size(); ++j) {
            outputs_[j] = s.outputMiddle(j);
        }
        return;
    }
    for (std::size_t j = 0; j < s.outputs_.size(); ++j) {
        const auto& out = s.outputs_[j];
        if (s.mamdani_) {
            std::fill(aggregate_.begin(), aggregate_.end(), 0.0);
            const int imp = static_cast<int>(s.imp_);
            const int agg = static_cast<int>(s.agg_);
            for (std::size_t r = 0; r < s.rules_.size(); ++r) {
                const int idx = s.rules_[r].consequent[j];
                if (idx == 0) {
                    continue;
                }
                const auto& samples = out.mfs[static_cast<std::size_t>(std::abs(idx) - 1)].samples;
                for (std::size_t k = 0; k < aggregate_.size(); ++k) {
                    const double mu = idx < 0 ? 1.0 - samples[k] : samples[k];
                    aggregate_[k] = apply(agg, aggregate_[k], apply(imp, strengths_[r], mu));
                }
            }
            outputs_[j] = defuzzify(j, aggregate_);
        } else {
            double weighted = 0.0;
            for (std::size_t r = 0; r < s.rules_.size(); ++r) {
                const int idx = s.rules_[r].consequent[j];
                double z = 0.0;
                if (idx > 0) {
                    const auto& mf = out.mfs[static_cast<std::size_t>(idx - 1)];
                    z = mf.params.back();
                    if (mf.type == MfType::Linear) {
                        for (std::size_t i = 0; i < inputs_.size(); ++i) {
                            z += mf.params[i] * inputs_[i];
                        }
                    }
                }
                weighted += strengths_[r] * z;
            }
            outputs_[j] = s.defuzz_ == FuzzySystem::Defuzz::WtSum ? weighted : weighted / total;
        }
    }
}

double FuzzyEvaluator::defuzzify(std::size_t j, const std::vector<double>& mf) {
    const FuzzySystem& s = *system_;
    const double min = s.outputs_[j].min;
    const double step = (s.outputs_[j].max - min) / (s.points_ - 1);
    const std::size_t n = mf.size();
    const int outputNo = static_cast<int>(j) + 1;
    auto say = [&](const std::string& m) {
        if (log_) {
            log_(m);
        }
    };
    double area = 0.0;
    for (double v : mf) {
        area += v;
    }
    switch (s.defuzz_) {
        case FuzzySystem::Defuzz::Centroid: {
            if (area == 0.0) {
                say(format("Total area is zero in defuzzCentroid() for output %d.\n", outputNo));
                say("Average of the range of this output variable is used as the output value.\n");
                return s.outputMiddle(j);
            }
            double moment = 0.0;
            for (std::size_t k = 0; k < n; ++k) {
                moment += (min + step * static_cast<double>(k)) * mf[k];
            }
            return moment / area;
        }
        case FuzzySystem::Defuzz::Bisector: {
            if (area == 0.0) {
                say(format("Total area is zero in defuzzBisector() for output %d.\n", outputNo));
                say("Average of the range of this output variable is used as the output value.\n");
                return s.outputMiddle(j);
            }
            double sum = 0.0;
            std::size_t k = 0;
            for (; k < n; ++k) {
                sum += mf[k];
                if (sum >= area / 2.0) {
                    break;
                }
            }
            return min + step * static_cast<double>(std::min(k, n - 1));
        }
        default: {
            const double top = *std::max_element(mf.begin(), mf.end());
            double first = -1.0, last = -1.0, sum = 0.0;
            int count = 0;
            for (std::size_t k = 0; k < n; ++k) {
                if (mf[k] == top) {
                    const double x = min + step * static_cast<double>(k);
                    if (count == 0) {
                        first = x;
                    }
                    last = x;
                    sum += x;
                    ++count;
                }
            }
            if (count == 0) {  // only with NaN values
                return s.outputMiddle(j);
            }
            if (s.defuzz_ == FuzzySystem::Defuzz::Som) {
                return first;
            }
            if (s.defuzz_ == FuzzySystem::Defuzz::Lom) {
                return last;
            }
            return sum / count;
        }
    }
}

std::shared_ptr<const FuzzySystem> loadFuzzySystem(const std::string& path, int points,
                                                   const FisLog& log) {
    auto desc = readFisFile(path, log);
    if (!desc) {
        return nullptr;
    }
    auto system = std::make_shared<FuzzySystem>();
    if (!system->build(*desc, points, log)) {
        return nullptr;
    }
    return system;
}

}  // namespace orvel::fuzzy
