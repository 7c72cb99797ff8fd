#include "ui/ScriptedPrompter.h"

#include <QDialog>
#include <gtest/gtest.h>

#include <thread>

namespace vn::test {
namespace {

TEST(ScriptedPrompter, AnswersInOrderAndRecords) {
    ScopedPrompter p;
    p->pushYesNo(true);
    p->pushYesNo(false);
    p->pushInput(std::string("typed"));
    p->pushInput(std::nullopt);
    p->pushDialog([](QDialog& d) {
        d.setProperty("seen", true);
        return int(QDialog::Accepted);
    });
    UiPrompter& ui = uiPrompter();
    EXPECT_TRUE(ui.askYesNo("Q1"));
    EXPECT_FALSE(ui.askYesNo("Q2"));
    ui.message("M");
    EXPECT_EQ(std::optional<std::string>("typed"), ui.input("Cap", "Prompt", ""));
    EXPECT_EQ(std::nullopt, ui.input("Cap", "Again", "x"));
    QDialog d;
    d.setWindowTitle(QStringLiteral("Quick Connection"));
    EXPECT_EQ(QDialog::Accepted, ui.exec(d));
    EXPECT_TRUE(d.property("seen").toBool());
    EXPECT_EQ((std::vector<std::string>{"yesno: Q1", "yesno: Q2", "message: M", "input: Cap: Prompt",
                                        "input: Cap: Again", "dialog: Quick Connection"}),
              p->asked());
    EXPECT_EQ(0, p->unexpected());
    EXPECT_EQ(0u, p->pending());
}

TEST(ScriptedPrompter, EmptyQueuesCancelAndAreMarked) {
    ScopedPrompter p;
    QDialog d;
    d.setWindowTitle(QStringLiteral("Site Manager"));
    EXPECT_FALSE(uiPrompter().askYesNo("Sure?"));
    EXPECT_EQ(std::nullopt, uiPrompter().input("C", "P", ""));
    EXPECT_EQ(QDialog::Rejected, uiPrompter().exec(d));
    EXPECT_EQ(3, p->unexpected());
    EXPECT_EQ((std::vector<std::string>{"yesno: Sure?", "unexpected: yesno: Sure?", "input: C: P",
                                        "unexpected: input: C: P", "dialog: Site Manager",
                                        "unexpected: dialog: Site Manager"}),
              p->asked());
}

TEST(ScriptedPrompter, ScopeRestoresThePreviousPrompter) {
    UiPrompter* before = &uiPrompter();
    {
        ScopedPrompter outer;
        {
            ScopedPrompter inner;
            EXPECT_EQ(&inner.prompter(), &uiPrompter());
        }
        EXPECT_EQ(&outer.prompter(), &uiPrompter());
    }
    EXPECT_EQ(before, &uiPrompter());
}

TEST(ScriptedPrompter, WorkersMayAsk) {
    ScopedPrompter p;
    for (int i = 0; i < 200; ++i) p->pushYesNo(i % 2 == 0);
    int yes[2] = {0, 0};
    std::thread a([&] { for (int i = 0; i < 100; ++i) yes[0] += uiPrompter().askYesNo("a"); });
    std::thread b([&] { for (int i = 0; i < 100; ++i) yes[1] += uiPrompter().askYesNo("b"); });
    a.join();
    b.join();
    EXPECT_EQ(100, yes[0] + yes[1]);
    EXPECT_EQ(200u, p->asked().size());
    EXPECT_EQ(0, p->unexpected());
}

} // namespace
} // namespace vn::test
