// The shaded progress bar: the tube at the positions that matter, the vertical bar, the idle
// stripes and their animation, and the range and position it keeps. Expected pixels come from
// the drawing tables with the classic highlight RGB(10, 36, 106).
#include <QApplication>
#include <QPainter>
#include <QTest>
#include <QTimerEvent>
#include <climits>

#include "controls/filled_extent.h"
#include "controls/memory_dc.h"
#include "controls/shaded_progress_ctrl.h"
#include "controls/sys_colors.h"
#include "pixels.h"

namespace {

constexpr COLORREF kBase = RGB(10, 36, 106);
constexpr COLORREF kLight1 = RGB(61, 87, 157);
constexpr COLORREF kLight2 = RGB(112, 138, 208);
constexpr COLORREF kLight3 = RGB(163, 189, 208);
constexpr COLORREF kDark1 = RGB(10, 36, 55);
constexpr COLORREF kDark2 = RGB(10, 36, 4);
constexpr COLORREF kShadowDark = RGB(96, 96, 96);
constexpr COLORREF kShadow = RGB(128, 128, 128);

// The colour of a stripe pattern position: offsets 0 to 9 of a stripe, then ten of track.
COLORREF stripe_colour(int offset)
{
    static const COLORREF table[10] = {kDark2, kDark1, kBase, kLight1, kLight2, kLight3, kLight2, kLight1, kBase, kDark1};
    return offset < 10 ? table[offset] : kLight3;
}

int mod20(int v) { return ((v % 20) + 20) % 20; }

QImage render(CShadedProgressCtrl& ctrl)
{
    QImage image(ctrl.width(), ctrl.height(), QImage::Format_RGB32);
    image.fill(qRgb(1, 2, 3));
    QPainter painter(&image);
    ctrl.OnPaint(painter);
    return image;
}

class ProbeProgress : public CShadedProgressCtrl {
public:
    using CShadedProgressCtrl::DrawHorizontalBar;
};

class ShadedProgressTest : public ::testing::Test {
protected:
    void SetUp() override { UseSysColorsFromPalette(false); }

    static void horizontal(CShadedProgressCtrl& c, int w, int h) { c.resize(w, h); }
    static void vertical(CShadedProgressCtrl& c, int w, int h)
    {
        c.setOrientation(Qt::Vertical);
        c.resize(w, h);
    }
};

}  // namespace

TEST_F(ShadedProgressTest, LowerLimitShowsOnlyTheTrack)
{
    CShadedProgressCtrl h;
    horizontal(h, 200, 16);
    EXPECT_EQ(h.GetStyle() & PBS_VERTICAL, 0u);
    EXPECT_EQ(count_colour(render(h), kLight3), 200 * 16);

    CShadedProgressCtrl v;
    vertical(v, 16, 200);
    EXPECT_EQ(v.GetStyle() & PBS_VERTICAL, PBS_VERTICAL);
    v.SetRange32(-50, 50);
    v.SetPos(-50);
    EXPECT_EQ(count_colour(render(v), kLight3), 16 * 200);
}

