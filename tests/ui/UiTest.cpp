// The pieces every editor window shares, without a window.
#include "ui/NumberChars.h"
#include "ui/Placement.h"

#include <QMargins>
#include <QRect>

#include <gtest/gtest.h>

#include <climits>

using ui::Edges;
using ui::fitOuterRect;
using ui::NumberChars;
using ui::openRect;
using ui::savedEdges;

namespace {
constexpr ui::SizeLimits kMain = ui::kMainWindowLimits;
constexpr ui::SizeLimits kTable = ui::kTableWindowLimits;
} // namespace

TEST(NumberChars, SignAndPointOnlyWhereAllowed)
{
    const NumberChars all{};
    const NumberChars unsignedWhole{false, false};
    for (QChar c : QStringLiteral("0123456789-."))
        EXPECT_TRUE(all.accepts(c)) << c.toLatin1();
    for (QChar c : QStringLiteral("+eE, a\t"))
        EXPECT_FALSE(all.accepts(c)) << c.toLatin1();
    EXPECT_FALSE(unsignedWhole.accepts(u'-'));
    EXPECT_FALSE(unsignedWhole.accepts(u'.'));
    // A paste keeps what is allowed, in order.
    EXPECT_EQ(unsignedWhole.filtered(u"-1.5e3 kg"), QStringLiteral("153"));
    EXPECT_EQ(all.filtered(u"-1.5e3 kg"), QStringLiteral("-1.53"));
    EXPECT_TRUE(all.acceptsAll(u""));
    EXPECT_FALSE(all.acceptsAll(u"12a"));
}

TEST(NumberChars, ValidatorRefusesTheWholeOfAMixedText)
{
    ui::NumberValidator v(NumberChars{});
    int pos = 0;
    QString ok = QStringLiteral("-12.5"), bad = QStringLiteral("12,5"), empty;
    EXPECT_EQ(v.validate(ok, pos), QValidator::Acceptable);
    EXPECT_EQ(v.validate(empty, pos), QValidator::Acceptable);
    EXPECT_EQ(v.validate(bad, pos), QValidator::Invalid);
}

TEST(Placement, MainWindowOpensAndSavesClamped)
{
    const Edges desk{0, 0, 1024, 768};
    const auto open = [&](const Edges& e) { return openRect(e, desk, kMain); };
    EXPECT_EQ(open({10, 10, 300, 400}), QRect(10, 10, 290, 390));
    EXPECT_EQ(open({5000, 10, 5300, 400}), QRect(924, 10, 100, 390));
    EXPECT_EQ(open({50, 50, 60, 55}), QRect(50, 50, 100, 100));
    EXPECT_EQ(open({-30, -5, 200, 200}), QRect(0, 0, 230, 205));
    EXPECT_EQ(open({10, 700, 300, 2000}), QRect(10, 668, 290, 100));
    // Absurd values do not overflow.
    EXPECT_EQ(open({INT_MIN, INT_MIN, INT_MAX, INT_MAX}), QRect(0, 0, 1024, 768));

    Edges w = savedEdges({-20, 5, -10, 15}, desk, kMain);
    EXPECT_EQ(w.left, 0);
    EXPECT_EQ(w.top, 5);
    EXPECT_EQ(w.right, 20);
    EXPECT_EQ(w.bottom, 25);
    w = savedEdges({900, 700, 1300, 1100}, desk, kMain);
    EXPECT_EQ(w.right, 1024);
    EXPECT_EQ(w.bottom, 768);
}

