#include <gtest/gtest.h>
#include <deque>

#include "core/closing_sequence.h"
#include "core/login_loop.h"
#include "core/message_layout.h"
#include "core/progress_sequence.h"
#include "core/texts.h"

using namespace orvel;

namespace {

class ScriptedDialog : public IMessageDialog {
public:
    std::deque<int> answers;
    QStringList texts;
    int show(const QString& text, const QString& caption, uint16_t, uint8_t) override {
        texts << caption + "|" + text;
        const int a = answers.empty() ? mb::kResultNo : answers.front();
        if (!answers.empty())
            answers.pop_front();
        return a;
    }
};

class TableCheck : public IOperatorCheck {
public:
    QStringList tried;
    LoginResult check(const Credentials& c) override {
        tried << c.name;
        if (c.name == "admin")
            return c.password == "1" ? LoginResult::Accepted : LoginResult::WrongPassword;
        return LoginResult::UnknownOperator;
    }
};

TEST(LoginLoop, VacantAutoLoginShowsTheWindowUntilAccepted) {
    TableCheck check;
    std::deque<Credentials> typed = {{"nobody", ""}, {"admin", "2"}, {"admin", "1"}};
    QList<LoginResult> refusals;
    LoginHooks h;
    h.readAutoLogin = [] { return QString("Vacant"); };
    h.askCredentials = [&]() -> std::optional<Credentials> {
        auto c = typed.front();
        typed.pop_front();
        return c;
    };
    h.showRefusal = [&](LoginResult r) { refusals << r; };
    const auto who = runLoginLoop(check, h);
    ASSERT_TRUE(who.has_value());
    EXPECT_EQ(who->name, "admin");
    EXPECT_EQ(refusals,
              (QList<LoginResult>{LoginResult::UnknownOperator, LoginResult::WrongPassword}));
}

TEST(LoginLoop, RefusedAutoLoginFallsBackToTheWindowOnce) {
    TableCheck check;
    int asked = 0;
    LoginHooks h;
    h.readAutoLogin = [] { return QString("ghost"); };
    h.askCredentials = [&]() -> std::optional<Credentials> {
        ++asked;
        return std::nullopt;  // the operator cancels
    };
    int refused = 0;
    h.showRefusal = [&](LoginResult) { ++refused; };
    EXPECT_FALSE(runLoginLoop(check, h).has_value());
    EXPECT_EQ(check.tried, QStringList({"ghost"}));
    EXPECT_EQ(refused, 1);
    EXPECT_EQ(asked, 1);
}

TEST(LoginLoop, AcceptedAutoLoginNeedsNoWindow) {
    OpenOperatorCheck open;
    LoginHooks h;
    h.readAutoLogin = [] { return QString("Иванов"); };
    h.askCredentials = []() -> std::optional<Credentials> {
        ADD_FAILURE() << "login window shown";
        return std::nullopt;
    };
    const auto who = runLoginLoop(open, h);
    ASSERT_TRUE(who.has_value());
    EXPECT_EQ(who->name, "Иванов");
    EXPECT_TRUE(who->password.isEmpty());
}

TEST(LoginLoop, RefusalTexts) {
    resetTexts();
    EXPECT_EQ(refusalText(LoginResult::UnknownOperator),
              "Указанный пользователь не найден!\nВ доступе отказано!");
    EXPECT_EQ(refusalText(LoginResult::WrongPassword), "Неверный пароль!\nВ доступе отказано!");
}

TEST(ClosingSequence, NoKeepsTheWindowOpen) {
    ScriptedDialog d;
    d.answers = {mb::kResultNo};
    bool logged = false;
    ClosingHooks h;
    h.writeClosingLog = [&] { logged = true; };
    EXPECT_FALSE(runClosingSequence(d, h));
    EXPECT_FALSE(logged);
    EXPECT_EQ(d.texts, QStringList({"Подтверждение|Закрыть программу?"}));
}

TEST(ClosingSequence, RunningNotificationIsStoppedOnlyAfterASecondYes) {
    ScriptedDialog d;
    QStringList done;
    ClosingHooks h;
    h.runInProgress = [] { return true; };
    h.stopRun = [&] { done << "stop"; };
    h.writeClosingLog = [&] { done << "log"; };
    h.saveState = [&] { done << "save"; };
    d.answers = {mb::kResultYes, mb::kResultNo};
    EXPECT_FALSE(runClosingSequence(d, h));
    EXPECT_TRUE(done.isEmpty());
    d.answers = {mb::kResultYes, mb::kResultYes};
    EXPECT_TRUE(runClosingSequence(d, h));
    EXPECT_EQ(done, QStringList({"stop", "log", "save"}));
    EXPECT_TRUE(d.texts.last().endsWith(
        "Закрытие программы приведёт к остановке оповещения! Закрыть программу?"));
}

TEST(ProgressSequence, WindowAppearsAfterASecondAndGoesAtTheEnd) {
    ProgressSequence p;
    using A = ProgressSequence::Action;
    EXPECT_EQ(p.update(0, 10, 5000), A::None);
    EXPECT_EQ(p.update(1, 10, 6000), A::None);  // exactly 1000 ms: not yet
    EXPECT_EQ(p.update(2, 10, 6001), A::Show);
    EXPECT_EQ(p.update(3, 10, 6002), A::Update);
    EXPECT_EQ(p.update(0, 0, 6003), A::Close);
    EXPECT_FALSE(p.active());
    // A new sequence starts its own second.
    EXPECT_EQ(p.update(0, 5, 7000), A::None);
    EXPECT_EQ(p.update(5, 5, 9000), A::None);  // ended before it was shown
}

TEST(MessageLayout, ButtonsInTableOrderAndCentredWhenFew) {
    const auto yesNo = messageButtons(mb::kYes | mb::kNo);
    ASSERT_EQ(yesNo.size(), 2);
    EXPECT_EQ(yesNo[0].result, mb::kResultYes);
    EXPECT_EQ(yesNo[1].result, mb::kResultNo);
    const auto all = messageButtons(0x1FF);
    ASSERT_EQ(all.size(), 9);
    EXPECT_EQ(all[1].flag, mb::kCancel);
    EXPECT_EQ(all[8].flag, mb::kIgnore);

    const MessageLayout l = layoutMessageDialog(mb::kYes | mb::kNo, 225, 20);
    ASSERT_EQ(l.buttons.size(), 2);
    const int rowCentre = (l.buttons[0].left() + l.buttons[1].right()) / 2;
    EXPECT_NEAR(rowCentre, l.client.width() / 2, 8);
    EXPECT_EQ(l.buttons[1].left() - l.buttons[0].left(), 113 + 8);
    EXPECT_EQ(l.panelHeight, 41);
}

TEST(MessageLayout, ShortMessagesTakeTheButtonsWidthLongOnesWiden) {
    const MessageLayout four =
        layoutMessageDialog(mb::kYes | mb::kNo | mb::kYesToAll | mb::kNoToAll, 100, 20);
    EXPECT_EQ(four.client.width(), 8 + 4 * (113 + 8));
    EXPECT_EQ(four.buttons[0].left(), 8);  // no centring from three buttons on
    const MessageLayout wide = layoutMessageDialog(mb::kOk, 700, 20);
    EXPECT_GT(wide.client.width(), 700);
    EXPECT_GE(wide.message.width(), 700);
    const MessageLayout tall = layoutMessageDialog(mb::kOk, 225, 200);
    EXPECT_GE(tall.client.height(), 41 + 200);
}

}  // namespace
