// The shaded button's looks, pixel by pixel from its drawing tables, and its behaviour: the state
// the widget paints from, tones that follow a palette change, and double clicks.
#include <QApplication>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>

#include "controls/color_tones.h"
#include "controls/memory_dc.h"
#include "controls/shaded_button.h"
#include "controls/sys_colors.h"
#include "pixels.h"

namespace {

// A palette whose roles all differ, so that every tone is told apart in the pixels.
struct Tones {
    COLORREF highlight = RGB(250, 250, 250);
    COLORREF light = RGB(230, 220, 210);
    COLORREF face = RGB(200, 190, 180);
    COLORREF shadow = RGB(120, 110, 100);
    COLORREF darkShadow = RGB(40, 30, 20);
    COLORREF window = RGB(255, 255, 240);
    COLORREF frame = RGB(10, 0, 5);
    // Worked out by hand: the per-channel averages rounded down.
    COLORREF faceShadow = RGB(160, 150, 140);
    COLORREF shadowDark = RGB(80, 70, 60);
};

QColor qcolor(COLORREF c) { return QColor(GetRValue(c), GetGValue(c), GetBValue(c)); }

QPalette palette_of(const Tones& t)
{
    QPalette p = QApplication::palette();
    p.setColor(QPalette::Light, qcolor(t.highlight));
    p.setColor(QPalette::Midlight, qcolor(t.light));
    p.setColor(QPalette::Button, qcolor(t.face));
    p.setColor(QPalette::Dark, qcolor(t.shadow));
    p.setColor(QPalette::Shadow, qcolor(t.darkShadow));
    p.setColor(QPalette::Base, qcolor(t.window));
    p.setColor(QPalette::WindowText, qcolor(t.frame));
    return p;
}

COLORREF inverse(COLORREF c) { return ~c & 0x00FFFFFF; }

// Gives the tests the drawing steps and handlers the class keeps to itself.
class ProbeButton : public CShadedButton {
public:
    using CShadedButton::CShadedButton;
    using CShadedButton::DrawCaption;
};

QImage render(CShadedButton& button, UINT state, int w = 80, int h = 24)
{
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(qRgb(1, 2, 3));
    QPainter painter(&image);
    DRAWITEMSTRUCT dis;
    dis.itemState = state;
    dis.hDC = &painter;
    dis.rcItem = {0, 0, w, h};
    button.DrawItem(&dis);
    return image;
}

class ShadedButtonTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_saved = QApplication::palette();
        UseSysColorsFromPalette(true);
        QApplication::setPalette(palette_of(m_t));
    }
    void TearDown() override
    {
        QApplication::setPalette(m_saved);
        UseSysColorsFromPalette(false);
    }

    // The outline of RoundRect(0, 0, w, h, 6, 6) apart from the eight corner pixels.
    void expect_outline(const QImage& img, COLORREF c, int w = 80, int h = 24)
    {
        EXPECT_TRUE(RunIs(img, 3, 0, w - 4, 0, c));
        EXPECT_TRUE(RunIs(img, 3, h - 1, w - 4, h - 1, c));
        EXPECT_TRUE(RunIs(img, 0, 3, 0, h - 4, c));
        EXPECT_TRUE(RunIs(img, w - 1, 3, w - 1, h - 4, c));
        EXPECT_TRUE(PixelIs(img, 1, 1, c));
        EXPECT_TRUE(PixelIs(img, w - 2, 1, c));
        EXPECT_TRUE(PixelIs(img, 1, h - 2, c));
        EXPECT_TRUE(PixelIs(img, w - 2, h - 2, c));
    }
    void expect_corner_pixels(const QImage& img, COLORREF c, int w = 80, int h = 24)
    {
        for (auto [x, y] : {std::pair{0, 2}, {2, 0}, {w - 3, 0}, {w - 1, 2}, {w - 1, h - 3}, {w - 3, h - 1},
                            {2, h - 1}, {0, h - 3}}) {
            EXPECT_TRUE(PixelIs(img, x, y, c));
        }
    }
    // Outside the rounded outline the face colour of the first fill stays.
    void expect_outside_corners(const QImage& img, COLORREF c, int w = 80, int h = 24)
    {
        for (auto [x, y] : {std::pair{0, 0}, {1, 0}, {0, 1}, {w - 1, 0}, {w - 2, 0}, {w - 1, 1}, {0, h - 1},
                            {1, h - 1}, {0, h - 2}, {w - 1, h - 1}, {w - 2, h - 1}, {w - 1, h - 2}}) {
            EXPECT_TRUE(PixelIs(img, x, y, c));
        }
    }

    Tones m_t;
    QPalette m_saved;
};

}  // namespace

