#include "controls/shaded_button.h"

#include <QCoreApplication>
#include <QMouseEvent>
#include <QPainter>

#include "controls/color_tones.h"
#include "controls/memory_dc.h"
#include "controls/sys_colors.h"

namespace {

constexpr int kCorner = 6;  // width and height of the corner ellipses

}  // namespace

CShadedButton::CShadedButton(QWidget* parent) : CShadedButton(QString(), parent) {}

CShadedButton::CShadedButton(const QString& text, QWidget* parent) : QPushButton(text, parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);  // every paint covers the whole button
    InitTones();
    CreateTonePens();
}

CShadedButton::~CShadedButton() { DeleteTonePens(); }

DWORD CShadedButton::GetStyle() const { return m_dwStyle | (isFlat() ? BS_FLAT : 0); }

void CShadedButton::ModifyStyle(DWORD remove, DWORD add)
{
    m_dwStyle = ((m_dwStyle & ~remove) | add) & ~BS_FLAT;
    if (add & BS_FLAT) {
        setFlat(true);
    } else if (remove & BS_FLAT) {
        setFlat(false);
    }
    update();
}

UINT CShadedButton::ItemState() const
{
    UINT state = 0;
    if (isDown()) {
        state |= ODS_SELECTED;
    }
    if (!isEnabled()) {
        state |= ODS_DISABLED;
    }
    if (hasFocus()) {
        state |= ODS_FOCUS;
    }
    return state;
}

void CShadedButton::InitTones()
{
    m_clrHighlight = GetSysColor(COLOR_BTNHIGHLIGHT);
    m_clrLight = GetSysColor(COLOR_3DLIGHT);
    m_clrFace = GetSysColor(COLOR_BTNFACE);
    m_clrShadow = GetSysColor(COLOR_BTNSHADOW);
    m_clrDarkShadow = GetSysColor(COLOR_3DDKSHADOW);
    m_clrFaceShadow = AverageColor(m_clrFace, m_clrShadow);
    m_clrShadowDark = AverageColor(m_clrShadow, m_clrDarkShadow);
}

void CShadedButton::CreateTonePens()
{
    DeleteTonePens();
    m_penHighlight.CreatePen(PS_SOLID, 1, m_clrHighlight);
    m_penFace.CreatePen(PS_SOLID, 1, m_clrFace);
    m_penLight.CreatePen(PS_SOLID, 1, m_clrLight);
    m_penFaceShadow.CreatePen(PS_SOLID, 1, m_clrFaceShadow);
    m_penShadow.CreatePen(PS_SOLID, 1, m_clrShadow);
    m_penShadowDark.CreatePen(PS_SOLID, 1, m_clrShadowDark);
}

void CShadedButton::DeleteTonePens()
{
    for (CPen* pen : {&m_penHighlight, &m_penFace, &m_penLight, &m_penFaceShadow, &m_penShadow, &m_penShadowDark}) {
        if (pen->GetSafeHandle()) {
            pen->DeleteObject();
        }
    }
}

void CShadedButton::DrawItem(const DRAWITEMSTRUCT* dis)
{
    const CRect rc = dis->rcItem;
    const DWORD style = GetStyle();

    CMemoryDC dc(rc.Width(), rc.Height());
    const int saved = dc.SaveDC();
    dc.SelectStockObject(NULL_BRUSH);

    dc.FillSolidRect(rc, m_clrFace);
    DrawFace(dc, rc, style, dis->itemState);

    CRect t = rc;
    DrawCaption(dc, t, text(), style, dis->itemState);

    if (dis->itemState & ODS_FOCUS) {
        CRect focus = rc;
        focus.DeflateRect(4);
        dc.DrawFocusRect(focus);
    }

    if (dis->hDC != nullptr) {
        dc.BitBlt(*dis->hDC, rc.left, rc.top, rc.Width(), rc.Height(), rc.left, rc.top);
    }
    dc.RestoreDC(saved);
}

