// Call corpora are the benchmark's ground truth: the same seed gives the
// same calls, every behaviour of the mix occurs, and each call expects the
// outcome its subscriber's behaviour calls for.
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "call_corpus.h"
#include "tone_plans.h"

using orvel::tools::Outcome;

TEST(CallCorpus, SameSeedSameCallsAndLines) {
    orvel::tools::CorpusOptions o;
    o.calls = 300;
    o.plans = orvel::tools::defaultFamilyPlans();
    const auto a = orvel::tools::makeCorpus(o);
    const auto b = orvel::tools::makeCorpus(o);
    ASSERT_EQ(a.calls.size(), 300u);
    ASSERT_EQ(a.lines.size(), 180u);
    for (size_t i = 0; i < a.calls.size(); ++i) {
        EXPECT_EQ(a.calls[i].kind, b.calls[i].kind);
        EXPECT_EQ(a.calls[i].subscriber.keyMs, b.calls[i].subscriber.keyMs);
    }
    o.seed = 2;
    const auto c = orvel::tools::makeCorpus(o);
    int differ = 0;
    for (size_t i = 0; i < c.calls.size(); ++i) {
        differ += c.calls[i].kind != a.calls[i].kind ? 1 : 0;
    }
    EXPECT_GT(differ, 100);
}

TEST(CallCorpus, EveryBehaviourOccursWithTheOutcomeItCallsFor) {
    orvel::tools::CorpusOptions o;
    o.calls = 1000;
    o.plans = {"ru", "de", "fr"};
    const auto corpus = orvel::tools::makeCorpus(o);
    std::map<std::string, std::set<int>> outcomes;
    std::set<std::string> numbers;
    for (const auto& c : corpus.calls) {
        outcomes[c.kind].insert(static_cast<int>(c.expected));
        EXPECT_TRUE(numbers.insert(c.number).second);
        EXPECT_EQ(c.subscriber.pattern, c.number);
        if (c.expected == Outcome::Notified && c.subscriber.key == '9') {
            EXPECT_TRUE(c.mode == 1 || c.mode == 3) << "a key confirms only in modes 1 and 3";
            EXPECT_GE(c.subscriber.keyMs, 40);
            EXPECT_LE(std::abs(c.subscriber.keyTwistDb), 6);
        }
        if (c.kind == "hangup") {
            EXPECT_NE(c.mode, 1) << "hanging up confirms only in modes 2 and 3";
        }
    }
    EXPECT_GE(outcomes.size(), 16u);
    for (const auto& [kind, set] : outcomes) {
        EXPECT_EQ(set.size(), 1u) << kind << " always expects one outcome";
    }
    EXPECT_EQ(*outcomes["machine"].begin(), static_cast<int>(Outcome::NotNotified));
    EXPECT_EQ(*outcomes["talker"].begin(), static_cast<int>(Outcome::NotNotified));
    EXPECT_EQ(*outcomes["unobtainable"].begin(), static_cast<int>(Outcome::Unobtainable));
    EXPECT_EQ(*outcomes["busy"].begin(), static_cast<int>(Outcome::Busy));
    // Lines: the plans asked for, loss within its range, echo on every line.
    for (const auto& l : corpus.lines) {
        EXPECT_TRUE(l.tonePlan == "ru" || l.tonePlan == "de" || l.tonePlan == "fr");
        EXPECT_GE(l.lossDb, 0);
        EXPECT_LE(l.lossDb, 30);
        EXPECT_GE(l.echoModel, 2);
        EXPECT_TRUE(l.bandLimit);
    }
}

TEST(CallCorpus, SimulatorConfigurationCarriesTheCorpus) {
    orvel::tools::CorpusOptions o;
    o.calls = 50;
    o.boards = 2;
    o.linesPerBoard = 10;
    const auto corpus = orvel::tools::makeCorpus(o);
    const auto sim = orvel::tools::simConfigFor(corpus, o);
    EXPECT_TRUE(sim.boards[1].present);
    EXPECT_FALSE(sim.boards[2].present);
    EXPECT_EQ(sim.boards[0].channelCount(), 10);
    EXPECT_EQ(sim.plan.size(), 50u);
    EXPECT_EQ(sim.boards[1].lines[3].lossDb, corpus.lines[13].lossDb);
    EXPECT_EQ(orvel::tools::outcomeOfResult(1), Outcome::Notified);
    EXPECT_EQ(orvel::tools::outcomeOfResult(5), Outcome::Unobtainable);
    EXPECT_EQ(orvel::tools::outcomeOfResult(-1), Outcome::NotNotified);
    EXPECT_EQ(orvel::tools::outcomeOfResult(77), Outcome::NotNotified);
}
