// The drawing helper against GDI's rules: where lines start and end, the rounded rectangle's
// corners, the focus frame's dots, clipping, saved state and text.
#include <QFontMetrics>
#include <QPainter>
#include <climits>

#include "controls/memory_dc.h"
#include "pixels.h"

namespace {

constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kRed = RGB(200, 0, 0);
constexpr COLORREF kBlue = RGB(0, 0, 220);
constexpr COLORREF kFace = RGB(212, 208, 200);

CMemoryDC white_dc(int w, int h)
{
    CMemoryDC dc(w, h);
    dc.FillSolidRect({0, 0, w, h}, kWhite);
    return dc;
}

}  // namespace

TEST(MemoryDCLines, DrawTheStartPixelAndLeaveOutTheEndPixel)
{
    CMemoryDC dc = white_dc(12, 12);
    CPen pen;
    ASSERT_TRUE(pen.CreatePen(PS_SOLID, 1, kRed));
    dc.SelectObject(pen);

    dc.MoveTo(2, 5);
    dc.LineTo(8, 5);
    EXPECT_TRUE(RunIs(dc.Image(), 2, 5, 7, 5, kRed));
    EXPECT_TRUE(PixelIs(dc.Image(), 8, 5, kWhite));
    EXPECT_TRUE(PixelIs(dc.Image(), 1, 5, kWhite));

    // Drawn backwards the other end is the one left out.
    dc.MoveTo(9, 1);
    dc.LineTo(3, 1);
    EXPECT_TRUE(RunIs(dc.Image(), 9, 1, 4, 1, kRed));
    EXPECT_TRUE(PixelIs(dc.Image(), 3, 1, kWhite));

    dc.MoveTo(10, 10);
    dc.LineTo(10, 3);
    EXPECT_TRUE(RunIs(dc.Image(), 10, 10, 10, 4, kRed));
    EXPECT_TRUE(PixelIs(dc.Image(), 10, 3, kWhite));
}

TEST(MemoryDCLines, AChainContinuesFromTheLastEndPoint)
{
    CMemoryDC dc = white_dc(10, 10);
    CPen pen;
    pen.CreatePen(PS_SOLID, 1, kRed);
    dc.SelectObject(pen);
    dc.MoveTo(1, 1);
    dc.LineTo(5, 1);
    dc.LineTo(5, 4);  // starts on (5, 1), which the first segment left out
    dc.LineTo(2, 4);
    EXPECT_TRUE(RunIs(dc.Image(), 1, 1, 5, 1, kRed));
    EXPECT_TRUE(RunIs(dc.Image(), 5, 2, 5, 4, kRed));
    EXPECT_TRUE(RunIs(dc.Image(), 4, 4, 3, 4, kRed));
    EXPECT_TRUE(PixelIs(dc.Image(), 2, 4, kWhite));
    EXPECT_EQ(count_colour(dc.Image(), kRed), 5 + 3 + 2);
}

TEST(MemoryDCLines, DiagonalsStepOnePixelInEachDirection)
{
    CMemoryDC dc = white_dc(10, 10);
    CPen pen;
    pen.CreatePen(PS_SOLID, 1, kRed);
    dc.SelectObject(pen);
    dc.MoveTo(0, 0);
    dc.LineTo(4, 4);
    for (int i = 0; i < 4; ++i) {
        EXPECT_TRUE(PixelIs(dc.Image(), i, i, kRed));
    }
    EXPECT_TRUE(PixelIs(dc.Image(), 4, 4, kWhite));

    dc.MoveTo(6, 8);  // up and to the right, as the pressed bevel's corner
    dc.LineTo(8, 6);
    EXPECT_TRUE(PixelIs(dc.Image(), 6, 8, kRed));
    EXPECT_TRUE(PixelIs(dc.Image(), 7, 7, kRed));
    EXPECT_TRUE(PixelIs(dc.Image(), 8, 6, kWhite));
    EXPECT_EQ(count_colour(dc.Image(), kRed), 6);
}

TEST(MemoryDCLines, AreClippedAndSafeFarOutside)
{
    CMemoryDC dc = white_dc(8, 4);
    CPen pen;
    pen.CreatePen(PS_SOLID, 1, kRed);
    dc.SelectObject(pen);
    dc.MoveTo(-5, 1);
    dc.LineTo(5, 1);
    EXPECT_TRUE(RunIs(dc.Image(), 0, 1, 4, 1, kRed));
    EXPECT_TRUE(PixelIs(dc.Image(), 5, 1, kWhite));

    // Coordinates whose difference overflows an int draw the visible part and return at once.
    dc.MoveTo(INT_MIN + 1, 2);
    dc.LineTo(INT_MAX, 2);
    EXPECT_TRUE(RunIs(dc.Image(), 0, 2, 7, 2, kRed));
    dc.MoveTo(3, INT_MAX);
    dc.LineTo(3, INT_MIN);
    EXPECT_TRUE(RunIs(dc.Image(), 3, 0, 3, 3, kRed));

    EXPECT_EQ(dc.SetPixel(8, 0, kRed), CLR_INVALID);
    EXPECT_EQ(dc.GetPixel(-1, 0), CLR_INVALID);
    EXPECT_EQ(dc.GetPixel(0, 0), kWhite);
}

