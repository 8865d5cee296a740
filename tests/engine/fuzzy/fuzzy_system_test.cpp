#include <gtest/gtest.h>

#include <cmath>

#include "fis_text.h"
#include "fuzzy/fis_reader.h"
#include "fuzzy/fuzzy_system.h"
#include "fuzzy/membership.h"

using namespace orvel::fuzzy;
using orvel::test::kTippingFis;
using orvel::test::Messages;
using orvel::test::replaced;

namespace {

std::shared_ptr<const FuzzySystem> build(const std::string& text, Messages* m = nullptr) {
    auto desc = parseFisText(text, m ? m->sink() : FisLog());
    if (!desc) {
        return nullptr;
    }
    auto s = std::make_shared<FuzzySystem>();
    if (!s->build(*desc, FuzzySystem::kDefaultPoints, m ? m->sink() : FisLog())) {
        return nullptr;
    }
    return s;
}

double run(const std::shared_ptr<const FuzzySystem>& s, double a, double b) {
    FuzzyEvaluator e(s, nullptr);
    e.setInput(0, a);
    e.setInput(1, b);
    e.evaluate();
    return e.output(0);
}

// A one-input, one-output Mamdani system with the given defuzzifier and
// output functions.
std::string single(const std::string& defuzz, const std::string& outMfs, const std::string& rules,
                   int nOutMfs, int nRules) {
    return "[System]\nName='s'\nType='mamdani'\nNumInputs=1\nNumOutputs=1\nNumRules=" +
           std::to_string(nRules) +
           "\nAndMethod='min'\nOrMethod='max'\nImpMethod='min'\nAggMethod='max'\nDefuzzMethod='" +
           defuzz +
           "'\n[Input1]\nName='x'\nRange=[0 1]\nNumMFs=2\nMF1='lo':'trimf',[0 0 1]\n"
           "MF2='hi':'trimf',[0 1 1]\n[Output1]\nName='y'\nRange=[0 1]\nNumMFs=" +
           std::to_string(nOutMfs) + "\n" + outMfs + "[Rules]\n" + rules;
}

}  // namespace

TEST(Membership, ShapesAtKnownPoints) {
    const double tri[] = {0, 5, 10};
    EXPECT_DOUBLE_EQ(mfValue(MfType::Triangle, tri, 2.5), 0.5);
    EXPECT_DOUBLE_EQ(mfValue(MfType::Triangle, tri, 11), 0.0);
    const double trap[] = {0, 0, 1, 3};
    EXPECT_DOUBLE_EQ(mfValue(MfType::Trapezoid, trap, 0), 1.0);
    EXPECT_DOUBLE_EQ(mfValue(MfType::Trapezoid, trap, 2), 0.5);
    const double gauss[] = {1, 2};
    EXPECT_NEAR(mfValue(MfType::Gaussian, gauss, 3), std::exp(-0.5), 1e-12);
    const double g2[] = {1, 2, 1, 4};
    EXPECT_DOUBLE_EQ(mfValue(MfType::Gaussian2, g2, 3), 1.0);
    EXPECT_NEAR(mfValue(MfType::Gaussian2, g2, 5), std::exp(-0.5), 1e-12);
    const double sig[] = {2, 4};
    EXPECT_DOUBLE_EQ(mfValue(MfType::Sigmoid, sig, 4), 0.5);
    const double bell[] = {2, 4, 6};
    EXPECT_DOUBLE_EQ(mfValue(MfType::Bell, bell, 8), 0.5);
    const double pi[] = {1, 4, 5, 10};
    EXPECT_DOUBLE_EQ(mfValue(MfType::Pi, pi, 4.5), 1.0);
    EXPECT_DOUBLE_EQ(mfValue(MfType::Pi, pi, 2.5), 0.5);
    EXPECT_DOUBLE_EQ(mfValue(MfType::Pi, pi, 7.5), 0.5);
    const double ds[] = {5, 2, 5, 7};
    EXPECT_NEAR(mfValue(MfType::DiffSigmoid, ds, 4.5), 1.0, 1e-4);
    EXPECT_NEAR(mfValue(MfType::ProdSigmoid, ds, 4.5), 0.0, 1e-4);
}