void CShadedButton::DrawFace(CMemoryDC& dc, const CRect& rc, DWORD style, UINT state)
{
    const bool pressed = (state & ODS_SELECTED) != 0;
    const bool disabled = (state & ODS_DISABLED) != 0;

    if (style & BS_FLAT) {
        const COLORREF window = GetSysColor(COLOR_WINDOW);
        const COLORREF inverse = ~window & 0x00FFFFFF;
        const CBrush brush(pressed ? inverse : window);
        CPen pen;
        pen.CreatePen(PS_SOLID, 1, disabled ? m_clrShadow : inverse);
        dc.SelectObject(brush);
        dc.SelectObject(pen);
        dc.RoundRect(rc.left, rc.top, rc.right, rc.bottom, kCorner, kCorner);
        return;
    }

    const CBrush brush(pressed ? m_clrFaceShadow : m_clrFace);
    CPen framePen;
    dc.SelectObject(brush);
    if (disabled) {
        dc.SelectObject(m_penShadow);
    } else {
        framePen.CreatePen(PS_SOLID, 1, GetSysColor(COLOR_WINDOWFRAME));
        dc.SelectObject(framePen);
    }

    if (disabled) {
        dc.RoundRect(rc.left, rc.top, rc.right, rc.bottom, kCorner, kCorner);
    } else if (pressed) {
        DrawPressedFrame(dc, rc);
    } else {
        DrawRaisedFrame(dc, rc);
    }
}

void CShadedButton::DrawRaisedFrame(CMemoryDC& dc, const CRect& rc)
{
    const int x = rc.left, y = rc.top, r = rc.right, b = rc.bottom;
    dc.RoundRect(x, y, r, b, kCorner, kCorner);

    dc.SelectObject(m_penHighlight);
    dc.MoveTo(x + 2, b - 4);
    dc.LineTo(x + 2, y + 2);
    dc.LineTo(r - 3, y + 2);
    dc.SetPixel(x + 3, y + 3, m_clrHighlight);

    dc.SelectObject(m_penFaceShadow);
    dc.MoveTo(x + 3, b - 3);
    dc.LineTo(r - 4, b - 3);
    dc.LineTo(r - 4, b - 4);
    dc.LineTo(r - 3, b - 4);
    dc.LineTo(r - 3, y + 2);

    dc.SelectObject(m_penShadow);
    dc.MoveTo(x + 3, b - 2);
    dc.LineTo(r - 3, b - 2);
    dc.LineTo(r - 3, b - 3);
    dc.LineTo(r - 2, b - 3);
    dc.LineTo(r - 2, y + 2);

    DrawCornerPixels(dc, rc);

    dc.SetPixel(x + 1, y + 2, m_clrFaceShadow);
    dc.SetPixel(x + 2, y + 1, m_clrFaceShadow);
    dc.SetPixel(r - 3, y + 1, m_clrFaceShadow);
    dc.SetPixel(r - 2, y + 2, m_clrFaceShadow);
    dc.SetPixel(x + 2, b - 2, m_clrFaceShadow);
    dc.SetPixel(x + 1, b - 3, m_clrFaceShadow);
}

void CShadedButton::DrawPressedFrame(CMemoryDC& dc, const CRect& rc)
{
    const int x = rc.left, y = rc.top, r = rc.right, b = rc.bottom;
    dc.RoundRect(x, y, r, b, kCorner, kCorner);

    dc.SelectObject(m_penShadowDark);
    dc.MoveTo(x + 1, b - 4);
    dc.LineTo(x + 1, y + 2);
    dc.LineTo(x + 2, y + 2);
    dc.LineTo(x + 2, y + 1);
    dc.LineTo(r - 3, y + 1);

    dc.SelectObject(m_penShadow);
    dc.MoveTo(x + 2, b - 4);
    dc.LineTo(x + 2, y + 3);
    dc.LineTo(x + 3, y + 3);
    dc.LineTo(x + 3, y + 2);
    dc.LineTo(r - 3, y + 2);

    dc.SelectObject(m_penLight);
    dc.MoveTo(x + 3, b - 2);
    dc.LineTo(r - 4, b - 2);
    dc.LineTo(r - 2, b - 4);  // diagonal
    dc.LineTo(r - 2, y + 2);

    dc.SelectObject(m_penFace);
    dc.MoveTo(x + 3, b - 3);
    dc.LineTo(r - 4, b - 3);
    dc.LineTo(r - 4, b - 4);
    dc.LineTo(r - 3, b - 4);
    dc.LineTo(r - 3, y + 2);

    dc.SetPixel(r - 2, y + 2, m_clrFace);
    dc.SetPixel(x + 2, b - 2, m_clrFace);
    dc.SetPixel(r - 3, y + 1, m_clrShadow);
    dc.SetPixel(x + 1, b - 3, m_clrShadow);

    DrawCornerPixels(dc, rc);
}

