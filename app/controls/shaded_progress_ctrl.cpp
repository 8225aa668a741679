#include "controls/shaded_progress_ctrl.h"

#include <QPainter>
#include <QTimerEvent>
#include <algorithm>

#include "controls/color_tones.h"
#include "controls/filled_extent.h"
#include "controls/memory_dc.h"
#include "controls/sys_colors.h"

namespace {

constexpr int kStripePeriod = 20;
// Within a stripe the lines are drawn from the edges inwards; offset 5 stays empty.
constexpr int kStripeOrder[] = {0, 1, 9, 2, 8, 3, 7, 4, 6};

}  // namespace

CShadedProgressCtrl::CShadedProgressCtrl(QWidget* parent) : QProgressBar(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);  // no background erase: the paint covers every pixel
    setTextVisible(false);
    QProgressBar::setRange(m_nLower, m_nUpper);
    QProgressBar::setValue(m_nPos);
    m_clrBase = GetSysColor(COLOR_HIGHLIGHT);
    InitTones();
    CreateTonePens();
}

CShadedProgressCtrl::~CShadedProgressCtrl() { DeleteTonePens(); }

void CShadedProgressCtrl::InitTones()
{
    m_clrLight1 = BrightenKeep(m_clrBase);
    m_clrLight2 = BrightenKeep(m_clrLight1);
    m_clrLight3 = BrightenKeep(m_clrLight2);
    m_clrDark1 = DarkenKeep(m_clrBase);
    m_clrDark2 = DarkenKeep(m_clrDark1);
    m_clrDarkShadow = GetSysColor(COLOR_3DDKSHADOW);
    m_clrShadow = GetSysColor(COLOR_BTNSHADOW);
    m_clrShadowDark = AverageColor(m_clrShadow, m_clrDarkShadow);
}

void CShadedProgressCtrl::CreateTonePens()
{
    DeleteTonePens();
    m_penBase.CreatePen(PS_SOLID, 1, m_clrBase);
    m_penLight1.CreatePen(PS_SOLID, 1, m_clrLight1);
    m_penLight2.CreatePen(PS_SOLID, 1, m_clrLight2);
    m_penDark1.CreatePen(PS_SOLID, 1, m_clrDark1);
    m_penDark2.CreatePen(PS_SOLID, 1, m_clrDark2);
    m_penShadowDark.CreatePen(PS_SOLID, 1, m_clrShadowDark);
    m_penShadow.CreatePen(PS_SOLID, 1, m_clrShadow);
}

void CShadedProgressCtrl::DeleteTonePens()
{
    for (CPen* pen : {&m_penBase, &m_penLight1, &m_penLight2, &m_penDark1, &m_penDark2, &m_penShadowDark, &m_penShadow}) {
        if (pen->GetSafeHandle()) {
            pen->DeleteObject();
        }
    }
}

void CShadedProgressCtrl::SetIdleAnimation(BOOL on)
{
    m_bIdleAnimation = on ? TRUE : FALSE;
    if (on) {
        m_nAnimPhase = 0;
        RedrawWindow();
        m_timers.SetTimer(ANIM_TIMER_ID, ANIM_PERIOD_MS);
    } else {
        m_timers.KillTimer(ANIM_TIMER_ID);
        RedrawWindow();
    }
}

void CShadedProgressCtrl::SetRange32(int lower, int upper)
{
    if (lower == m_nLower && upper == m_nUpper) {
        return;
    }
    m_nLower = lower;
    m_nUpper = upper;
    m_nPos = std::min(std::max(m_nPos, m_nLower), m_nUpper);
    mirror_range_and_value();
    update();
}

void CShadedProgressCtrl::GetRange(int& lower, int& upper) const
{
    lower = m_nLower;
    upper = m_nUpper;
}

int CShadedProgressCtrl::SetPos(int pos)
{
    const int previous = m_nPos;
    // As the Win32 control: first up to the lower limit, then down to the upper one.
    m_nPos = std::min(std::max(pos, m_nLower), m_nUpper);
    if (m_nPos == previous) {
        return previous;
    }
    mirror_range_and_value();
    // A conversion moves the position thousands of times; the picture changes only when the
    // filled part gains or loses a pixel (the stripes of the idle animation ignore the position).
    if (!m_bIdleAnimation && filled_extent(previous) != filled_extent(m_nPos)) {
        update();
    }
    return previous;
}

int CShadedProgressCtrl::filled_extent(int pos) const
{
    const bool vertical = (GetStyle() & PBS_VERTICAL) != 0;
    return FilledExtent(pos, m_nLower, m_nUpper, vertical ? height() : width());
}

