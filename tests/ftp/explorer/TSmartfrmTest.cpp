// The Smart Resume dialog: its texts, and every way of answering it.
#include "ftp/explorer/TSmartfrm.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include <functional>

#include "ui/ScriptedPrompter.h"

namespace vn {
namespace {

using Answer = TSmartfrm::Answer;
using test::ScopedPrompter;

template <typename T>
T* child(QWidget& w, const char* name) {
    T* c = w.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(nullptr, c) << name;
    return c;
}

TEST(TSmartfrm, ShowsTheFileAndTheThreeChoices) {
    TSmartfrm dlg(QStringLiteral("/home/joan/big file.iso"));
    EXPECT_EQ(dlg.windowTitle(), "Smart Resume");
    EXPECT_EQ(child<QLabel>(dlg, "TitleLabel")->text(), "Smart Resume");
    EXPECT_EQ(child<QLabel>(dlg, "DetectedLabel")->text(), "has detected that the file ...");
    EXPECT_EQ(child<QLabel>(dlg, "FileLabel")->text(), "/home/joan/big file.iso");
    EXPECT_EQ(child<QLabel>(dlg, "PartialLabel")->text(), "... has been partialy transferred.");
    EXPECT_EQ(child<QLabel>(dlg, "QuestionLabel")->text(), "Do you want to resume the transfer?");
    EXPECT_EQ(child<QPushButton>(dlg, "ResumeBtn")->text(), "&RESUME THE TRANSFER");
    EXPECT_EQ(child<QPushButton>(dlg, "AllBtn")->text(), "TRANSFER &ALL");
    EXPECT_EQ(child<QPushButton>(dlg, "DontBtn")->text(), "&DON'T TRANSFER");
    // Until answered, nothing is to change.
    EXPECT_EQ(dlg.answer(), Answer::DontTransfer);
}

TEST(TSmartfrm, PathIsNeverMarkup) {
    TSmartfrm dlg(QStringLiteral("/tmp/<b>x</b>"));
    EXPECT_EQ(child<QLabel>(dlg, "FileLabel")->textFormat(), Qt::PlainText);
}

struct Way {
    const char* name;
    std::function<void(TSmartfrm&)> act;
    Answer answer;
};

void key(TSmartfrm& d, const char* focus, Qt::Key k, Qt::KeyboardModifiers m = Qt::NoModifier) {
    QWidget* target = focus ? static_cast<QWidget*>(d.findChild<QPushButton*>(focus)) : &d;
    ASSERT_NE(target, nullptr);
    target->setFocus();
    QTest::keyClick(target, k, m);
}

TEST(TSmartfrm, EachWayOfAnsweringClosesWithItsAnswer) {
    const Way ways[] = {
        {"click resume", [](TSmartfrm& d) { child<QPushButton>(d, "ResumeBtn")->click(); }, Answer::Resume},
        {"click all", [](TSmartfrm& d) { child<QPushButton>(d, "AllBtn")->click(); }, Answer::TransferAll},
        {"click don't", [](TSmartfrm& d) { child<QPushButton>(d, "DontBtn")->click(); }, Answer::DontTransfer},
        {"R", [](TSmartfrm& d) { key(d, nullptr, Qt::Key_R); }, Answer::Resume},
        {"shift+R", [](TSmartfrm& d) { key(d, nullptr, Qt::Key_R, Qt::ShiftModifier); }, Answer::Resume},
        {"A", [](TSmartfrm& d) { key(d, nullptr, Qt::Key_A); }, Answer::TransferAll},
        {"shift+A", [](TSmartfrm& d) { key(d, nullptr, Qt::Key_A, Qt::ShiftModifier); }, Answer::TransferAll},
        {"D", [](TSmartfrm& d) { key(d, nullptr, Qt::Key_D); }, Answer::DontTransfer},
        {"D on the resume button", [](TSmartfrm& d) { key(d, "ResumeBtn", Qt::Key_D); }, Answer::DontTransfer},
        {"A on the don't button", [](TSmartfrm& d) { key(d, "DontBtn", Qt::Key_A); }, Answer::TransferAll},
        {"Enter", [](TSmartfrm& d) { key(d, nullptr, Qt::Key_Return); }, Answer::Resume},
        {"Enter on the all button", [](TSmartfrm& d) { key(d, "AllBtn", Qt::Key_Return); }, Answer::Resume},
        {"keypad Enter on don't", [](TSmartfrm& d) { key(d, "DontBtn", Qt::Key_Enter); }, Answer::Resume},
        // A dismissed question transfers nothing: resuming could append to the wrong file.
        {"Escape", [](TSmartfrm& d) { key(d, nullptr, Qt::Key_Escape); }, Answer::DontTransfer},
        {"closed", [](TSmartfrm& d) { d.close(); }, Answer::DontTransfer},
        {"rejected", [](TSmartfrm& d) { d.reject(); }, Answer::DontTransfer},
    };
    for (const Way& w : ways) {
        SCOPED_TRACE(w.name);
        TSmartfrm dlg(QStringLiteral("/tmp/part.bin"));
        dlg.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
        w.act(dlg);
        EXPECT_FALSE(dlg.isVisible());
        EXPECT_EQ(dlg.answer(), w.answer);
    }
}

TEST(TSmartfrm, OtherKeysDoNotAnswer) {
    TSmartfrm dlg(QStringLiteral("/tmp/part.bin"));
    dlg.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
    for (Qt::Key k : {Qt::Key_X, Qt::Key_T, Qt::Key_1}) QTest::keyClick(&dlg, k);
    QTest::keyClick(&dlg, Qt::Key_D, Qt::ControlModifier);
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_EQ(dlg.result(), 0);
}

TEST(TSmartfrm, AskRunsThroughThePrompter) {
    ScopedPrompter prompter;
    prompter->pushDialog([](QDialog& d) {
        EXPECT_EQ(d.findChild<QLabel*>("FileLabel")->text(), QString::fromUtf8("/srv/caf\xC3\xA9.iso"));
        d.findChild<QPushButton*>("DontBtn")->click();
        return d.result();
    });
    EXPECT_EQ(TSmartfrm::ask("/srv/caf\xC3\xA9.iso"), Answer::DontTransfer);
    prompter->pushDialog([](QDialog& d) { return d.result(); }); // closed without an answer
    EXPECT_EQ(TSmartfrm::ask("/srv/x"), Answer::DontTransfer);
    EXPECT_EQ(prompter->asked(), (std::vector<std::string>{"dialog: Smart Resume", "dialog: Smart Resume"}));
}

} // namespace
} // namespace vn