TEST(Placement, TableWindowOpensClampedToScreenAndMinimumSize)
{
    const Edges screen{0, 0, 1280, 1024};
    EXPECT_EQ(openRect({10, 10, 600, 300}, screen, kTable), QRect(10, 10, 590, 290));
    EXPECT_EQ(openRect({-50, 10, 10, 300}, screen, kTable), QRect(0, 10, 100, 290));
    EXPECT_EQ(openRect({5000, 5000, 5100, 5100}, screen, kTable), QRect(1180, 924, 100, 100));
    // Reaching past the right edge: the right edge lands on the screen's.
    EXPECT_EQ(openRect({1000, 0, 1500, 30}, screen, kTable), QRect(1000, 0, 280, 40));
    // Extreme stored values do not overflow.
    const QRect r = openRect({INT_MIN, INT_MIN, INT_MAX, INT_MAX}, screen, kTable);
    EXPECT_EQ(r, QRect(0, 0, 1280, 1024));
}

TEST(Placement, TableWindowSavesClampedToScreenAndMinimumSize)
{
    const Edges screen{0, 0, 800, 600};
    const Edges e = savedEdges({-20, -5, 30, 10}, screen, kTable);
    EXPECT_EQ(e.left, 0);
    EXPECT_EQ(e.top, 0);
    EXPECT_EQ(e.right, 100);
    EXPECT_EQ(e.bottom, 40);
    const Edges f = savedEdges({700, 500, 1000, 900}, screen, kTable);
    EXPECT_EQ(f.right, 800);
    EXPECT_EQ(f.bottom, 600);
}

TEST(Placement, FrameFitsWhollyOnTheFreeArea)
{
    const QMargins frame(4, 30, 4, 4); // borders and a title bar
    const QRect screen(0, 0, 1280, 1024);
    // Room enough: only the frame is taken off.
    EXPECT_EQ(fitOuterRect(QRect(10, 10, 590, 290), frame, screen), QRect(14, 40, 582, 256));
    // The clamped stored rectangle reaches the bottom edge: the frame's bottom
    // stays on it, the title bar and the status strip inside.
    const QRect atBottom = openRect({10, 5000, 600, 5300}, {0, 0, 1280, 1024}, kTable);
    EXPECT_EQ(atBottom, QRect(10, 924, 590, 100));
    const QRect g = fitOuterRect(atBottom, frame, screen);
    EXPECT_EQ(g, QRect(14, 954, 582, 66));
    EXPECT_EQ(g.adjusted(-4, -30, 4, 4), atBottom);
    // Past the right and bottom edges: moved back in, not cut.
    EXPECT_EQ(fitOuterRect(QRect(1200, 1000, 300, 200), frame, screen), QRect(984, 854, 292, 166));
    // A panel takes the top and the bottom of the screen: the free area counts.
    const QRect free(0, 24, 1280, 960);
    EXPECT_EQ(fitOuterRect(QRect(0, 0, 300, 200), frame, free), QRect(4, 54, 292, 166));
    EXPECT_EQ(fitOuterRect(QRect(0, 900, 300, 200), frame, free), QRect(4, 814, 292, 166));
    // Larger than the area: shrunk to it.
    EXPECT_EQ(fitOuterRect(QRect(-100, -100, 5000, 5000), frame, free), QRect(4, 54, 1272, 926));
    // A window that cannot become as small as asked keeps its title bar on
    // the area and moves left and up as far as needed.
    EXPECT_EQ(fitOuterRect(QRect(1180, 924, 100, 100), frame, screen, QSize(200, 150)),
            QRect(1076, 870, 200, 150));
    EXPECT_EQ(fitOuterRect(QRect(0, 0, 100, 100), frame, QRect(0, 0, 150, 100), QSize(200, 150)),
            QRect(4, 30, 200, 150));
    // No frame (before the window is framed, or a platform without one).
    EXPECT_EQ(fitOuterRect(QRect(10, 10, 290, 390), QMargins(), screen), QRect(10, 10, 290, 390));
    // Extreme values do not overflow.
    EXPECT_EQ(fitOuterRect(QRect(QPoint(INT_MAX - 60, INT_MAX - 60), QSize(50, 50)), frame, screen),
            QRect(1234, 1004, 42, 16));
}