TEST_F(ShadedProgressTest, HalfwayTubeRowsAndShadowColumns)
{
    CShadedProgressCtrl c;
    horizontal(c, 200, 16);
    c.SetPos(50);  // filled part x = 0, r = 100; y = 0, b = 16
    const QImage img = render(c);

    EXPECT_TRUE(RunIs(img, 0, 15, 0, 1, kBase));  // (x, b-1) to (x, y) to (x+2, y)
    EXPECT_TRUE(RunIs(img, 0, 0, 1, 0, kBase));
    EXPECT_TRUE(RunIs(img, 2, 0, 99, 0, kDark1));   // (x+2, y) to (r, y)
    EXPECT_TRUE(RunIs(img, 2, 1, 98, 1, kBase));    // (x+2, y+1) to (r-1, y+1)
    EXPECT_TRUE(RunIs(img, 2, 2, 97, 2, kLight1));  // (x+2, y+2) to (r-2, y+2)
    EXPECT_TRUE(RunIs(img, 2, 3, 97, 3, kLight2));  // (r-3, y+3) back to (x+1, y+3)
    for (int y = 4; y <= 10; ++y) {                 // the light middle keeps the track colour
        EXPECT_TRUE(RunIs(img, 1, y, 96, y, kLight3));
    }
    EXPECT_TRUE(RunIs(img, 2, 11, 96, 11, kLight2));  // (x+2, b-5) to (r-3, b-5)
    EXPECT_TRUE(RunIs(img, 97, 11, 97, 4, kLight2));  // then up to (r-3, y+3)
    EXPECT_TRUE(RunIs(img, 2, 12, 97, 12, kLight1));  // (x+2, b-4) to (r-2, b-4)
    EXPECT_TRUE(RunIs(img, 2, 13, 97, 13, kBase));    // (x+2, b-3) to (r-2, b-3)
    EXPECT_TRUE(RunIs(img, 2, 14, 97, 14, kDark1));   // (x+2, b-2) to (r-2, b-2)
    EXPECT_TRUE(RunIs(img, 98, 14, 98, 2, kDark1));   // then up to (r-2, y+1)
    EXPECT_TRUE(RunIs(img, 2, 15, 98, 15, kDark2));   // (x+2, b-1) to (r-1, b-1)
    EXPECT_TRUE(RunIs(img, 99, 15, 99, 1, kDark2));   // then up to (r-1, y)
    // The pixels of column x+1.
    EXPECT_TRUE(PixelIs(img, 1, 1, kLight1));
    EXPECT_TRUE(PixelIs(img, 1, 2, kLight2));
    EXPECT_TRUE(PixelIs(img, 1, 12, kLight2));
    EXPECT_TRUE(PixelIs(img, 1, 13, kLight1));
    EXPECT_TRUE(PixelIs(img, 1, 14, kBase));
    EXPECT_TRUE(PixelIs(img, 1, 15, kDark1));
    EXPECT_TRUE(PixelIs(img, 1, 3, kLight3));
    // The two shadow columns right of the filled part, then the empty track.
    EXPECT_TRUE(RunIs(img, 100, 0, 100, 15, kShadowDark));
    EXPECT_TRUE(RunIs(img, 101, 0, 101, 15, kShadow));
    for (int y = 0; y < 16; ++y) {
        EXPECT_TRUE(RunIs(img, 102, y, 199, y, kLight3));
    }
}

TEST_F(ShadedProgressTest, UpperLimitFillsTheWidthAndLosesTheShadow)
{
    CShadedProgressCtrl c;
    horizontal(c, 200, 16);
    c.SetPos(100);
    const QImage img = render(c);
    EXPECT_TRUE(RunIs(img, 2, 0, 199, 0, kDark1));
    EXPECT_TRUE(RunIs(img, 199, 15, 199, 1, kDark2));
    EXPECT_TRUE(RunIs(img, 198, 14, 198, 2, kDark1));
    EXPECT_TRUE(RunIs(img, 2, 15, 198, 15, kDark2));
    EXPECT_EQ(count_colour(img, kShadowDark), 0);
    EXPECT_EQ(count_colour(img, kShadow), 0);
}

TEST_F(ShadedProgressTest, FillIsTruncatedAndSafeForWideRanges)
{
    EXPECT_EQ(FilledExtent(1, 0, 3, 200), 66);
    EXPECT_EQ(FilledExtent(2, 0, 3, 200), 133);
    EXPECT_EQ(FilledExtent(-75, -100, -50, 200), 100);
    // The difference of the limits does not fit an int; the double arithmetic is exact here.
    EXPECT_EQ(FilledExtent(1000000000, -2000000000, 2000000000, 200), 150);
    EXPECT_EQ(FilledExtent(INT_MAX, INT_MIN, INT_MAX, 200), 200);
    EXPECT_EQ(FilledExtent(INT_MIN, INT_MIN, INT_MAX, 200), 0);

    CShadedProgressCtrl c;
    horizontal(c, 200, 16);
    c.SetRange32(-2000000000, 2000000000);
    c.SetPos(1000000000);
    const QImage img = render(c);
    EXPECT_TRUE(RunIs(img, 150, 0, 150, 15, kShadowDark));
    EXPECT_TRUE(RunIs(img, 149, 15, 149, 1, kDark2));
}