TEST_F(ShadedButtonTest, RaisedLook)
{
    CShadedButton button;
    const QImage img = render(button, 0);
    const Tones& t = m_t;
    // x = 0, y = 0, r = 80, b = 24.
    expect_outside_corners(img, t.face);
    expect_outline(img, t.frame);
    expect_corner_pixels(img, t.shadowDark);
    // Highlight: (x+2, b-4) up to (x+2, y+2), then along to (r-3, y+2); the pixel (x+3, y+3).
    EXPECT_TRUE(RunIs(img, 2, 20, 2, 3, t.highlight));
    EXPECT_TRUE(RunIs(img, 2, 2, 76, 2, t.highlight));
    EXPECT_TRUE(PixelIs(img, 77, 2, t.face));
    EXPECT_TRUE(PixelIs(img, 3, 3, t.highlight));
    EXPECT_TRUE(PixelIs(img, 4, 3, t.face));
    // Face shadow: (x+3, b-3) to (r-4, b-3) to (r-4, b-4) to (r-3, b-4) to (r-3, y+2).
    EXPECT_TRUE(RunIs(img, 3, 21, 75, 21, t.faceShadow));
    EXPECT_TRUE(PixelIs(img, 76, 21, t.faceShadow));
    EXPECT_TRUE(PixelIs(img, 76, 20, t.faceShadow));
    EXPECT_TRUE(RunIs(img, 77, 20, 77, 3, t.faceShadow));
    // Shadow: (x+3, b-2) to (r-3, b-2) to (r-3, b-3) to (r-2, b-3) to (r-2, y+2).
    EXPECT_TRUE(RunIs(img, 3, 22, 76, 22, t.shadow));
    EXPECT_TRUE(PixelIs(img, 77, 22, t.shadow));
    EXPECT_TRUE(PixelIs(img, 77, 21, t.shadow));
    EXPECT_TRUE(RunIs(img, 78, 21, 78, 3, t.shadow));
    // The six face-shadow pixels at the rounded corners.
    for (auto [x, y] : {std::pair{1, 2}, {2, 1}, {77, 1}, {78, 2}, {2, 22}, {1, 21}}) {
        EXPECT_TRUE(PixelIs(img, x, y, t.faceShadow));
    }
    // The face inside, and nothing of the pressed tones.
    EXPECT_TRUE(RunIs(img, 3, 12, 76, 12, t.face));
    EXPECT_EQ(count_colour(img, t.light), 0);
}