TEST(MemoryDCLines, ANullPenOrAZeroLengthLineDrawsNothingButMoves)
{
    CMemoryDC dc = white_dc(8, 8);
    dc.SelectStockObject(NULL_PEN);
    dc.MoveTo(0, 0);
    dc.LineTo(6, 0);
    dc.SelectStockObject(BLACK_PEN);
    dc.LineTo(6, 0);
    EXPECT_EQ(count_colour(dc.Image(), RGB(0, 0, 0)), 0);
    dc.LineTo(6, 3);  // from (6, 0), where the null pen's line ended
    EXPECT_TRUE(RunIs(dc.Image(), 6, 0, 6, 2, RGB(0, 0, 0)));
}

TEST(MemoryDCShapes, RoundRectHasGdiSixBySixCorners)
{
    CMemoryDC dc = white_dc(24, 14);
    CPen pen;
    pen.CreatePen(PS_SOLID, 1, RGB(0, 0, 0));
    const CBrush brush(kRed);
    dc.SelectObject(pen);
    dc.SelectObject(brush);
    dc.RoundRect(1, 1, 21, 13, 6, 6);  // x = 1, y = 1, r = 21, b = 13
    const QImage& img = dc.Image();
    const COLORREF black = RGB(0, 0, 0);

    // Top left: a three-pixel diagonal step, the corner pixels themselves outside.
    EXPECT_TRUE(PixelIs(img, 1, 1, kWhite));
    EXPECT_TRUE(PixelIs(img, 2, 1, kWhite));
    EXPECT_TRUE(PixelIs(img, 1, 2, kWhite));
    EXPECT_TRUE(RunIs(img, 3, 1, 18, 1, black));  // x+2 .. r-3
    EXPECT_TRUE(PixelIs(img, 2, 2, black));       // x+1, y+1
    EXPECT_TRUE(RunIs(img, 1, 3, 1, 10, black));  // y+2 .. b-3
    EXPECT_TRUE(PixelIs(img, 3, 2, kRed));
    EXPECT_TRUE(PixelIs(img, 2, 3, kRed));
    // Top right, bottom right and bottom left mirror it.
    EXPECT_TRUE(PixelIs(img, 19, 1, kWhite));
    EXPECT_TRUE(PixelIs(img, 19, 2, black));
    EXPECT_TRUE(RunIs(img, 20, 3, 20, 10, black));
    EXPECT_TRUE(PixelIs(img, 20, 2, kWhite));
    EXPECT_TRUE(PixelIs(img, 19, 11, black));
    EXPECT_TRUE(PixelIs(img, 20, 11, kWhite));
    EXPECT_TRUE(RunIs(img, 3, 12, 18, 12, black));
    EXPECT_TRUE(PixelIs(img, 2, 12, kWhite));
    EXPECT_TRUE(PixelIs(img, 2, 11, black));
    EXPECT_TRUE(PixelIs(img, 1, 11, kWhite));
    EXPECT_TRUE(PixelIs(img, 18, 11, kRed));
    // Nothing outside the rectangle; the rest of the inside is the brush.
    EXPECT_TRUE(RunIs(img, 0, 0, 0, 13, kWhite));
    EXPECT_TRUE(RunIs(img, 21, 0, 21, 13, kWhite));
    EXPECT_TRUE(RunIs(img, 0, 13, 23, 13, kWhite));
    const int outline = 16 * 2 + 8 * 2 + 4;  // edges plus one diagonal pixel per corner
    EXPECT_EQ(count_colour(img, black), outline);
    EXPECT_EQ(count_colour(img, kRed), 20 * 12 - outline - 3 * 4);
}

TEST(MemoryDCShapes, NullBrushKeepsTheInsideAndNullPenFillsOnePixelLess)
{
    CMemoryDC dc = white_dc(12, 12);
    dc.SelectStockObject(NULL_BRUSH);
    dc.Rectangle(0, 0, 10, 10);
    EXPECT_EQ(count_colour(dc.Image(), RGB(0, 0, 0)), 36);
    EXPECT_TRUE(PixelIs(dc.Image(), 5, 5, kWhite));

    CMemoryDC filled = white_dc(12, 12);
    const CBrush brush(kBlue);
    filled.SelectObject(brush);
    filled.SelectStockObject(NULL_PEN);
    filled.Rectangle(0, 0, 10, 10);
    EXPECT_EQ(count_colour(filled.Image(), kBlue), 81);
    EXPECT_TRUE(PixelIs(filled.Image(), 8, 8, kBlue));
    EXPECT_TRUE(PixelIs(filled.Image(), 9, 9, kWhite));
}