TEST_F(ShadedProgressTest, EqualLimitsPaintAnEmptyTrack)
{
    EXPECT_EQ(FilledExtent(5, 5, 5, 200), 0);
    CShadedProgressCtrl h;
    horizontal(h, 200, 16);
    h.SetRange32(5, 5);
    h.SetPos(9);
    EXPECT_EQ(h.GetPos(), 5);
    EXPECT_EQ(count_colour(render(h), kLight3), 200 * 16);

    CShadedProgressCtrl v;
    vertical(v, 16, 200);
    v.SetRange32(0, 0);
    EXPECT_EQ(count_colour(render(v), kLight3), 16 * 200);
}

TEST_F(ShadedProgressTest, RangeAndPositionAreClampedAsByTheProgressControl)
{
    CShadedProgressCtrl c;
    int lower = -1;
    int upper = -1;
    c.GetRange(lower, upper);
    EXPECT_EQ(lower, 0);
    EXPECT_EQ(upper, 100);
    EXPECT_EQ(c.SetPos(40), 0);
    EXPECT_EQ(c.SetPos(150), 40);
    EXPECT_EQ(c.GetPos(), 100);
    EXPECT_EQ(c.SetPos(-5), 100);
    EXPECT_EQ(c.GetPos(), 0);
    c.SetPos(80);
    c.SetRange32(0, 50);  // a narrower range pulls the position in
    EXPECT_EQ(c.GetPos(), 50);
    EXPECT_EQ(c.value(), 50);
    c.SetRange32(60, 200);
    EXPECT_EQ(c.GetPos(), 60);
    EXPECT_EQ(c.minimum(), 60);
    EXPECT_EQ(c.maximum(), 200);
    // An upside-down range leaves the position at the upper limit and the bar full.
    c.SetRange32(10, 0);
    EXPECT_EQ(c.GetPos(), 0);
    horizontal(c, 100, 16);
    EXPECT_TRUE(RunIs(render(c), 99, 15, 99, 1, kDark2));
}

TEST_F(ShadedProgressTest, VerticalTube)
{
    CShadedProgressCtrl c;
    vertical(c, 16, 200);
    c.SetPos(50);  // filled part x = 0, r = 16, y = 100, b = 200
    const QImage img = render(c);
    for (int y = 0; y < 100; ++y) {
        EXPECT_TRUE(RunIs(img, 0, y, 15, y, kLight3));
    }
    EXPECT_TRUE(RunIs(img, 0, 100, 15, 100, kBase));  // (x, y+1) to (x, y) to (r, y)
    // Row y+1: the single pixels.
    const COLORREF row101[16] = {kBase, kLight1, kLight2, kLight3, kLight3, kLight3, kLight3, kLight3,
                                 kLight3, kLight3, kLight3, kLight3, kLight2, kLight1, kBase, kDark1};
    for (int x = 0; x < 16; ++x) {
        EXPECT_TRUE(PixelIs(img, x, 101, row101[x]));
    }
    EXPECT_TRUE(RunIs(img, 0, 199, 0, 102, kDark1));   // (x, b-1) to (x, y+1)
    EXPECT_TRUE(RunIs(img, 1, 198, 1, 102, kBase));    // (x+1, b-2) to (x+1, y+1)
    EXPECT_TRUE(RunIs(img, 2, 197, 2, 102, kLight1));  // (x+2, b-3) to (x+2, y+1)
    EXPECT_TRUE(RunIs(img, 3, 197, 3, 102, kLight2));
    EXPECT_TRUE(RunIs(img, 4, 197, 10, 197, kLight3));
    EXPECT_TRUE(RunIs(img, 11, 197, 11, 102, kLight2));  // (r-5, b-3) to (r-5, y+1)
    EXPECT_TRUE(RunIs(img, 12, 197, 12, 102, kLight1));
    EXPECT_TRUE(RunIs(img, 13, 197, 13, 102, kBase));
    EXPECT_TRUE(RunIs(img, 2, 198, 13, 198, kDark1));    // (x+2, b-2) to (r-2, b-2)
    EXPECT_TRUE(RunIs(img, 14, 198, 14, 102, kDark1));   // then up to (r-2, y+1)
    EXPECT_TRUE(RunIs(img, 1, 199, 14, 199, kDark2));    // (x+1, b-1) to (r-1, b-1)
    EXPECT_TRUE(RunIs(img, 15, 199, 15, 102, kDark2));   // then up to (r-1, y+1)
    EXPECT_EQ(count_colour(img, kShadowDark), 0);        // no shadow beyond a vertical bar
}