TEST_F(ShadedButtonTest, PressedLook)
{
    CShadedButton button;
    const QImage img = render(button, ODS_SELECTED);
    const Tones& t = m_t;
    expect_outside_corners(img, t.face);
    expect_outline(img, t.frame);
    expect_corner_pixels(img, t.shadowDark);
    // Shadow dark: (x+1, b-4) to (x+1, y+2) to (x+2, y+2) to (x+2, y+1) to (r-3, y+1).
    EXPECT_TRUE(RunIs(img, 1, 20, 1, 3, t.shadowDark));
    EXPECT_TRUE(PixelIs(img, 1, 2, t.shadowDark));
    EXPECT_TRUE(RunIs(img, 2, 1, 76, 1, t.shadowDark));
    // Shadow: (x+2, b-4) to (x+2, y+3) to (x+3, y+3) to (x+3, y+2) to (r-3, y+2).
    EXPECT_TRUE(RunIs(img, 2, 20, 2, 4, t.shadow));
    EXPECT_TRUE(PixelIs(img, 2, 3, t.shadow));
    EXPECT_TRUE(PixelIs(img, 3, 3, t.shadow));
    EXPECT_TRUE(RunIs(img, 3, 2, 76, 2, t.shadow));
    EXPECT_TRUE(PixelIs(img, 2, 2, t.shadowDark));
    // Light: (x+3, b-2) to (r-4, b-2), the diagonal to (r-2, b-4), then up to (r-2, y+2).
    EXPECT_TRUE(RunIs(img, 3, 22, 75, 22, t.light));
    EXPECT_TRUE(PixelIs(img, 76, 22, t.light));
    EXPECT_TRUE(PixelIs(img, 77, 21, t.light));
    EXPECT_TRUE(RunIs(img, 78, 20, 78, 3, t.light));
    EXPECT_TRUE(PixelIs(img, 77, 22, t.faceShadow));  // inside the outline, which steps in at b-2
    // Face: (x+3, b-3) to (r-4, b-3) to (r-4, b-4) to (r-3, b-4) to (r-3, y+2).
    EXPECT_TRUE(RunIs(img, 3, 21, 75, 21, t.face));
    EXPECT_TRUE(PixelIs(img, 76, 21, t.face));
    EXPECT_TRUE(PixelIs(img, 76, 20, t.face));
    EXPECT_TRUE(RunIs(img, 77, 20, 77, 3, t.face));
    // The single pixels.
    EXPECT_TRUE(PixelIs(img, 78, 2, t.face));
    EXPECT_TRUE(PixelIs(img, 2, 22, t.face));
    EXPECT_TRUE(PixelIs(img, 77, 1, t.shadow));
    EXPECT_TRUE(PixelIs(img, 1, 21, t.shadow));
    // The pressed fill; no highlight anywhere without a caption.
    EXPECT_TRUE(RunIs(img, 4, 12, 76, 12, t.faceShadow));
    EXPECT_TRUE(RunIs(img, 4, 4, 4, 19, t.faceShadow));
    EXPECT_EQ(count_colour(img, t.highlight), 0);
}

TEST_F(ShadedButtonTest, DisabledLookHasNoBevel)
{
    CShadedButton button;
    const QImage img = render(button, ODS_DISABLED);
    expect_outside_corners(img, m_t.face);
    expect_outline(img, m_t.shadow);
    expect_corner_pixels(img, m_t.shadow);  // the plain outline, not softened
    EXPECT_EQ(count_colour(img, m_t.shadow), 2 * 76 + 2 * 20 + 4);
    EXPECT_EQ(count_colour(img, m_t.face), 80 * 24 - (2 * 76 + 2 * 20 + 4));
}

TEST_F(ShadedButtonTest, FocusFrameFourPixelsIn)
{
    CShadedButton button;
    const QImage raised = render(button, 0);
    const QImage focused = render(button, ODS_FOCUS);
    // The frame (4, 4)-(76, 20) inverts every other pixel; everything else is the raised look.
    const COLORREF dot = inverse(m_t.face);
    int changed = 0;
    for (int y = 0; y < 24; ++y) {
        for (int x = 0; x < 80; ++x) {
            const bool onFrame = (x >= 4 && x <= 75 && (y == 4 || y == 19)) || (y >= 4 && y <= 19 && (x == 4 || x == 75));
            const bool lit = onFrame && (x + y) % 2 == 0;
            if (lit) {
                ++changed;
                EXPECT_EQ(pixel_at(focused, x, y), dot) << x << "," << y;
            } else {
                EXPECT_EQ(pixel_at(focused, x, y), pixel_at(raised, x, y)) << x << "," << y;
            }
        }
    }
    EXPECT_EQ(changed, 36 + 36 + 7 + 7);
}

