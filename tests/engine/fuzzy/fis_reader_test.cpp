#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include "fis_text.h"
#include "fuzzy/fis_reader.h"

using namespace orvel::fuzzy;
using orvel::test::kTippingFis;
using orvel::test::Messages;
using orvel::test::replaced;

TEST(FisReader, ReadsTheTextFormat) {
    Messages m;
    auto fis = parseFisText(kTippingFis, m.sink());
    ASSERT_TRUE(fis) << (m.lines.empty() ? "" : m.lines.back());
    EXPECT_EQ(fis->name, "tipper");
    EXPECT_EQ(fis->type, "mamdani");
    EXPECT_EQ(fis->defuzzMethod, "centroid");
    ASSERT_EQ(fis->inputs.size(), 2u);
    ASSERT_EQ(fis->outputs.size(), 1u);
    EXPECT_EQ(fis->inputs[0].name, "service");  // comment after % dropped
    EXPECT_EQ(fis->inputs[1].mfs[1].label, "delicious");
    EXPECT_EQ(fis->inputs[1].mfs[1].type, "trapmf");
    EXPECT_EQ(fis->inputs[1].mfs[1].params, (std::vector<double>{7, 9, 10, 10}));
    EXPECT_EQ(fis->outputs[0].max, 30.0);
    ASSERT_EQ(fis->rules.size(), 3u);
    EXPECT_EQ(fis->rules[0].antecedent, (std::vector<int>{1, 1}));
    EXPECT_EQ(fis->rules[0].connection, 2);
    EXPECT_EQ(fis->rules[1].antecedent, (std::vector<int>{2, 0}));
    EXPECT_TRUE(m.lines.empty());
}

TEST(FisReader, RuleLineWithWeightAndOr) {
    auto text = replaced(kTippingFis, "2 0, 2 (1) : 1", "1 1, 2 (0.5) : 2 % half weight");
    auto fis = parseFisText(text, nullptr);
    ASSERT_TRUE(fis);
    EXPECT_EQ(fis->rules[1].weight, 0.5);
    EXPECT_EQ(fis->rules[1].connection, 2);
    EXPECT_EQ(fis->rules[1].consequent, (std::vector<int>{2}));
}

TEST(FisReader, SystemLinesArePositional) {
    // A Version line between Type and NumInputs shifts the ten lines: the
    // file is read wrongly and fails.
    Messages m;
    auto text = replaced(kTippingFis, "NumInputs=2", "Version=2.0\nNumInputs=2");
    EXPECT_FALSE(parseFisText(text, m.sink()));
    EXPECT_TRUE(m.has("Error in getString().")) << m.lines.size();

    // Keys are not looked at: any key works in its position.
    auto renamed = replaced(kTippingFis, "AndMethod='min'", "Whatever='min'");
    EXPECT_TRUE(parseFisText(renamed, nullptr));
}

TEST(FisReader, MissingPartsAreNamed) {
    struct Case {
        std::string from, to, message;
    } cases[] = {
        {"[System]", "[Sys]", "Cannot find [System] in FIS file!"},
        {"NumInputs=2", "Inputs=2", "Cannot find NumInputs in FIS file!"},
        {"NumOutputs=1", "Outputs=1", "Cannot find NumOutputs in FIS file!"},
        {"NumRules=3", "Rules=3", "Cannot find NumRules in FIS file!"},
        {"[Rules]", "[Rulez]", "Cannot find [Rules] in FIS file!"},
        {"NumRules=3", "NumRules=5", "Not enough rule list in FIS file!"},
        {"NumOutputs=1", "NumOutputs=2", "Not enough Name in FIS file!"},
        {"Range=[0 10]\nNumMFs=3", "Range=[10 0]\nNumMFs=3", "Error in parsing I/O ranges."},
        {"Range=[0 10]\nNumMFs=3", "Range=[0]\nNumMFs=3", "Error in parsing I/O ranges."},
        {"[1.5 0]", "[1.5 zero]", "Error in parsing input MF parameters."},
        {"[0 5 10]", "[0 5 10", "Not enough MF parameters in FIS file!"},
        {"'cheap':'trimf'", "'cheap'", "Not enough MF types in FIS file!"},
        {"3 2, 3 (1) : 2", "3 2, 3 (1)", "Error in parsing rule list!"},
        {"3 2, 3 (1) : 2", "3 2, 3 (1) : 3", "Error in parsing rule list!"},
        {"3 2, 3 (1) : 2", "3 2.5, 3 (1) : 2", "Error in parsing rule list!"},
        {"3 2, 3 (1) : 2", "3 2, 3 (nan) : 2", "Error in parsing rule list!"},
        {"NumInputs=2", "NumInputs=1000000", "Error in getNumber()."},
        {"NumRules=3", "NumRules=0", "Given size is zero!"},
        {"NumMFs=3", "NumMFs=1e9", "Error in getNumber()."},
    };
    for (const Case& c : cases) {
        Messages m;
        auto text = replaced(kTippingFis, c.from, c.to);
        ASSERT_NE(text, kTippingFis) << c.from;
        EXPECT_FALSE(parseFisText(text, m.sink())) << c.to;
        EXPECT_TRUE(m.has(c.message)) << c.to << " -> " << (m.lines.empty() ? "" : m.lines.back());
    }
}

TEST(FisReader, TruncatedFilesFailAtEveryLength) {
    const std::string full = kTippingFis;
    const auto rules = full.find("[Rules]");
    for (std::size_t len = 0; len < rules + 8; ++len) {
        EXPECT_FALSE(parseFisText(full.substr(0, len), nullptr)) << len;
    }
}

TEST(FisReader, LongLinesAndMissingFiles) {
    Messages m;
    std::string text = kTippingFis;
    text += "% " + std::string(600, 'x') + "\n";
    EXPECT_FALSE(parseFisText(text, m.sink()));
    EXPECT_TRUE(m.has("String too long!"));
    EXPECT_TRUE(m.has("STR_LEN = 500\n"));

    Messages missing;
    EXPECT_FALSE(readFisFile("/nonexistent/orvel.fis", missing.sink()));
    EXPECT_TRUE(missing.has("The file /nonexistent/orvel.fis cannot be opened."));
}