TEST_F(ShadedProgressTest, ShortVerticalBarIsAPlainRectangle)
{
    CShadedProgressCtrl c;
    vertical(c, 16, 200);
    c.SetRange32(0, 200);

    c.SetPos(1);
    QImage img = render(c);
    EXPECT_TRUE(RunIs(img, 0, 199, 15, 199, kDark1));
    EXPECT_EQ(count_colour(img, kLight3), 16 * 199);

    c.SetPos(2);
    img = render(c);
    EXPECT_TRUE(RunIs(img, 0, 198, 15, 198, kDark1));
    EXPECT_TRUE(RunIs(img, 0, 199, 15, 199, kDark1));

    c.SetPos(3);
    img = render(c);
    EXPECT_TRUE(RunIs(img, 0, 197, 15, 197, kDark1));
    EXPECT_TRUE(PixelIs(img, 0, 198, kDark1));
    EXPECT_TRUE(RunIs(img, 1, 198, 14, 198, kBase));
    EXPECT_TRUE(PixelIs(img, 15, 198, kDark1));
    EXPECT_TRUE(RunIs(img, 0, 199, 15, 199, kDark1));
    EXPECT_EQ(count_colour(img, kLight3), 16 * 197);

    c.SetPos(4);  // four rows: the tube
    img = render(c);
    EXPECT_TRUE(RunIs(img, 0, 196, 15, 196, kBase));
    EXPECT_TRUE(PixelIs(img, 1, 197, kLight1));
}

TEST_F(ShadedProgressTest, HorizontalStripesFollowThePattern)
{
    CShadedProgressCtrl c;
    horizontal(c, 400, 20);
    c.SetPos(70);
    c.SetIdleAnimation(TRUE);
    EXPECT_EQ(c.GetAnimPhase(), 0);
    for (int phase = 0; phase < 20; ++phase) {
        const QImage img = render(c);
        // Line d of stripe k runs from (p - 19 + 20k + d, 0) down and to the right. Stripe 0 is
        // the first: in the lower left corner, left of its first line, the track shows.
        for (int y = 0; y < 20; ++y) {
            for (int x = 0; x < 400; ++x) {
                const int along = x - y - phase + 19;
                ASSERT_EQ(pixel_at(img, x, y), along < 0 ? kLight3 : stripe_colour(along % 20))
                    << "phase " << phase << " at " << x << "," << y;
            }
        }
        c.OnTimer(CShadedProgressCtrl::ANIM_TIMER_ID);
    }
    EXPECT_EQ(c.GetAnimPhase(), 0);  // back to 0 after 19
}

TEST_F(ShadedProgressTest, VerticalStripesFollowThePattern)
{
    CShadedProgressCtrl c;
    vertical(c, 20, 400);
    c.SetIdleAnimation(TRUE);
    for (int phase : {0, 1, 13}) {
        while (c.GetAnimPhase() != phase) {
            c.OnTimer(CShadedProgressCtrl::ANIM_TIMER_ID);
        }
        const QImage img = render(c);
        // Line d of stripe k runs from (0, 400 - p - 20k + d) down and to the right.
        for (int y = 0; y < 400; ++y) {
            for (int x = 0; x < 20; ++x) {
                ASSERT_EQ(pixel_at(img, x, y), stripe_colour(mod20(y - x + phase)))
                    << "phase " << phase << " at " << x << "," << y;
            }
        }
    }
    // At phase 0 the top right corner comes from the last of the 400 / 20 + 2 stripes.
    c.SetIdleAnimation(TRUE);
    const QImage img = render(c);
    EXPECT_TRUE(PixelIs(img, 19, 0, kDark1));
    EXPECT_TRUE(PixelIs(img, 16, 0, kLight2));
}