TEST_F(ShadedButtonTest, FocusedPressedShowsBothBevelAndFrame)
{
    CShadedButton button;
    const QImage pressed = render(button, ODS_SELECTED);
    const QImage img = render(button, ODS_SELECTED | ODS_FOCUS);
    EXPECT_TRUE(PixelIs(img, 4, 4, inverse(m_t.faceShadow)));
    EXPECT_TRUE(PixelIs(img, 5, 4, m_t.faceShadow));
    EXPECT_TRUE(PixelIs(img, 75, 19, inverse(m_t.faceShadow)));  // bottom right corner of the frame
    EXPECT_TRUE(PixelIs(img, 74, 19, m_t.faceShadow));
    EXPECT_TRUE(RunIs(img, 2, 1, 76, 1, m_t.shadowDark));  // pressed bevel unchanged
    EXPECT_TRUE(PixelIs(img, 3, 3, m_t.shadow));
    EXPECT_EQ(pixel_at(img, 40, 12), pixel_at(pressed, 40, 12));
}

TEST_F(ShadedButtonTest, DefaultAndOtherStateBitsAreIgnored)
{
    CShadedButton button("OK");
    EXPECT_EQ(render(button, ODS_DEFAULT | 0x0100), render(button, 0));
    EXPECT_EQ(render(button, ODS_SELECTED | ODS_DEFAULT), render(button, ODS_SELECTED));
}

TEST_F(ShadedButtonTest, FlatLooks)
{
    CShadedButton button;
    button.ModifyStyle(0, BS_FLAT);
    EXPECT_TRUE(button.isFlat());
    EXPECT_EQ(button.GetStyle() & BS_FLAT, BS_FLAT);
    const COLORREF w = m_t.window;

    const QImage released = render(button, 0);
    expect_outside_corners(released, m_t.face);
    expect_outline(released, inverse(w));
    EXPECT_TRUE(PixelIs(released, 2, 0, inverse(w)));  // no corner pixels
    EXPECT_TRUE(PixelIs(released, 3, 3, w));
    EXPECT_TRUE(RunIs(released, 1, 12, 78, 12, w));

    const QImage pressed = render(button, ODS_SELECTED);
    expect_outline(pressed, inverse(w));
    EXPECT_TRUE(RunIs(pressed, 1, 12, 78, 12, inverse(w)));

    const QImage disabled = render(button, ODS_DISABLED);
    expect_outline(disabled, m_t.shadow);
    EXPECT_TRUE(RunIs(disabled, 1, 12, 78, 12, w));

    button.ModifyStyle(BS_FLAT, 0);
    EXPECT_FALSE(button.isFlat());
    CShadedButton plain;
    EXPECT_EQ(render(button, 0), render(plain, 0));
}

namespace {

QFont caption_font(const QWidget& w)
{
    QFont f = w.font();
    f.setStyleStrategy(QFont::NoAntialias);
    return f;
}

// The caption as it must look: the text alone in its colour on the fill, at (left, top).
QImage reference_caption(const QWidget& w, const QString& text, int width, int height, int left, int top,
                         COLORREF fill, COLORREF colour)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(qcolor(fill));
    QPainter painter(&image);
    painter.setFont(caption_font(w));
    painter.setPen(qcolor(colour));
    painter.drawText(QPoint(left, top + QFontMetrics(caption_font(w)).ascent()), text);
    return image;
}

}  // namespace