void CShadedButton::DrawCornerPixels(CMemoryDC& dc, const CRect& rc)
{
    const int x = rc.left, y = rc.top, r = rc.right, b = rc.bottom;
    dc.SetPixel(x, y + 2, m_clrShadowDark);
    dc.SetPixel(x + 2, y, m_clrShadowDark);
    dc.SetPixel(r - 3, y, m_clrShadowDark);
    dc.SetPixel(r - 1, y + 2, m_clrShadowDark);
    dc.SetPixel(r - 1, b - 3, m_clrShadowDark);
    dc.SetPixel(r - 3, b - 1, m_clrShadowDark);
    dc.SetPixel(x + 2, b - 1, m_clrShadowDark);
    dc.SetPixel(x, b - 3, m_clrShadowDark);
}

void CShadedButton::DrawCaption(CMemoryDC& dc, CRect& t, const QString& caption, DWORD style, UINT state)
{
    const CRect item = t;
    const QFont previous = dc.SelectFont(font());
    const CSize extent = dc.GetTextExtent(caption);

    switch (style & BS_CENTER) {
    case BS_LEFT: t.left = item.left + 5; break;
    case BS_RIGHT: t.left = item.right - extent.cx - 5; break;
    default: t.left = (item.right - item.left - extent.cx) >> 1; break;
    }
    t.right = t.left + extent.cx;

    switch (style & BS_VCENTER) {
    case BS_TOP: t.top = item.top + 5; break;
    case BS_BOTTOM: t.top = item.bottom - extent.cy - 5; break;
    default: t.top = (item.bottom - item.top - extent.cy) >> 1; break;
    }
    t.bottom = t.top + extent.cy;

    // A pressed caption is light; a disabled one is grey, also when it is pressed.
    if (state & ODS_SELECTED) {
        dc.SetTextColor(m_clrHighlight);
    }
    if (state & ODS_DISABLED) {
        dc.SetTextColor(m_clrShadow);
    }
    dc.SetBkMode(TRANSPARENT);
    dc.DrawText(caption, t, DT_CENTER);
    dc.SelectFont(previous);
}

void CShadedButton::OnSysColorChange()
{
    InitTones();
    CreateTonePens();
}

void CShadedButton::OnLButtonDblClk(UINT /*flags*/, CPoint point)
{
    // Qt delivers the second press before the double click, Win32 only the double click; press
    // the button here only when that press has not arrived, so each click presses exactly once.
    if (isDown()) {
        return;
    }
    const QPointF local(point.x, point.y);
    QMouseEvent press(QEvent::MouseButtonPress, local, mapToGlobal(local), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(this, &press);
}

void CShadedButton::paintEvent(QPaintEvent* /*event*/)
{
    QPainter painter(this);
    DRAWITEMSTRUCT dis;
    dis.itemAction = ODA_DRAWENTIRE;
    dis.itemState = ItemState();
    dis.hDC = &painter;
    dis.rcItem = {0, 0, width(), height()};
    DrawItem(&dis);
}

void CShadedButton::changeEvent(QEvent* event)
{
    QPushButton::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) {
        OnSysColorChange();
    }
}

void CShadedButton::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QPushButton::mouseDoubleClickEvent(event);
        return;
    }
    const QPoint p = event->position().toPoint();
    OnLButtonDblClk(0, CPoint{p.x(), p.y()});
    event->accept();
}