TEST_F(ShadedProgressTest, FourHundredPixelsDrawTwentyTwoStripes)
{
    ProbeProgress c;
    horizontal(c, 400, 20);
    c.SetIdleAnimation(TRUE);
    // Drawn on a wider surface, the stripes that the control's own edge clips become visible:
    // the first starts at -19 and shows only in the lower rows, the 22nd starts at 401.
    CMemoryDC dc(460, 20);
    dc.FillSolidRect({0, 0, 460, 20}, kLight3);
    c.DrawHorizontalBar(dc, {0, 0, 400, 20});
    int top = 0;
    int bottom = 0;
    for (int x = 0; x < 460; ++x) {
        top += dc.GetPixel(x, 0) == kDark2 ? 1 : 0;
        bottom += dc.GetPixel(x, 19) == kDark2 ? 1 : 0;
    }
    EXPECT_EQ(top, 21);     // stripes 1 to 21 start at 1, 21, ..., 401
    EXPECT_EQ(bottom, 22);  // stripes 0 to 21 reach 0, 20, ..., 420 on the last row
    EXPECT_EQ(dc.GetPixel(401, 0), kDark2);
    EXPECT_EQ(dc.GetPixel(421, 0), kLight3);
}

TEST_F(ShadedProgressTest, AnimationMovesOnePixelPerTickAndRepeatsAfterTwenty)
{
    CShadedProgressCtrl h;
    horizontal(h, 400, 20);
    h.SetIdleAnimation(TRUE);
    const QImage phase0 = render(h);
    h.OnTimer(CShadedProgressCtrl::ANIM_TIMER_ID);
    const QImage phase1 = render(h);
    for (int y = 0; y < 20; ++y) {
        for (int x = 1; x < 400; ++x) {
            ASSERT_EQ(pixel_at(phase1, x, y), pixel_at(phase0, x - 1, y)) << x << "," << y;
        }
    }
    for (int tick = 1; tick < 20; ++tick) {
        h.OnTimer(CShadedProgressCtrl::ANIM_TIMER_ID);
    }
    EXPECT_EQ(render(h), phase0);

    CShadedProgressCtrl v;
    vertical(v, 20, 400);
    v.SetIdleAnimation(TRUE);
    const QImage v0 = render(v);
    v.OnTimer(CShadedProgressCtrl::ANIM_TIMER_ID);
    const QImage v1 = render(v);
    for (int y = 0; y < 399; ++y) {
        for (int x = 0; x < 20; ++x) {
            ASSERT_EQ(pixel_at(v1, x, y), pixel_at(v0, x, y + 1)) << x << "," << y;
        }
    }
}

TEST_F(ShadedProgressTest, OtherTimersChangeNothing)
{
    CShadedProgressCtrl c;
    horizontal(c, 200, 16);
    c.SetIdleAnimation(TRUE);
    c.OnTimer(CShadedProgressCtrl::ANIM_TIMER_ID);
    c.OnTimer(CShadedProgressCtrl::ANIM_TIMER_ID);
    const QImage before = render(c);

    c.OnTimer(1);
    c.OnTimer(275);
    const int foreign = c.startTimer(100000);
    ASSERT_NE(foreign, 0);
    QTimerEvent event(foreign);
    QApplication::sendEvent(&c, &event);
    c.killTimer(foreign);

    EXPECT_EQ(c.GetAnimPhase(), 2);
    EXPECT_EQ(render(c), before);
}