TEST_F(ShadedButtonTest, CaptionColourPerState)
{
    CShadedButton button("Start");
    const QFontMetrics metrics(caption_font(button));
    const int cx = metrics.horizontalAdvance("Start");
    const int cy = metrics.height();
    ASSERT_GT(cx, 0);
    ASSERT_LT(cy, 24 - 8);
    const int left = (80 - cx) >> 1;
    const int top = (24 - cy) >> 1;

    struct Case {
        UINT state;
        COLORREF fill;
        COLORREF caption;
    };
    const Case cases[] = {
        {0, m_t.face, RGB(0, 0, 0)},
        {ODS_SELECTED, m_t.faceShadow, m_t.highlight},
        {ODS_DISABLED, m_t.face, m_t.shadow},
        {ODS_DISABLED | ODS_SELECTED, m_t.faceShadow, m_t.shadow},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.state);
        const QImage img = render(button, c.state);
        const QImage expected = reference_caption(button, "Start", 80, 24, left, top, c.fill, c.caption);
        int glyph = 0;
        for (int y = 5; y < 19; ++y) {
            for (int x = 5; x < 75; ++x) {
                ASSERT_EQ(pixel_at(img, x, y), pixel_at(expected, x, y)) << x << "," << y;
                glyph += pixel_at(img, x, y) == c.caption ? 1 : 0;
            }
        }
        EXPECT_GT(glyph, 20);
    }
}

TEST_F(ShadedButtonTest, CaptionPlacedByTheAlignmentBits)
{
    ProbeButton button("Exit");
    const QFontMetrics metrics(caption_font(button));
    const int cx = metrics.horizontalAdvance("Exit");
    const int cy = metrics.height();
    const CRect item{0, 0, 121, 41};
    auto place = [&](DWORD style) {
        CMemoryDC dc(item.Width(), item.Height());
        CRect t = item;
        button.DrawCaption(dc, t, "Exit", style, 0);
        return t;
    };
    EXPECT_EQ(place(0), (CRect{(121 - cx) >> 1, (41 - cy) >> 1, ((121 - cx) >> 1) + cx, ((41 - cy) >> 1) + cy}));
    EXPECT_EQ(place(BS_LEFT).left, 5);
    EXPECT_EQ(place(BS_RIGHT).left, 121 - cx - 5);
    EXPECT_EQ(place(BS_RIGHT).right, 121 - 5);
    EXPECT_EQ(place(BS_LEFT | BS_RIGHT).left, (121 - cx) >> 1);
    EXPECT_EQ(place(BS_TOP).top, 5);
    EXPECT_EQ(place(BS_BOTTOM).top, 41 - cy - 5);
    EXPECT_EQ(place(BS_BOTTOM).bottom, 41 - 5);
    EXPECT_EQ(place(BS_TOP | BS_BOTTOM).top, (41 - cy) >> 1);
    EXPECT_EQ(place(BS_LEFT | BS_BOTTOM), (CRect{5, 41 - cy - 5, 5 + cx, 41 - 5}));

    // Drawn where it was placed: the left-aligned caption starts five pixels in.
    button.ModifyStyle(0, BS_LEFT | BS_TOP);
    EXPECT_EQ(button.GetStyle(), BS_LEFT | BS_TOP);
    const QImage img = render(button, 0, 121, 41);
    const QImage expected = reference_caption(button, "Exit", 121, 41, 5, 5, m_t.face, RGB(0, 0, 0));
    for (int y = 4; y < 30; ++y) {
        for (int x = 4; x < 110; ++x) {
            ASSERT_EQ(pixel_at(img, x, y), pixel_at(expected, x, y)) << x << "," << y;
        }
    }
}

TEST_F(ShadedButtonTest, WideCaptionIsCentredWithANegativeLeftEdgeAndClipped)
{
    const QString text = "Cancel the whole conversion now";
    ProbeButton button(text);
    const QFontMetrics metrics(caption_font(button));
    const int cx = metrics.horizontalAdvance(text);
    const int cy = metrics.height();
    ASSERT_GT(cx, 60);
    const int left = (40 - cx) >> 1;  // negative, rounded down
    const int top = (24 - cy) >> 1;

    CMemoryDC dc(40, 24);
    CRect t{0, 0, 40, 24};
    button.DrawCaption(dc, t, text, 0, 0);
    EXPECT_LT(t.left, 0);
    EXPECT_EQ(t.left, left);
    EXPECT_EQ(t.right, left + cx);

    // The middle of the long caption shows inside the button, its ends cut off by its edges.
    const QImage img = render(button, 0, 40, 24);
    const QImage wide = reference_caption(button, text, cx, 24, 0, top, m_t.face, RGB(0, 0, 0));
    int glyphLeft = 0;
    int glyphRight = 0;
    for (int y = 4; y < 20; ++y) {
        for (int x = 4; x < 36; ++x) {
            ASSERT_EQ(pixel_at(img, x, y), pixel_at(wide, x - left, y)) << x << "," << y;
            glyphLeft += x < 20 && pixel_at(img, x, y) == RGB(0, 0, 0) ? 1 : 0;
            glyphRight += x >= 20 && pixel_at(img, x, y) == RGB(0, 0, 0) ? 1 : 0;
        }
    }
    EXPECT_GT(glyphLeft, 0);
    EXPECT_GT(glyphRight, 0);
}

