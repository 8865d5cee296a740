#include "fuzzy/fis_reader.h"

#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

namespace orvel::fuzzy {

void printFisMessage(const std::string& message) {
    std::printf("%s\n", message.c_str());
}

namespace {

// Larger files are not rule bases; refusing them keeps reading bounded.
constexpr std::size_t kMaxFileBytes = 4u << 20;

__attribute__((format(printf, 1, 2))) std::string format(const char* fmt, ...) {
    char buf[700];
    va_list args;
    va_start(args, fmt);
    std::vsnprintf(buf, sizeof buf, fmt, args);
    va_end(args);
    return buf;
}

std::string_view trim(std::string_view s) {
    const auto first = s.find_first_not_of(" \t\r\n\f\v");
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = s.find_last_not_of(" \t\r\n\f\v");
    return s.substr(first, last - first + 1);
}

// Parses a whole token as a finite number.
bool toNumber(std::string_view token, double& out) {
    if (token.empty() || token.size() > 64) {
        return false;
    }
    std::string s(token);
    char* end = nullptr;
    errno = 0;
    const double v = std::strtod(s.c_str(), &end);
    if (end != s.c_str() + s.size() || errno == ERANGE || !std::isfinite(v)) {
        return false;
    }
    out = v;
    return true;
}

// Splits at blanks (and the given extra separators) into finite numbers.
bool toNumbers(std::string_view text, std::vector<double>& out, std::size_t limit,
               std::string_view separators = {}) {
    out.clear();
    std::string s(text);
    for (char& c : s) {
        if (separators.find(c) != std::string_view::npos) {
            c = ' ';
        }
    }
    std::istringstream in(s);
    std::string token;
    while (in >> token) {
        double v = 0.0;
        if (out.size() >= limit || !toNumber(token, v)) {
            return false;
        }
        out.push_back(v);
    }
    return true;
}

bool isInteger(double v, int limit) {
    return v == std::floor(v) && std::fabs(v) <= limit;
}

class Parser {
public:
    Parser(std::string_view text, const FisLog& log) : log_(log) { split(text); }

    std::optional<FisDescription> run();

private:
    void split(std::string_view text);
    void say(const std::string& m) {
        if (log_) {
            log_(m);
        }
    }
    bool formatError(std::size_t line, const char* what) {
        say("Error format in FIS file when parsing\n");
        say(format("\"%s\"\n", lines_[line].c_str()));
        say(what);
        return false;
    }
    // Key of a "key = value" line, empty when there is no '='.
    static std::string_view keyOf(std::string_view line) {
        const auto eq = line.find('=');
        return eq == std::string_view::npos ? std::string_view{} : trim(line.substr(0, eq));
    }
    std::size_t findKey(std::size_t from, std::string_view key) const {
        for (std::size_t i = from; i < lines_.size(); ++i) {
            if (keyOf(lines_[i]) == key) {
                return i;
            }
        }
        return lines_.size();
    }
    std::size_t findLine(std::size_t from, std::string_view text) const {
        for (std::size_t i = from; i < lines_.size(); ++i) {
            if (lines_[i] == text) {
                return i;
            }
        }
        return lines_.size();
    }

    bool number(std::size_t line, double& out);
    bool string(std::size_t line, std::string& out);
    bool count(std::size_t line, int low, int high, int& out);
    bool variable(bool input, int index, VariableDescription& var);
    bool membership(std::size_t line, bool input, MfDescription& mf);
    bool rules(FisDescription& fis, int count);

