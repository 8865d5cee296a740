#include <gtest/gtest.h>
#include <QTemporaryDir>

#include "core/confirm_methods.h"
#include "core/settings_manager.h"
#include "core/texts.h"

using namespace orvel;

namespace {

TEST(ConfirmMethods, NamesAreBuiltFromTheBits) {
    resetTexts();
    EXPECT_EQ(MethodName(0), "<по умолчанию>");
    EXPECT_EQ(MethodName(1), "DTMF");
    EXPECT_EQ(MethodName(2), "Положенная трубка");
    EXPECT_EQ(MethodName(3), "DTMF или Положенная трубка");
    EXPECT_EQ(methodChoiceNames(),
              QStringList({"DTMF", "Положенная трубка", "DTMF или Положенная трубка"}));
    EXPECT_EQ(methodFromChoice(0), 1);
    EXPECT_EQ(methodFromChoice(2), 3);
    EXPECT_EQ(methodFromChoice(3), 0);
    EXPECT_EQ(methodFromChoice(-1), 0);
}

TEST(ConfirmMethods, FirstMatchingPatternWinsThenTheDefault) {
    TConfirmMethodManager m;
    EXPECT_EQ(m.defaultMethod(), 1);
    m.setDefaultMethod(0);
    EXPECT_EQ(m.MethodForNumber("123"), 0);  // empty table: the default
    m.append("^8495", 1);
    m.append("495", 2);
    EXPECT_EQ(m.MethodForNumber("84951234567"), 1);
    EXPECT_EQ(m.MethodForNumber("#24951234567"), 2);  // searched anywhere, marker included
    EXPECT_EQ(m.MethodForNumber("8812"), 0);
    // "*" is a quantifier, not a wildcard.
    m.clear();
    m.append("12*3", 3);
    EXPECT_EQ(m.MethodForNumber("x13"), 3);
    EXPECT_EQ(m.MethodForNumber("1x3"), 0);
}

TEST(ConfirmMethods, SubscribersOwnMethodWins) {
    TConfirmMethodManager m;
    m.append(".", 1);
    EXPECT_EQ(m.modeForSubscriber(2, "555"), 2);
    EXPECT_EQ(m.modeForSubscriber(0, "555"), 1);
}

TEST(ConfirmMethods, InvalidPatternFailsTheLookup) {
    TConfirmMethodManager m;
    m.append("^7", 1);
    m.append("(", 2);
    EXPECT_EQ(m.MethodForNumber("71"), 1);  // decided before the bad pattern
    EXPECT_FALSE(m.MethodForNumber("81").has_value());
    QString error;
    EXPECT_FALSE(TConfirmMethodManager::isValidPattern("(", &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_TRUE(TConfirmMethodManager::isValidPattern("8-9?,w"));
}

TEST(ConfirmMethods, TableRoundTripsThroughTheSettings) {
    QTemporaryDir dir;
    SettingsManager s(dir.path() + "/ORVEL.ini");
    TConfirmMethodManager m;
    m.setDefaultMethod(3);
    m.append("^8", 2);
    m.append("^9", 1);
    m.move(1, 0);
    m.save(s);
    EXPECT_EQ(s.ReadIndexedSetting(SID_CONFIRM_METHOD_NUMBER, 0, "").toString(), "^9");
    TConfirmMethodManager loaded;
    loaded.load(s);
    EXPECT_EQ(loaded.defaultMethod(), 3);
    ASSERT_EQ(loaded.count(), 2);
    EXPECT_EQ(loaded.entry(0).pattern, "^9");
    EXPECT_EQ(loaded.entry(1).method, 2);
    // Nothing stored: default 0, empty table.
    TConfirmMethodManager fresh;
    fresh.load(SettingsManager(dir.path() + "/none.ini"));
    EXPECT_EQ(fresh.defaultMethod(), 0);
    EXPECT_EQ(fresh.count(), 0);
}

}  // namespace
