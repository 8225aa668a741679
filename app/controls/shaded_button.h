// CShadedButton: a push button with rounded corners and a bevel drawn pixel by pixel in six tones
// of the system colours, composed off screen and copied to the screen in one step.
//
// Clicking, keyboard handling and the clicked notification stay those of the push button; the
// class changes the look and makes the second click of a double click press the button again.
// The look follows only from the state bits of each paint: pressed, disabled, focused.
#pragma once

#include <QPushButton>

#include "controls/gdi_objects.h"
#include "controls/gdi_types.h"
#include "controls/owner_draw.h"

class CMemoryDC;

class CShadedButton : public QPushButton {
    Q_OBJECT

public:
    explicit CShadedButton(QWidget* parent = nullptr);
    explicit CShadedButton(const QString& text, QWidget* parent = nullptr);
    ~CShadedButton() override;

    // The window style: the alignment bits BS_LEFT, BS_RIGHT, BS_TOP, BS_BOTTOM as kept here, and
    // BS_FLAT as the push button's flat property.
    DWORD GetStyle() const;
    void ModifyStyle(DWORD remove, DWORD add);

    // The state bits of the button as it is now, as a paint request carries them.
    UINT ItemState() const;

    // Paints the whole button into the request's painter, whatever its action field says.
    void DrawItem(const DRAWITEMSTRUCT* dis);

protected:
    void InitTones();
    void CreateTonePens();
    void DeleteTonePens();

    void DrawFace(CMemoryDC& dc, const CRect& rc, DWORD style, UINT state);
    void DrawRaisedFrame(CMemoryDC& dc, const CRect& rc);
    void DrawPressedFrame(CMemoryDC& dc, const CRect& rc);
    void DrawCornerPixels(CMemoryDC& dc, const CRect& rc);
    // Places the text by the alignment bits into t (a copy of the item rectangle) and draws it.
    void DrawCaption(CMemoryDC& dc, CRect& t, const QString& caption, DWORD style, UINT state);

    // The counterpart of WM_SYSCOLORCHANGE: new tones and pens, no repaint of its own.
    void OnSysColorChange();
    // The second click of a double click presses the button like a single click.
    void OnLButtonDblClk(UINT flags, CPoint point);

    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

    CPen m_penHighlight;
    CPen m_penFace;
    CPen m_penLight;
    CPen m_penFaceShadow;
    CPen m_penShadow;
    CPen m_penShadowDark;
    COLORREF m_clrHighlight = 0;
    COLORREF m_clrLight = 0;
    COLORREF m_clrFace = 0;
    COLORREF m_clrFaceShadow = 0;
    COLORREF m_clrShadow = 0;
    COLORREF m_clrDarkShadow = 0;
    COLORREF m_clrShadowDark = 0;

private:
    DWORD m_dwStyle = 0;
};
