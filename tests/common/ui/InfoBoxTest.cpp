#include "common/ui/InfoBox.h"

#include <QElapsedTimer>
#include <QScrollBar>
#include <QTest>
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>

#include "TestHome.h"

namespace vn {
namespace {

QStringList numbered(int n) {
    QStringList out;
    for (int i = 1; i <= n; ++i) out << QStringLiteral("line %1").arg(i);
    return out;
}

struct TrimCase {
    const char* name;
    int maxLines;
    int added;
    QStringList kept;
};

void PrintTo(const TrimCase& c, std::ostream* os) { *os << c.name; }

class InfoBoxTrim : public ::testing::TestWithParam<TrimCase> {};

TEST_P(InfoBoxTrim, KeepsTheNewestLines) {
    const TrimCase& c = GetParam();
    InfoBox box;
    box.setMaxLines(c.maxLines);
    for (const QString& l : numbered(c.added)) box.addLine(l);
    EXPECT_EQ(c.kept, box.lines());
    EXPECT_EQ(c.kept.size(), box.lineCount());
    EXPECT_EQ(c.kept.join(QLatin1Char('\n')), box.toPlainText());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, InfoBoxTrim,
    ::testing::Values(TrimCase{"max3_five", 3, 5, {"line 3", "line 4", "line 5"}},
                      TrimCase{"max0_keeps_all", 0, 5, numbered(5)},
                      TrimCase{"max1", 1, 4, {"line 4"}},
                      TrimCase{"below_max", 10, 2, numbered(2)},
                      TrimCase{"empty", 3, 0, {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(InfoBox, LoweringTheMaximumTrimsAtOnce) {
    InfoBox box;
    for (const QString& l : numbered(6)) box.addLine(l);
    box.setMaxLines(2);
    EXPECT_EQ((QStringList{"line 5", "line 6"}), box.lines());
}

TEST(InfoBox, ReplaceLineFindsItsLineAfterTrimming) {
    InfoBox box;
    box.setMaxLines(3);
    std::vector<InfoBox::LineId> ids;
    for (const QString& l : numbered(5)) ids.push_back(box.addLine(l));
    // In the box now: line 3, 4, 5.
    EXPECT_TRUE(box.replaceLine(ids[3], QStringLiteral("four")));
    EXPECT_TRUE(box.replaceLine(ids[4], QStringLiteral("five")));
    EXPECT_TRUE(box.replaceLine(ids[2], QString()));
    EXPECT_EQ((QStringList{"", "four", "five"}), box.lines());
    EXPECT_FALSE(box.replaceLine(ids[0], QStringLiteral("gone")));
    EXPECT_FALSE(box.replaceLine(ids[1], QStringLiteral("gone")));
    EXPECT_FALSE(box.replaceLine(ids[4] + 1, QStringLiteral("future")));

    const auto six = box.addLine(QStringLiteral("line 6"));
    EXPECT_FALSE(box.replaceLine(ids[2], QStringLiteral("trimmed now")));
    EXPECT_TRUE(box.replaceLine(six, QStringLiteral("six")));
    EXPECT_EQ((QStringList{"four", "five", "six"}), box.lines());
}

TEST(InfoBox, ClearedLinesCannotBeReplaced) {
    InfoBox box;
    const auto a = box.addLine(QStringLiteral("a"));
    box.clearLines();
    EXPECT_TRUE(box.lines().isEmpty());
    EXPECT_FALSE(box.replaceLine(a, QStringLiteral("x")));
    const auto b = box.addLine(QStringLiteral("b"));
    EXPECT_NE(a, b);
    EXPECT_EQ(QStringList{"b"}, box.lines());
}

TEST(InfoBox, EmptyLinesAndLineBreaksKeepOneEntryPerLine) {
    InfoBox box;
    box.addLine(QString());
    box.addLine(QStringLiteral("two\r\nparts"));
    const auto id = box.addLine(QStringLiteral("x"));
    EXPECT_EQ((QStringList{"", "two  parts", "x"}), box.lines());
    EXPECT_TRUE(box.replaceLine(id, QStringLiteral("y\nz")));
    EXPECT_EQ((QStringList{"", "two  parts", "y z"}), box.lines());
}

TEST(InfoBox, MarkupShowsLiterally) {
    InfoBox box;
    box.addLine(QStringLiteral("--->220 <b>x</b> &amp; <a href=\"y\">z</a>"));
    EXPECT_EQ(QStringLiteral("--->220 <b>x</b> &amp; <a href=\"y\">z</a>"), box.toPlainText());
    EXPECT_TRUE(box.isReadOnly());
}

TEST(InfoBox, AddedLinesAreMirroredToTheLog) {
    const auto log = test::testHome() / "mirror.log";
    setenv("VARNELO_LOG", log.c_str(), 1);
    InfoBox box;
    box.setMirrorCaption(QStringLiteral("FTP Explorer"));
    box.addLine(QStringLiteral(">Socket connected."));
    const auto id = box.addLine(QStringLiteral("--->220 caf\u00e9"));
    box.replaceLine(id, QStringLiteral("replaced"));
    unsetenv("VARNELO_LOG");

    std::ifstream in(log);
    std::stringstream all;
    all << in.rdbuf();
    const std::string text = all.str();
    const std::regex entry(R"(\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2} \[FTP Explorer\] )");
    std::vector<std::string> lines;
    std::string l;
    std::istringstream split(text);
    while (std::getline(split, l)) lines.push_back(l);
    ASSERT_EQ(2u, lines.size()) << text;
    EXPECT_TRUE(std::regex_search(lines[0], entry)) << lines[0];
    EXPECT_NE(std::string::npos, lines[0].find(">Socket connected.")) << lines[0];
    EXPECT_NE(std::string::npos, lines[1].find("--->220 caf\xc3\xa9")) << lines[1];
}

TEST(InfoBox, AProgressLineIsMirroredInItsFinalForm) {
    const auto log = test::testHome() / "progress.log";
    setenv("VARNELO_LOG", log.c_str(), 1);
    {
        InfoBox box;
        box.setMirrorCaption(QStringLiteral("FTP"));
        const auto speed = box.addReplaceableLine(QStringLiteral("Transmitting file..."));
        const auto count = box.addReplaceableLine(QString());
        box.replaceLine(speed, QStringLiteral("Transmitting file... [699050.667] KBytes/sec (0.096 secs)"));
        box.replaceLine(count, QStringLiteral("\u00b7) 67108864 Bytes received."));
        box.addLine(QStringLiteral(">File 'a' transmitted OK."));
    }
    unsetenv("VARNELO_LOG");
    std::ifstream in(log);
    std::vector<std::string> lines;
    for (std::string l; std::getline(in, l);) lines.push_back(l.substr(std::min<std::size_t>(l.size(), 20)));
    EXPECT_EQ(lines, (std::vector<std::string>{"[FTP] Transmitting file... [699050.667] KBytes/sec (0.096 secs)",
                                               "[FTP] \xc2\xb7) 67108864 Bytes received.",
                                               "[FTP] >File 'a' transmitted OK."}));
}

TEST(InfoBox, StaysAtTheBottomOnlyWhenItWasThere) {
    InfoBox box;
    box.resize(300, 120);
    box.show();
    for (const QString& l : numbered(200)) box.addLine(l);
    QScrollBar* bar = box.verticalScrollBar();
    ASSERT_GT(bar->maximum(), 0);
    EXPECT_EQ(bar->maximum(), bar->value());

    bar->setValue(10);
    box.addLine(QStringLiteral("more"));
    EXPECT_EQ(10, bar->value());

    bar->setValue(bar->maximum());
    box.setMaxLines(50);
    box.addLine(QStringLiteral("last"));
    EXPECT_EQ(bar->maximum(), bar->value());
    EXPECT_EQ(QStringLiteral("last"), box.lines().last());
}

// A transfer's lines as the log gets them: a progress line rewritten many
// times (ever longer, so the horizontal bar appears), speed lines, lines that
// arrive between event-loop turns. The box keeps following throughout.
TEST(InfoBox, KeepsFollowingThroughATransfer) {
    InfoBox box;
    box.resize(300, 120);
    box.show();
    QScrollBar* bar = box.verticalScrollBar();
    for (int round = 0; round < 3; ++round) {
        for (int i = 0; i < 20; ++i) box.addLine(QStringLiteral(">RETR file%1").arg(i));
        InfoBox::LineId progress = box.addLine(QStringLiteral("Transmitting file..."));
        QTest::qWait(1);
        for (int k = 1; k <= 30; ++k) {
            box.replaceLine(progress, QStringLiteral("Transmitting file... ") + QString(k * 4, QLatin1Char('#')));
            box.addLine(QStringLiteral("--->150 Opening BINARY mode data connection %1").arg(k));
            QTest::qWait(1);
            ASSERT_EQ(bar->value(), bar->maximum()) << "round " << round << ", line " << k;
        }
    }
    // Scrolled up by the user, it stays where it was.
    bar->setValue(5);
    box.addLine(QStringLiteral("one more"));
    QTest::qWait(1);
    EXPECT_EQ(bar->value(), 5);
}

TEST(InfoBox, HundredThousandLinesStayFast) {
    InfoBox box;
    box.resize(400, 200);
    box.show();
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < 100000; ++i) box.addLine(QStringLiteral("--->150 Opening data connection %1").arg(i));
    EXPECT_EQ(100000, box.lineCount());
    box.setMaxLines(1000);
    for (int i = 0; i < 20000; ++i) box.addLine(QStringLiteral("--->226 Transfer complete %1").arg(i));
    EXPECT_EQ(1000, box.lineCount());
    EXPECT_EQ(QStringLiteral("--->226 Transfer complete 19999"), box.lines().last());
    EXPECT_LT(clock.elapsed(), 30000);
}

} // namespace
} // namespace vn