TEST(MemoryDCShapes, RectangleOfOneToThreeRows)
{
    CMemoryDC dc = white_dc(10, 10);
    CPen pen;
    pen.CreatePen(PS_SOLID, 1, kRed);
    const CBrush brush(kBlue);
    dc.SelectObject(pen);
    dc.SelectObject(brush);
    dc.Rectangle(0, 0, 6, 1);
    EXPECT_TRUE(RunIs(dc.Image(), 0, 0, 5, 0, kRed));
    dc.Rectangle(0, 2, 6, 5);
    EXPECT_TRUE(RunIs(dc.Image(), 0, 2, 5, 2, kRed));
    EXPECT_TRUE(PixelIs(dc.Image(), 0, 3, kRed));
    EXPECT_TRUE(RunIs(dc.Image(), 1, 3, 4, 3, kBlue));
    EXPECT_TRUE(PixelIs(dc.Image(), 5, 3, kRed));
    EXPECT_TRUE(RunIs(dc.Image(), 0, 4, 5, 4, kRed));
    EXPECT_TRUE(RunIs(dc.Image(), 6, 0, 6, 9, kWhite));
}

TEST(MemoryDCFocusRect, InvertsEveryOtherPixelOfTheFrameAndUndoesItself)
{
    CMemoryDC dc(20, 12);
    dc.FillSolidRect({0, 0, 20, 12}, kFace);
    const QImage before = dc.Image().copy();
    const COLORREF inverted = RGB(255 - 212, 255 - 208, 255 - 200);
    dc.DrawFocusRect({4, 3, 16, 9});
    const QImage& img = dc.Image();

    // Top row 3: dots where x + y is even.
    EXPECT_TRUE(PixelIs(img, 4, 3, kFace));
    EXPECT_TRUE(PixelIs(img, 5, 3, inverted));
    EXPECT_TRUE(PixelIs(img, 15, 3, inverted));
    // Bottom row 8, left column 4 and right column 15.
    EXPECT_TRUE(PixelIs(img, 4, 8, inverted));
    EXPECT_TRUE(PixelIs(img, 5, 8, kFace));
    EXPECT_TRUE(PixelIs(img, 4, 4, inverted));
    EXPECT_TRUE(PixelIs(img, 4, 5, kFace));
    EXPECT_TRUE(PixelIs(img, 15, 5, inverted));
    EXPECT_TRUE(PixelIs(img, 15, 4, kFace));
    // Inside and outside untouched.
    EXPECT_TRUE(PixelIs(img, 6, 6, kFace));
    EXPECT_TRUE(PixelIs(img, 3, 4, kFace));
    EXPECT_TRUE(PixelIs(img, 16, 5, kFace));
    EXPECT_TRUE(PixelIs(img, 5, 9, kFace));
    EXPECT_EQ(count_colour(img, inverted), 6 + 6 + 2 + 2);  // 12 + 12 + 4 + 4 frame pixels, half lit

    dc.DrawFocusRect({4, 3, 16, 9});
    EXPECT_EQ(dc.Image(), before);
}

TEST(MemoryDCFill, FillSolidRectClipsAndBecomesTheBackgroundColour)
{
    CMemoryDC dc(6, 6);
    dc.FillSolidRect({-3, -3, 2, 2}, kRed);
    EXPECT_EQ(count_colour(dc.Image(), kRed), 4);
    EXPECT_EQ(dc.SetBkColor(kWhite), kRed);
    dc.FillRect({0, 0, 6, 6}, CBrush(kBlue));
    EXPECT_EQ(dc.SetBkColor(kWhite), kWhite);  // FillRect leaves the background colour alone
    EXPECT_EQ(count_colour(dc.Image(), kBlue), 36);
}

TEST(MemoryDCState, RestoreDCBringsBackThePenAndBrush)
{
    CMemoryDC dc = white_dc(10, 4);
    CPen red;
    CPen blue;
    red.CreatePen(PS_SOLID, 1, kRed);
    blue.CreatePen(PS_SOLID, 1, kBlue);
    dc.SelectObject(red);
    const int saved = dc.SaveDC();
    dc.SelectObject(blue);
    dc.SaveDC();
    EXPECT_TRUE(dc.RestoreDC(saved));
    EXPECT_FALSE(dc.RestoreDC(-1));  // the later save went with it
    dc.MoveTo(0, 0);
    dc.LineTo(3, 0);
    EXPECT_TRUE(RunIs(dc.Image(), 0, 0, 2, 0, kRed));

    CPen never;  // a pen without a handle is not selected
    dc.SelectObject(never);
    dc.MoveTo(0, 2);
    dc.LineTo(3, 2);
    EXPECT_TRUE(RunIs(dc.Image(), 0, 2, 2, 2, kRed));
}