TEST_F(ShadedButtonTest, PaletteChangeRecomputesTonesAndPens)
{
    QWidget dialog;
    CShadedButton& button = *new CShadedButton(&dialog);
    dialog.show();
    QApplication::processEvents();
    const int pens = CPen::LiveCount();
    EXPECT_TRUE(PixelIs(render(button, 0), 3, 3, m_t.highlight));

    Tones next;
    next.highlight = RGB(255, 255, 200);
    next.light = RGB(190, 200, 210);
    next.face = RGB(192, 192, 192);
    next.shadow = RGB(128, 128, 128);
    next.darkShadow = RGB(64, 64, 64);
    next.frame = RGB(0, 0, 90);
    next.faceShadow = RGB(160, 160, 160);
    next.shadowDark = RGB(96, 96, 96);
    QApplication::setPalette(palette_of(next));
    QApplication::processEvents();  // Qt hands the change to the widgets from the event loop

    const QImage raised = render(button, 0);
    EXPECT_TRUE(PixelIs(raised, 3, 3, next.highlight));
    EXPECT_TRUE(RunIs(raised, 2, 2, 76, 2, next.highlight));
    EXPECT_TRUE(RunIs(raised, 3, 21, 75, 21, next.faceShadow));
    EXPECT_TRUE(RunIs(raised, 3, 22, 76, 22, next.shadow));
    EXPECT_TRUE(RunIs(raised, 3, 0, 76, 0, next.frame));
    EXPECT_TRUE(PixelIs(raised, 2, 0, next.shadowDark));
    EXPECT_TRUE(PixelIs(raised, 0, 0, next.face));
    const QImage pressed = render(button, ODS_SELECTED);
    EXPECT_TRUE(RunIs(pressed, 2, 1, 76, 1, next.shadowDark));
    EXPECT_TRUE(RunIs(pressed, 3, 22, 75, 22, next.light));
    EXPECT_TRUE(RunIs(pressed, 3, 21, 75, 21, next.face));
    EXPECT_TRUE(RunIs(pressed, 4, 12, 76, 12, next.faceShadow));
    // The old pens are gone, not kept beside the new ones.
    EXPECT_EQ(CPen::LiveCount(), pens);
}

TEST_F(ShadedButtonTest, OwnsSixPensForItsLife)
{
    const int before = CPen::LiveCount();
    {
        CShadedButton a;
        EXPECT_EQ(CPen::LiveCount(), before + 6);
        render(a, ODS_SELECTED);  // per-paint pens go with the paint
        render(a, 0);
        EXPECT_EQ(CPen::LiveCount(), before + 6);
        CShadedButton b;
        EXPECT_EQ(CPen::LiveCount(), before + 12);
    }
    EXPECT_EQ(CPen::LiveCount(), before);
}