TEST_F(ShadedProgressTest, IdleAnimationRunsOnItsTimerAndStopsWhenSwitchedOff)
{
    CShadedProgressCtrl c;
    horizontal(c, 200, 16);
    c.SetPos(25);
    const QImage position = render(c);
    c.show();
    c.SetIdleAnimation(TRUE);
    EXPECT_TRUE(c.GetIdleAnimation());
    EXPECT_TRUE(QTest::qWaitFor([&] { return c.GetAnimPhase() >= 2; }, 10000));

    c.SetIdleAnimation(FALSE);
    const int stopped = c.GetAnimPhase();
    QTest::qWait(150);  // six periods: enough for ticks to show, were the timer still running
    EXPECT_EQ(c.GetAnimPhase(), stopped);
    EXPECT_EQ(c.GetPos(), 25);
    EXPECT_EQ(render(c), position);  // the position survives the animation
    EXPECT_EQ(c.grab().toImage().convertToFormat(QImage::Format_RGB32), position);

    c.SetIdleAnimation(TRUE);  // switching on again starts at phase 0
    EXPECT_EQ(c.GetAnimPhase(), 0);
}

TEST_F(ShadedProgressTest, NavyHighlightTones)
{
    QPalette saved = QApplication::palette();
    QPalette navy = saved;
    navy.setColor(QPalette::Highlight, QColor(0, 0, 128));
    QApplication::setPalette(navy);
    UseSysColorsFromPalette(true);
    CShadedProgressCtrl c;
    UseSysColorsFromPalette(false);
    QApplication::setPalette(saved);

    horizontal(c, 200, 16);
    c.SetPos(50);
    const QImage img = render(c);
    EXPECT_TRUE(RunIs(img, 2, 1, 98, 1, RGB(0, 0, 128)));       // base
    EXPECT_TRUE(RunIs(img, 2, 2, 97, 2, RGB(51, 51, 179)));     // light 1
    EXPECT_TRUE(RunIs(img, 2, 3, 97, 3, RGB(102, 102, 230)));   // light 2
    EXPECT_TRUE(RunIs(img, 2, 6, 96, 6, RGB(153, 153, 230)));   // light 3, the track
    EXPECT_TRUE(RunIs(img, 2, 0, 99, 0, RGB(0, 0, 77)));        // dark 1
    EXPECT_TRUE(RunIs(img, 2, 15, 98, 15, RGB(0, 0, 26)));      // dark 2
    EXPECT_TRUE(RunIs(img, 150, 0, 150, 15, RGB(153, 153, 230)));
}

namespace {

// Counts the paint events a widget receives.
class PaintCounter : public QObject {
public:
    int paints = 0;
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint) {
            ++paints;
        }
        return false;
    }
};

}  // namespace

TEST_F(ShadedProgressTest, PositionChangesPaintLaterAndOnlyWhenTheFillMoves)
{
    CShadedProgressCtrl c;
    horizontal(c, 400, 16);
    c.SetRange32(0, 33600000);  // a 10-minute AC-3 file in bytes: 84,000 bytes per pixel
    c.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&c));
    PaintCounter counter;
    c.installEventFilter(&counter);
    QApplication::processEvents();
    counter.paints = 0;

    // One frame's step: the position and its mirror move, but nothing is painted, neither at once
    // (QProgressBar would repaint inside setValue) nor later (the bar is as long as before).
    c.SetPos(1792);
    EXPECT_EQ(counter.paints, 0);
    EXPECT_EQ(c.GetPos(), 1792);
    EXPECT_EQ(c.value(), 1792);
    QApplication::processEvents();
    EXPECT_EQ(counter.paints, 0);

    // Past a pixel's worth: one paint, on the next pass of the event loop.
    c.SetPos(84000 * 3);
    EXPECT_EQ(counter.paints, 0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return counter.paints > 0; }, 5000));
    EXPECT_EQ(counter.paints, 1);
    EXPECT_EQ(c.value(), 84000 * 3);
    EXPECT_TRUE(c.updatesEnabled());

    // A new range redraws (the same position fills another share of the track).
    counter.paints = 0;
    c.SetRange32(0, 84000 * 6);
    EXPECT_EQ(counter.paints, 0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return counter.paints > 0; }, 5000));
    EXPECT_EQ(c.maximum(), 84000 * 6);
    c.removeEventFilter(&counter);
}