TEST(MemoryDCText, TransparentTextDrawsOnlyGlyphPixelsInTheTextColour)
{
    CMemoryDC dc(120, 30);
    dc.FillSolidRect({0, 0, 120, 30}, kFace);
    dc.SetTextColor(kBlue);
    dc.SetBkMode(TRANSPARENT);
    const CSize extent = dc.GetTextExtent("Exit");
    ASSERT_GT(extent.cx, 0);
    ASSERT_GT(extent.cy, 0);
    dc.DrawText("Exit", {10, 5, 10 + extent.cx, 5 + extent.cy}, DT_CENTER);
    int glyph = 0;
    for (int y = 0; y < 30; ++y) {
        for (int x = 0; x < 120; ++x) {
            const COLORREF c = dc.GetPixel(x, y);
            const bool inside = x >= 10 && x < 10 + extent.cx && y >= 5 && y < 5 + extent.cy;
            if (c == kBlue) {
                ++glyph;
                EXPECT_TRUE(inside) << x << "," << y;
            } else {
                EXPECT_EQ(c, kFace) << "no blended pixel at " << x << "," << y;
            }
        }
    }
    EXPECT_GT(glyph, 10);

    // Opaque mode fills the text cell with the background colour.
    dc.SetBkMode(OPAQUE);
    dc.SetBkColor(kWhite);
    dc.DrawText("Exit", {10, 5, 10 + extent.cx, 5 + extent.cy}, DT_LEFT);
    EXPECT_EQ(count_colour(dc.Image(), kWhite) + count_colour(dc.Image(), kBlue), extent.cx * extent.cy);
}

TEST(MemoryDCText, ClipsToTheRectangleUnlessTold)
{
    CMemoryDC clipped(200, 30);
    clipped.FillSolidRect({0, 0, 200, 30}, kWhite);
    clipped.SetBkMode(TRANSPARENT);
    clipped.DrawText("Cancel convert", {20, 2, 40, 28}, DT_LEFT);
    for (int y = 0; y < 30; ++y) {
        for (int x = 0; x < 200; ++x) {
            if (x < 20 || x >= 40) {
                ASSERT_EQ(clipped.GetPixel(x, y), kWhite) << x << "," << y;
            }
        }
    }
    EXPECT_GT(count_colour(clipped.Image(), RGB(0, 0, 0)), 0);

    CMemoryDC unclipped(200, 30);
    unclipped.FillSolidRect({0, 0, 200, 30}, kWhite);
    unclipped.SetBkMode(TRANSPARENT);
    unclipped.DrawText("Cancel convert", {20, 2, 40, 28}, DT_LEFT | DT_NOCLIP);
    EXPECT_GT(count_colour(unclipped.Image(), RGB(0, 0, 0)), count_colour(clipped.Image(), RGB(0, 0, 0)));
}

TEST(MemoryDCText, MnemonicAmpersandsAreTakenOut)
{
    auto draw = [](const QString& text, UINT format) {
        CMemoryDC dc(100, 24);
        dc.FillSolidRect({0, 0, 100, 24}, kWhite);
        dc.SetBkMode(TRANSPARENT);
        dc.DrawText(text, {2, 2, 98, 22}, format);
        return dc.Image().copy();
    };
    EXPECT_EQ(draw("&Exit", DT_LEFT), draw("Exit", DT_LEFT));
    EXPECT_EQ(draw("A&&B", DT_LEFT), draw("A&B", DT_LEFT | DT_NOPREFIX));
    EXPECT_NE(draw("&Exit", DT_LEFT | DT_NOPREFIX), draw("Exit", DT_LEFT));
}

TEST(MemoryDCCopy, BitBltReplacesTheDestinationInOneCopy)
{
    CMemoryDC dc(4, 3);
    dc.FillSolidRect({0, 0, 4, 3}, kRed);
    dc.SetPixel(3, 2, kBlue);
    QImage target(10, 10, QImage::Format_ARGB32);
    target.fill(QColor(0, 255, 0, 128));
    {
        QPainter painter(&target);
        dc.BitBlt(painter, 5, 6, 4, 3, 0, 0);
    }
    EXPECT_EQ(target.pixel(5, 6), qRgb(200, 0, 0));  // opaque, not blended with what was there
    EXPECT_EQ(target.pixel(8, 8), qRgb(0, 0, 220));
    EXPECT_EQ(target.pixel(4, 6), qRgba(0, 255, 0, 128));
    EXPECT_EQ(target.pixel(9, 9), qRgba(0, 255, 0, 128));
}