TEST(FuzzySystem, MamdaniCentroid) {
    auto s = build(kTippingFis);
    ASSERT_TRUE(s);
    EXPECT_TRUE(s->isMamdani());
    // Poor service and rancid food: "cheap" fires (centroid near 5 on the
    // sampled points), "average" only faintly.
    EXPECT_NEAR(run(s, 0, 0), 5.0, 0.1);
    // Middling inputs give a middling tip, excellent ones a generous tip.
    EXPECT_NEAR(run(s, 5, 5), 15.0, 1e-6);
    EXPECT_GT(run(s, 10, 10), 22.0);
}

TEST(FuzzySystem, ZeroFiringGivesMiddleOfRange) {
    // One rule: poor service AND delicious food.
    auto s = build(replaced(replaced(kTippingFis, "NumRules=3", "NumRules=1"), "1 1, 1 (1) : 2",
                            "1 2, 1 (1) : 1"));
    ASSERT_TRUE(s);
    EXPECT_DOUBLE_EQ(run(s, 0, 5), 15.0);  // delicious(5) = 0: nothing fires
    EXPECT_NEAR(run(s, 0, 10), 5.0, 0.01);
}

TEST(FuzzySystem, SampledOutputsAndDefuzzifiers) {
    // With 101 points over [0 1] the points are 0, 0.01, ..., 1: a plateau
    // from 0.2 to 0.4 has its smallest maximum at 0.2, largest at 0.4.
    const std::string plateau = "MF1='p':'trapmf',[0.1 0.2 0.4 0.5]\n";
    auto som = build(single("som", plateau, "2, 1 (1) : 1\n", 1, 1));
    auto lom = build(single("lom", plateau, "2, 1 (1) : 1\n", 1, 1));
    auto mom = build(single("mom", plateau, "2, 1 (1) : 1\n", 1, 1));
    auto bis = build(single("bisector", plateau, "2, 1 (1) : 1\n", 1, 1));
    ASSERT_TRUE(som && lom && mom && bis);
    EXPECT_NEAR(run(som, 1, 0), 0.2, 1e-12);
    EXPECT_NEAR(run(lom, 1, 0), 0.4, 1e-12);
    EXPECT_NEAR(run(mom, 1, 0), 0.3, 1e-12);
    EXPECT_NEAR(run(bis, 1, 0), 0.3, 1e-12);
    // NOT consequent: the complement of the plateau.
    auto notted = build(single("centroid", plateau, "2, -1 (1) : 1\n", 1, 1));
    ASSERT_TRUE(notted);
    EXPECT_GT(run(notted, 1, 0), 0.5);
}

TEST(FuzzySystem, CentroidOfZeroAreaReportsAndUsesMiddle) {
    // The output function is zero everywhere on the range.
    Messages m;
    auto s = build(single("centroid", "MF1='far':'trimf',[2 3 4]\n", "2, 1 (1) : 1\n", 1, 1), &m);
    ASSERT_TRUE(s);
    FuzzyEvaluator e(s, m.sink());
    e.setInput(0, 1.0);
    e.evaluate();
    EXPECT_DOUBLE_EQ(e.output(0), 0.5);
    EXPECT_TRUE(m.has("Total area is zero in defuzzCentroid() for output 1.\n"));
}

TEST(FuzzySystem, Sugeno) {
    const std::string base =
        "[System]\nName='sg'\nType='sugeno'\nNumInputs=2\nNumOutputs=1\nNumRules=2\n"
        "AndMethod='prod'\nOrMethod='probor'\nImpMethod='prod'\nAggMethod='sum'\n"
        "DefuzzMethod='wtaver'\n"
        "[Input1]\nName='a'\nRange=[0 1]\nNumMFs=2\nMF1='lo':'trimf',[0 0 1]\n"
        "MF2='hi':'trimf',[0 1 1]\n"
        "[Input2]\nName='b'\nRange=[0 1]\nNumMFs=1\nMF1='any':'trapmf',[0 0 1 1]\n"
        "[Output1]\nName='z'\nRange=[0 10]\nNumMFs=2\nMF1='c':'constant',[2]\n"
        "MF2='l':'linear',[4 6 1]\n"
        "[Rules]\n1 1, 1 (1) : 1\n2 1, 2 (1) : 1\n";
    auto s = build(base);
    ASSERT_TRUE(s);
    EXPECT_FALSE(s->isMamdani());
    // a = 0.25: strengths 0.75 and 0.25; outputs 2 and 4×0.25 + 6×0.5 + 1 = 5.
    EXPECT_NEAR(run(s, 0.25, 0.5), 0.75 * 2 + 0.25 * 5, 1e-12);
    auto sum = build(replaced(base, "'wtaver'", "'wtsum'"));
    ASSERT_TRUE(sum);
    EXPECT_NEAR(run(sum, 0.25, 0.5), 0.75 * 2 + 0.25 * 5, 1e-12);  // strengths add to 1
    EXPECT_NEAR(run(sum, 0.5, 0.5), 0.5 * 2 + 0.5 * 6, 1e-12);

    struct Case {
        std::string from, to, message;
    } bad[] = {
        {"[4 6 1]", "[4 6]",
         "First-order Sugeno system does not has the right number of output MF parameters."},
        {"[2]", "[2 3]",
         "Zero-order Sugeno system does not has the right number of output MF parameters."},
        {"'constant'", "'trimf'", "Unknown output MF type for Sugeno system."},
        {"2 1, 2 (1) : 1", "2 1, -2 (1) : 1",
         "Sugeno fuzzy inference system does not allow this.\n"},
        {"'wtaver'", "'centroid'", "Given defuzzification method centroid is unknown.\n"},
    };
    for (const Case& c : bad) {
        Messages m;
        EXPECT_FALSE(build(replaced(base, c.from, c.to), &m)) << c.to;
        EXPECT_TRUE(m.has(c.message)) << c.to;
    }
}