TEST_F(ShadedButtonTest, WidgetPaintsFromItsOwnState)
{
    CShadedButton button("Go");
    button.resize(80, 24);
    EXPECT_EQ(button.ItemState(), 0u);
    EXPECT_EQ(button.grab().toImage().convertToFormat(QImage::Format_RGB32), render(button, 0));

    button.setDown(true);
    EXPECT_EQ(button.ItemState(), ODS_SELECTED);
    EXPECT_EQ(button.grab().toImage().convertToFormat(QImage::Format_RGB32), render(button, ODS_SELECTED));
    button.setDown(false);

    button.setEnabled(false);
    EXPECT_EQ(button.ItemState(), ODS_DISABLED);
    EXPECT_EQ(button.grab().toImage().convertToFormat(QImage::Format_RGB32), render(button, ODS_DISABLED));
    button.setEnabled(true);

    button.show();
    button.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&button));
    button.setFocus();
    EXPECT_EQ(button.ItemState(), ODS_FOCUS);
    button.setDown(true);
    EXPECT_EQ(button.ItemState(), ODS_FOCUS | ODS_SELECTED);
    EXPECT_EQ(button.grab().toImage().convertToFormat(QImage::Format_RGB32),
              render(button, ODS_FOCUS | ODS_SELECTED));
}

namespace {

void mouse(QWidget& w, QEvent::Type type, Qt::MouseButton button, Qt::MouseButtons held)
{
    const QPointF at(10, 10);
    QMouseEvent event(type, at, w.mapToGlobal(at), button, held, Qt::NoModifier);
    QApplication::sendEvent(&w, &event);
}

}  // namespace

TEST_F(ShadedButtonTest, DoubleClickCountsAsASecondPress)
{
    // Win32's order: down, up, double click, up.
    {
        CShadedButton button("Exit");
        button.resize(80, 24);
        QSignalSpy clicked(&button, &QAbstractButton::clicked);
        QSignalSpy pressed(&button, &QAbstractButton::pressed);
        mouse(button, QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton);
        mouse(button, QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton);
        mouse(button, QEvent::MouseButtonDblClick, Qt::LeftButton, Qt::LeftButton);
        EXPECT_TRUE(button.isDown());
        mouse(button, QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton);
        EXPECT_EQ(clicked.count(), 2);
        EXPECT_EQ(pressed.count(), 2);
    }
    // Qt's order: the second press arrives before the double click and is not doubled.
    {
        CShadedButton button("Exit");
        button.resize(80, 24);
        QSignalSpy clicked(&button, &QAbstractButton::clicked);
        QSignalSpy pressed(&button, &QAbstractButton::pressed);
        mouse(button, QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton);
        mouse(button, QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton);
        mouse(button, QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton);
        mouse(button, QEvent::MouseButtonDblClick, Qt::LeftButton, Qt::LeftButton);
        mouse(button, QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton);
        EXPECT_EQ(clicked.count(), 2);
        EXPECT_EQ(pressed.count(), 2);
    }
    // A right double click presses nothing.
    {
        CShadedButton button("Exit");
        button.resize(80, 24);
        QSignalSpy clicked(&button, &QAbstractButton::clicked);
        mouse(button, QEvent::MouseButtonDblClick, Qt::RightButton, Qt::RightButton);
        mouse(button, QEvent::MouseButtonRelease, Qt::RightButton, Qt::NoButton);
        EXPECT_FALSE(button.isDown());
        EXPECT_EQ(clicked.count(), 0);
    }
}

TEST(ShadedButtonClassic, ClassicColoursGiveTheClassicTones)
{
    UseSysColorsFromPalette(false);
    CShadedButton button;
    const QImage pressed = render(button, ODS_SELECTED);
    EXPECT_TRUE(RunIs(pressed, 4, 12, 76, 12, RGB(170, 168, 164)));  // face 212,208,200 with shadow 128
    EXPECT_TRUE(PixelIs(pressed, 2, 0, RGB(96, 96, 96)));             // shadow 128 with dark shadow 64
    EXPECT_TRUE(RunIs(pressed, 3, 0, 76, 0, RGB(0, 0, 0)));
    const QImage raised = render(button, 0);
    EXPECT_TRUE(PixelIs(raised, 3, 3, RGB(255, 255, 255)));
    EXPECT_TRUE(PixelIs(raised, 0, 0, RGB(212, 208, 200)));
}
