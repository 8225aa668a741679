// An off-screen drawing surface with GDI's rules, the size of the control it paints.
//
// The controls compose each paint here and copy the finished image to the screen in one step.
// Pixels land where GDI puts them: one-pixel solid pens, lines that draw their start pixel and
// leave out their end pixel, rectangles whose right and bottom lie outside, rounded rectangles
// with GDI's corner ellipses, the dotted XOR focus frame, and text drawn without antialiasing.
// Everything outside the image is clipped.
#pragma once

#include <QFont>
#include <QImage>
#include <QString>
#include <vector>

#include "controls/gdi_objects.h"
#include "controls/gdi_types.h"

class QPainter;

class CMemoryDC {
public:
    // A black image of the given size; black pen, white brush, black text on white, opaque
    // background mode and the application font, as a new GDI memory context has them.
    CMemoryDC(int width, int height);

    int Width() const { return m_image.width(); }
    int Height() const { return m_image.height(); }
    const QImage& Image() const { return m_image; }

    // Saves pen, brush, font, colours, background mode and current position; RestoreDC(-1)
    // restores the most recent save, RestoreDC(n) the save that returned n (and drops later ones).
    int SaveDC();
    BOOL RestoreDC(int saved);

    // Selection copies the object's colour; a pen or brush without a handle is not selected.
    void SelectObject(const CPen& pen);
    void SelectObject(const CBrush& brush);
    void SelectStockObject(int object);  // NULL_BRUSH, NULL_PEN or BLACK_PEN
    QFont SelectFont(const QFont& font); // returns the previous font
    COLORREF SetTextColor(COLORREF colour);
    COLORREF SetBkColor(COLORREF colour);
    int SetBkMode(int mode);

    CPoint MoveTo(int x, int y);
    BOOL LineTo(int x, int y);
    COLORREF SetPixel(int x, int y, COLORREF colour);
    COLORREF GetPixel(int x, int y) const;  // CLR_INVALID outside the image

    // Fills with the colour and leaves it as the background colour (MFC's way of doing it).
    void FillSolidRect(const CRect& rect, COLORREF colour);
    void FillRect(const CRect& rect, const CBrush& brush);
    // Outlined with the pen, filled with the brush. With the null pen GDI fills one pixel less to
    // the right and bottom, and so does this.
    BOOL Rectangle(int x1, int y1, int x2, int y2);
    BOOL RoundRect(int x1, int y1, int x2, int y2, int ellipseWidth, int ellipseHeight);
    // The dotted frame one pixel wide inside the rectangle, drawn by inverting every other pixel:
    // those whose x + y is even. Drawing it twice removes it.
    void DrawFocusRect(const CRect& rect);

    // One line of text in the selected font: its advance width and its height (ascent + descent).
    CSize GetTextExtent(const QString& text) const;
    // One line of text at the top of the rectangle, placed by DT_LEFT, DT_CENTER or DT_RIGHT and
    // clipped to it unless DT_NOCLIP. Mnemonic ampersands are taken out unless DT_NOPREFIX ("&&"
    // stays one "&"). Only glyph pixels are drawn in TRANSPARENT mode. Returns the text height.
    int DrawText(const QString& text, const CRect& rect, UINT format);

    // Copies a part of the image to the destination at (x, y), replacing what was there.
    void BitBlt(QPainter& dest, int x, int y, int width, int height, int xSrc, int ySrc) const;

private:
    struct State {
        bool penNull = false;
        COLORREF pen = 0;
        bool brushNull = false;
        COLORREF brush = RGB(255, 255, 255);
        COLORREF text = 0;
        COLORREF bk = RGB(255, 255, 255);
        int bkMode = OPAQUE;
        QFont font;
        CPoint pos;
    };

    void plot(int x, int y, COLORREF colour);
    void invert(int x, int y);
    void draw_shape(int x1, int y1, int x2, int y2, int ellipseWidth, int ellipseHeight);

    QImage m_image;
    State m_state;
    std::vector<State> m_saved;
};