// QProgressBar repaints itself at once from setValue whenever it thinks its own picture changed,
// and as its own painting never runs here it always thinks so: one synchronous paint and screen
// update per call. With updates marked off the mirror stays silent (the attribute is set directly:
// setUpdatesEnabled(true) would ask for a paint); the control updates on its own terms.
void CShadedProgressCtrl::mirror_range_and_value()
{
    const bool wasDisabled = testAttribute(Qt::WA_UpdatesDisabled);
    setAttribute(Qt::WA_UpdatesDisabled, true);
    QProgressBar::setRange(std::min(m_nLower, m_nUpper), std::max(m_nLower, m_nUpper));
    QProgressBar::setValue(m_nPos);
    setAttribute(Qt::WA_UpdatesDisabled, wasDisabled);
}

DWORD CShadedProgressCtrl::GetStyle() const { return orientation() == Qt::Vertical ? PBS_VERTICAL : 0; }

void CShadedProgressCtrl::OnTimer(UINT_PTR id)
{
    if (id != ANIM_TIMER_ID) {
        return;
    }
    // Re-armed after the repaint, so the next tick comes a full period after this one finished.
    m_timers.KillTimer(ANIM_TIMER_ID);
    m_nAnimPhase = m_nAnimPhase >= ANIM_PHASES - 1 ? 0 : m_nAnimPhase + 1;
    RedrawWindow();
    m_timers.SetTimer(ANIM_TIMER_ID, ANIM_PERIOD_MS);
}

void CShadedProgressCtrl::RedrawWindow() { repaint(); }

void CShadedProgressCtrl::OnPaint(QPainter& dest)
{
    const CRect rc{0, 0, width(), height()};
    CRect bar = rc;

    CMemoryDC dc(rc.Width(), rc.Height());
    const int saved = dc.SaveDC();
    dc.FillRect(rc, CBrush(m_clrLight3));

    int lower = 0;
    int upper = 0;
    GetRange(lower, upper);
    if (!(GetStyle() & PBS_VERTICAL)) {
        if (!m_bIdleAnimation) {
            bar.right = FilledExtent(GetPos(), lower, upper, rc.right - rc.left);
        }
        DrawHorizontalBar(dc, bar);
    } else {
        if (!m_bIdleAnimation) {
            bar.top = rc.bottom - FilledExtent(GetPos(), lower, upper, rc.bottom - rc.top);
        }
        DrawVerticalBar(dc, bar);
    }

    dc.BitBlt(dest, 0, 0, rc.Width(), rc.Height(), 0, 0);
    dc.RestoreDC(saved);
}

void CShadedProgressCtrl::DrawHorizontalBar(CMemoryDC& dc, const CRect& bar)
{
    const int x = bar.left, y = bar.top, r = bar.right, b = bar.bottom;
    if (x == r) {
        return;
    }
    if (m_bIdleAnimation) {
        DrawHorizontalStripes(dc, bar);
        return;
    }

    dc.SelectObject(m_penLight1);
    dc.MoveTo(x + 2, b - 4);
    dc.LineTo(r - 2, b - 4);
    dc.MoveTo(x + 2, y + 2);
    dc.LineTo(r - 2, y + 2);
    dc.SetPixel(x + 1, b - 3, m_clrLight1);
    dc.SetPixel(x + 1, y + 1, m_clrLight1);

    dc.SelectObject(m_penLight2);
    dc.MoveTo(x + 2, b - 5);
    dc.LineTo(r - 3, b - 5);
    dc.LineTo(r - 3, y + 3);
    dc.LineTo(x + 1, y + 3);
    dc.SetPixel(x + 1, b - 4, m_clrLight2);
    dc.SetPixel(x + 1, y + 2, m_clrLight2);

    dc.SelectObject(m_penBase);
    dc.MoveTo(x, b - 1);
    dc.LineTo(x, y);
    dc.LineTo(x + 2, y);
    dc.SetPixel(x + 1, b - 2, m_clrBase);
    dc.MoveTo(x + 2, b - 3);
    dc.LineTo(r - 2, b - 3);
    dc.MoveTo(x + 2, y + 1);
    dc.LineTo(r - 1, y + 1);

    dc.SelectObject(m_penDark1);
    dc.MoveTo(x + 2, b - 2);
    dc.LineTo(r - 2, b - 2);
    dc.LineTo(r - 2, y + 1);
    dc.MoveTo(x + 2, y);
    dc.LineTo(r, y);
    dc.SetPixel(x + 1, b - 1, m_clrDark1);

    dc.SelectObject(m_penDark2);
    dc.MoveTo(x + 2, b - 1);
    dc.LineTo(r - 1, b - 1);
    dc.LineTo(r - 1, y);

    // A two-pixel shadow just right of the filled part (outside the control when it is full).
    dc.SelectObject(m_penShadowDark);
    dc.MoveTo(r, y);
    dc.LineTo(r, b);
    dc.SelectObject(m_penShadow);
    dc.MoveTo(r + 1, y);
    dc.LineTo(r + 1, b);
}