    const FisLog& log_;
    std::vector<std::string> lines_;
    bool tooLong_ = false;
    std::size_t cursor_ = 0;
};

void Parser::split(std::string_view text) {
    std::size_t pos = 0;
    while (pos < text.size() && !tooLong_) {
        auto nl = text.find('\n', pos);
        if (nl == std::string_view::npos) {
            nl = text.size();
        }
        std::string_view raw = text.substr(pos, nl - pos);
        pos = nl + 1;
        if (raw.size() > kMaxLineLength) {
            say(format("actual_leng = %d\n", static_cast<int>(raw.size())));
            say(format("STR_LEN = %d\n", static_cast<int>(kMaxLineLength)));
            say("String too long!");
            tooLong_ = true;
            break;
        }
        const auto comment = raw.find('%');
        if (comment != std::string_view::npos) {
            raw = raw.substr(0, comment);
        }
        raw = trim(raw);
        if (!raw.empty()) {
            lines_.emplace_back(raw);
        }
    }
}

bool Parser::number(std::size_t line, double& out) {
    if (line >= lines_.size()) {
        say("getNumber: Incomplete FIS file!");
        return false;
    }
    const std::string& s = lines_[line];
    const auto eq = s.find('=');
    std::istringstream rest(eq == std::string::npos ? std::string() : s.substr(eq + 1));
    std::string token;
    if (eq == 0 || eq == std::string::npos || !(rest >> token) || !toNumber(token, out)) {
        return formatError(line, "Error in getNumber().");
    }
    return true;
}

bool Parser::string(std::size_t line, std::string& out) {
    if (line >= lines_.size()) {
        say("getString: Incomplete FIS file!");
        return false;
    }
    const std::string& s = lines_[line];
    const auto open = s.find('\'');
    const auto close = open == std::string::npos ? open : s.find('\'', open + 1);
    if (open == 0 || open == std::string::npos || close == std::string::npos || close == open + 1) {
        return formatError(line, "Error in getString().");
    }
    out = s.substr(open + 1, close - open - 1);
    return true;
}

bool Parser::count(std::size_t line, int low, int high, int& out) {
    double v = 0.0;
    if (!number(line, v)) {
        return false;
    }
    if (!isInteger(v, high) || v < low) {
        say(format("Error format in FIS file when parsing\n"));
        say(format("\"%s\"\n", lines_[line].c_str()));
        say(v == 0 ? "Given size is zero!" : "Error in getNumber().");
        return false;
    }
    out = static_cast<int>(v);
    return true;
}

bool Parser::membership(std::size_t line, bool input, MfDescription& mf) {
    const char* paramError =
        input ? "Error in parsing input MF parameters." : "Error in parsing output MF parameters.";
    const std::string& s = lines_[line];
    // label = 'name' : 'type' , [ parameters ]
    const auto q1 = s.find('\'');
    const auto q2 = q1 == std::string::npos ? q1 : s.find('\'', q1 + 1);
    if (q1 == 0 || q2 == std::string::npos || q2 == q1 + 1) {
        say("Not enough MF Labels in FIS file!");
        return formatError(line, paramError);
    }
    mf.label = s.substr(q1 + 1, q2 - q1 - 1);
    const auto colon = s.find(':', q2 + 1);
    const auto q3 = colon == std::string::npos ? colon : s.find('\'', colon + 1);
    const auto q4 = q3 == std::string::npos ? q3 : s.find('\'', q3 + 1);
    if (q4 == std::string::npos || q4 == q3 + 1 ||
        !trim(s.substr(colon + 1, q3 - colon - 1)).empty()) {
        say("Not enough MF types in FIS file!");
        return formatError(line, paramError);
    }
    mf.type = s.substr(q3 + 1, q4 - q3 - 1);
    const auto comma = s.find(',', q4 + 1);
    const auto lb = comma == std::string::npos ? comma : s.find('[', comma + 1);
    const auto rb = lb == std::string::npos ? lb : s.find(']', lb + 1);
    if (rb == std::string::npos || !trim(s.substr(q4 + 1, comma - q4 - 1)).empty() ||
        !trim(s.substr(comma + 1, lb - comma - 1)).empty()) {
        say("Not enough MF parameters in FIS file!");
        return formatError(line, paramError);
    }
    if (!toNumbers(s.substr(lb + 1, rb - lb - 1), mf.params, kMaxMfParams, ",") ||
        mf.params.empty()) {
        return formatError(line, paramError);
    }
    return true;
}

bool Parser::variable(bool input, int index, VariableDescription& var) {
    const std::size_t nameLine = findKey(cursor_, "Name");
    if (nameLine >= lines_.size()) {
        say(input && index == 0 ? "Cannot find the first Name in FIS file!"
                                : "Not enough Name in FIS file!");
        return false;
    }
    if (!string(nameLine, var.name)) {
        return false;
    }
    std::size_t line = nameLine + 1;
    if (line >= lines_.size()) {
        say("Not enough Range in FIS file!");
        return false;
    }
    std::vector<double> range;
    const std::string& r = lines_[line];
    const auto lb = r.find('[');
    const auto rb = lb == std::string::npos ? lb : r.find(']', lb + 1);
    if (r.find('=') == std::string::npos || rb == std::string::npos ||
        !toNumbers(r.substr(lb + 1, rb - lb - 1), range, 2, ",") || range.size() != 2 ||
        !(range[0] < range[1])) {
        return formatError(line, "Error in parsing I/O ranges.");
    }
    var.min = range[0];
    var.max = range[1];
    ++line;
    if (line >= lines_.size()) {
        say("Not enough NumMFs in FIS file!");
        return false;
    }
    int mfs = 0;
    double v = 0.0;
    if (!number(line, v)) {
        return false;
    }
    if (!isInteger(v, kMaxMfsPerVariable) || v < 0) {
        return formatError(line, "Error in getNumber().");
    }
    mfs = static_cast<int>(v);
    ++line;
    var.mfs.resize(static_cast<std::size_t>(mfs));
    for (int m = 0; m < mfs; ++m, ++line) {
        if (line >= lines_.size()) {
            say("Not enough MF Labels in FIS file!");
            return false;
        }
        if (!membership(line, input, var.mfs[static_cast<std::size_t>(m)])) {
            return false;
        }
    }
    cursor_ = line;
    return true;
}

bool Parser::rules(FisDescription& fis, int count) {
    const std::size_t header = findLine(cursor_, "[Rules]");
    if (header >= lines_.size()) {
        say("Cannot find [Rules] in FIS file!");
        return false;
    }
    const std::size_t in = fis.inputs.size();
    const std::size_t out = fis.outputs.size();
    std::vector<double> values;
    for (int r = 0; r < count; ++r) {
        const std::size_t line = header + 1 + static_cast<std::size_t>(r);
        if (line >= lines_.size()) {
            say("Not enough rule list in FIS file!");
            return false;
        }
        if (!toNumbers(lines_[line], values, in + out + 2, ",():") ||
            values.size() != in + out + 2) {
            return formatError(line, "Error in parsing rule list!");
        }
        RuleDescription rule;
        for (std::size_t i = 0; i < in + out; ++i) {
            if (!isInteger(values[i], kMaxMfsPerVariable + 1)) {
                return formatError(line, "Error in parsing rule list!");
            }
            (i < in ? rule.antecedent : rule.consequent).push_back(static_cast<int>(values[i]));
        }
        rule.weight = values[in + out];
        const double connection = values[in + out + 1];
        if (connection != 1.0 && connection != 2.0) {
            return formatError(line, "Error in parsing rule list!");
        }
        rule.connection = static_cast<int>(connection);
        fis.rules.push_back(std::move(rule));
    }
    return true;
}

std::optional<FisDescription> Parser::run() {
    if (tooLong_) {
        return std::nullopt;
    }
    const std::size_t system = findLine(0, "[System]");
    if (system >= lines_.size()) {
        say("Cannot find [System] in FIS file!");
        return std::nullopt;
    }
    static constexpr struct {
        const char* key;
        const char* message;
    } kRequired[] = {
        {"NumInputs", "Cannot find NumInputs in FIS file!"},
        {"NumOutputs", "Cannot find NumOutputs in FIS file!"},
        {"NumRules", "Cannot find NumRules in FIS file!"},
        {"Name", "Cannot find FIS Name in FIS file!"},
        {"Type", "Cannot find FIS Type in FIS file!"},
    };
    for (const auto& required : kRequired) {
        if (findKey(system + 1, required.key) >= lines_.size()) {
            say(required.message);
            return std::nullopt;
        }
    }
    // The ten lines after [System] are positional, whatever their keys say.
    FisDescription fis;
    std::size_t line = system + 1;
    int inputs = 0, outputs = 0, rules = 0;
    if (!string(line++, fis.name) || !string(line++, fis.type) ||
        !count(line++, 1, kMaxVariables, inputs) || !count(line++, 1, kMaxVariables, outputs) ||
        !count(line++, 1, kMaxRules, rules) || !string(line++, fis.andMethod) ||
        !string(line++, fis.orMethod) || !string(line++, fis.impMethod) ||
        !string(line++, fis.aggMethod) || !string(line++, fis.defuzzMethod)) {
        return std::nullopt;
    }
    cursor_ = line;
    fis.inputs.resize(static_cast<std::size_t>(inputs));
    fis.outputs.resize(static_cast<std::size_t>(outputs));
    for (int i = 0; i < inputs; ++i) {
        if (!variable(true, i, fis.inputs[static_cast<std::size_t>(i)])) {
            return std::nullopt;
        }
    }
    for (int o = 0; o < outputs; ++o) {
        if (!variable(false, o, fis.outputs[static_cast<std::size_t>(o)])) {
            return std::nullopt;
        }
    }
    if (!this->rules(fis, rules)) {
        return std::nullopt;
    }
    return fis;
}

}  // namespace

std::optional<FisDescription> parseFisText(std::string_view text, const FisLog& log) {
    return Parser(text, log).run();
}

std::optional<FisDescription> readFisFile(const std::string& path, const FisLog& log) {
    std::ifstream file(path, std::ios::binary);
    std::string text;
    if (file) {
        file.seekg(0, std::ios::end);
        const auto size = file.tellg();
        file.seekg(0, std::ios::beg);
        if (size >= 0 && static_cast<std::size_t>(size) <= kMaxFileBytes) {
            text.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
        } else {
            file.setstate(std::ios::failbit);
        }
    }
    if (!file && !file.eof()) {
        if (log) {
            log(format("The file %s cannot be opened.", path.c_str()));
        }
        return std::nullopt;
    }
    return parseFisText(text, log);
}

}  // namespace orvel::fuzzy