TEST(FuzzySystem, BuildChecks) {
    struct Case {
        std::string from, to, message;
    } cases[] = {
        {"'mamdani'", "'tsk'", "Unknown FIS type!"},
        {"AndMethod='min'", "AndMethod='avg'", "Given andMethod avg is unknown.\n"},
        {"OrMethod='max'", "OrMethod='sum'", "Given orMethod sum is unknown.\n"},
        {"ImpMethod='min'", "ImpMethod='max'", "Given impMethod max is unknown.\n"},
        {"AggMethod='max'", "AggMethod='min'", "Given aggMethod min is unknown.\n"},
        {"'centroid'", "'wtaver'", "Given defuzzification method wtaver is unknown.\n"},
        {"'gaussmf',[1.5 0]", "'blob',[1.5 0]", "MF type 'blob' for input 1 is unknown.\n"},
        {"'trimf',[0 5 10]", "'linear',[0 5 10]", "MF type 'linear' for output 1 is unknown.\n"},
        {"'gaussmf',[1.5 0]", "'gaussmf',[0 0]",
         "Illegal parameters in fisGaussianMF() --> sigma = 0"},
        {"'gaussmf',[1.5 0]", "'gaussmf',[1.5 0 1]", "Error in parsing input MF parameters."},
        {"'trimf',[0 5 10]", "'trimf',[5 0 10]", "Illegal parameters in fisTriangleMf() --> a > b"},
        {"'trimf',[0 5 10]", "'trimf',[0 11 10]",
         "Illegal parameters in fisTriangleMf() --> b > c"},
        {"[0 0 1 3]", "[0 0 4 3]", "Illegal parameters in fisTrapezoidMf() --> c > d"},
        {"1 1, 1 (1) : 2", "4 1, 1 (1) : 2", "MF index for input 1 in rule 1 is out of bound.\n"},
        {"1 1, 1 (1) : 2", "1 -3, 1 (1) : 2", "MF index for input 2 in rule 1 is out of bound.\n"},
        {"1 1, 1 (1) : 2", "1 1, 4 (1) : 2", "MF index for output 1 in rule 1 is out of bound.\n"},
        {"2 0, 2 (1) : 1", "0 0, 2 (1) : 1", "Rule 2 has no premise part.\n"},
    };
    for (const Case& c : cases) {
        Messages m;
        auto text = replaced(kTippingFis, c.from, c.to);
        ASSERT_NE(text, kTippingFis) << c.from;
        EXPECT_FALSE(build(text, &m)) << c.to;
        EXPECT_TRUE(m.has(c.message)) << c.to << " -> " << (m.lines.empty() ? "" : m.lines.back());
    }
    // A zero consequent only warns; that rule adds nothing to the output.
    Messages m;
    auto s = build(replaced(kTippingFis, "2 0, 2 (1) : 1", "2 0, 0 (1) : 1"), &m);
    ASSERT_TRUE(s);
    EXPECT_TRUE(m.has("Warning: Output 1 in rule 2 has a zero MF index.\n"));
    EXPECT_NEAR(run(s, 0, 0), 5.0, 0.1);
}