void CShadedProgressCtrl::DrawVerticalBar(CMemoryDC& dc, const CRect& bar)
{
    const int x = bar.left, y = bar.top, r = bar.right, b = bar.bottom;
    if (y == b) {
        return;
    }
    if (m_bIdleAnimation) {
        DrawVerticalStripes(dc, bar);
        return;
    }
    if (b - y < 4) {
        const CBrush brush(m_clrBase);
        dc.SelectObject(m_penDark1);
        dc.SelectObject(brush);
        dc.Rectangle(x, y, r, b);
        return;
    }

    dc.SelectObject(m_penBase);
    dc.MoveTo(x, y + 1);
    dc.LineTo(x, y);
    dc.LineTo(r, y);
    dc.MoveTo(x + 1, b - 2);
    dc.LineTo(x + 1, y + 1);
    dc.MoveTo(r - 3, b - 3);
    dc.LineTo(r - 3, y + 1);
    dc.SetPixel(r - 2, y + 1, m_clrBase);

    dc.SelectObject(m_penLight1);
    dc.MoveTo(x + 2, b - 3);
    dc.LineTo(x + 2, y + 1);
    dc.MoveTo(r - 4, b - 3);
    dc.LineTo(r - 4, y + 1);
    dc.SetPixel(x + 1, y + 1, m_clrLight1);
    dc.SetPixel(r - 3, y + 1, m_clrLight1);

    dc.SelectObject(m_penLight2);
    dc.MoveTo(x + 3, b - 3);
    dc.LineTo(x + 3, y + 1);
    dc.MoveTo(r - 5, b - 3);
    dc.LineTo(r - 5, y + 1);
    dc.SetPixel(x + 2, y + 1, m_clrLight2);
    dc.SetPixel(r - 4, y + 1, m_clrLight2);

    dc.SelectObject(m_penDark1);
    dc.MoveTo(x, b - 1);
    dc.LineTo(x, y + 1);
    dc.MoveTo(x + 2, b - 2);
    dc.LineTo(r - 2, b - 2);
    dc.LineTo(r - 2, y + 1);
    dc.SetPixel(r - 1, y + 1, m_clrDark1);

    dc.SelectObject(m_penDark2);
    dc.MoveTo(x + 1, b - 1);
    dc.LineTo(r - 1, b - 1);
    dc.LineTo(r - 1, y + 1);
}

const CPen* CShadedProgressCtrl::stripe_pen(int offset) const
{
    switch (offset) {
    case 0: return &m_penDark2;
    case 1:
    case 9: return &m_penDark1;
    case 2:
    case 8: return &m_penBase;
    case 3:
    case 7: return &m_penLight1;
    case 4:
    case 6: return &m_penLight2;
    default: return nullptr;
    }
}

void CShadedProgressCtrl::DrawHorizontalStripes(CMemoryDC& dc, const CRect& bar)
{
    const int x = bar.left, y = bar.top, r = bar.right, b = bar.bottom;
    const int stripes = (r - x) / kStripePeriod + 2;
    for (int k = 0; k < stripes; ++k) {
        const int s = m_nAnimPhase + x - (kStripePeriod - 1) + kStripePeriod * k;
        for (int d : kStripeOrder) {
            dc.SelectObject(*stripe_pen(d));
            dc.MoveTo(s + d, y);
            dc.LineTo(s + d + (b - y), b);
        }
    }
}

void CShadedProgressCtrl::DrawVerticalStripes(CMemoryDC& dc, const CRect& bar)
{
    const int x = bar.left, y = bar.top, r = bar.right, b = bar.bottom;
    const int stripes = (b - y) / kStripePeriod + 2;
    for (int k = 0; k < stripes; ++k) {
        const int s = b - m_nAnimPhase - kStripePeriod * k;
        for (int d : kStripeOrder) {
            dc.SelectObject(*stripe_pen(d));
            dc.MoveTo(x, s + d);
            dc.LineTo(r + 1, s + d + (r + 1 - x));
        }
    }
}

void CShadedProgressCtrl::paintEvent(QPaintEvent* /*event*/)
{
    QPainter painter(this);
    OnPaint(painter);
}

void CShadedProgressCtrl::timerEvent(QTimerEvent* event)
{
    m_timers.Dispatch(event, [this](UINT_PTR id) { OnTimer(id); });
}
