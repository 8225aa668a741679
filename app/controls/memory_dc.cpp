#include "controls/memory_dc.h"

#include <QFontMetrics>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>

namespace {

QFont without_antialiasing(QFont font)
{
    font.setStyleStrategy(QFont::NoAntialias);
    return font;
}

QRgb to_qrgb(COLORREF c) { return qRgb(GetRValue(c), GetGValue(c), GetBValue(c)); }

// How far the outline of a corner ellipse stands in from the side, for the row that lies `e` rows
// from the top or bottom edge. A pixel belongs to the shape when its centre lies inside the ellipse
// through the corner box with semi-axes of (size - 1) / 2 + 1/4. For 6 by 6 this gives insets
// 2, 1, 0: GDI's corner, a three-pixel diagonal step.
int corner_inset(int e, int ellipseWidth, int ellipseHeight)
{
    if (ellipseWidth < 2 || ellipseHeight < 2 || e >= ellipseHeight / 2) {
        return 0;
    }
    const double cx = (ellipseWidth - 1) / 2.0;
    const double cy = (ellipseHeight - 1) / 2.0;
    const double ax = cx + 0.25;
    const double ay = cy + 0.25;
    const double dy = (cy - e) / ay;
    const double t = 1.0 - dy * dy;
    const double half = t > 0.0 ? ax * std::sqrt(t) : 0.0;
    const int inset = static_cast<int>(std::ceil(cx - half));
    return std::clamp(inset, 0, ellipseWidth / 2);
}

// The columns [left, right) of a shape's row y, or an empty span outside the shape.
struct Span {
    int left = 0;
    int right = 0;
    bool covers(int x) const { return x >= left && x < right; }
};

Span shape_row(int y, int x1, int y1, int x2, int y2, int ellipseWidth, int ellipseHeight)
{
    if (y < y1 || y >= y2) {
        return {};
    }
    const int e = std::min(y - y1, y2 - 1 - y);
    const int inset = corner_inset(e, ellipseWidth, ellipseHeight);
    return {x1 + inset, x2 - inset};
}

}  // namespace

CMemoryDC::CMemoryDC(int width, int height)
    : m_image(std::max(width, 0), std::max(height, 0), QImage::Format_RGB32)
{
    m_image.fill(qRgb(0, 0, 0));
    m_state.font = without_antialiasing(QFont());
}

int CMemoryDC::SaveDC()
{
    m_saved.push_back(m_state);
    return static_cast<int>(m_saved.size());
}

BOOL CMemoryDC::RestoreDC(int saved)
{
    const int count = static_cast<int>(m_saved.size());
    const int level = saved < 0 ? count + 1 + saved : saved;
    if (level < 1 || level > count) {
        return FALSE;
    }
    m_state = m_saved[static_cast<std::size_t>(level - 1)];
    m_saved.resize(static_cast<std::size_t>(level - 1));
    return TRUE;
}

void CMemoryDC::SelectObject(const CPen& pen)
{
    if (pen.GetSafeHandle()) {
        m_state.penNull = false;
        m_state.pen = pen.GetColor();
    }
}

void CMemoryDC::SelectObject(const CBrush& brush)
{
    if (brush.GetSafeHandle()) {
        m_state.brushNull = false;
        m_state.brush = brush.GetColor();
    }
}

void CMemoryDC::SelectStockObject(int object)
{
    switch (object) {
    case NULL_BRUSH: m_state.brushNull = true; break;
    case NULL_PEN: m_state.penNull = true; break;
    case BLACK_PEN:
        m_state.penNull = false;
        m_state.pen = RGB(0, 0, 0);
        break;
    default: break;
    }
}

QFont CMemoryDC::SelectFont(const QFont& font)
{
    QFont previous = m_state.font;
    m_state.font = without_antialiasing(font);
    return previous;
}

COLORREF CMemoryDC::SetTextColor(COLORREF colour)
{
    const COLORREF previous = m_state.text;
    m_state.text = colour & 0x00FFFFFF;
    return previous;
}

COLORREF CMemoryDC::SetBkColor(COLORREF colour)
{
    const COLORREF previous = m_state.bk;
    m_state.bk = colour & 0x00FFFFFF;
    return previous;
}

int CMemoryDC::SetBkMode(int mode)
{
    const int previous = m_state.bkMode;
    if (mode == TRANSPARENT || mode == OPAQUE) {
        m_state.bkMode = mode;
    }
    return previous;
}

void CMemoryDC::plot(int x, int y, COLORREF colour)
{
    if (x >= 0 && y >= 0 && x < m_image.width() && y < m_image.height()) {
        reinterpret_cast<QRgb*>(m_image.scanLine(y))[x] = to_qrgb(colour);
    }
}

void CMemoryDC::invert(int x, int y)
{
    if (x >= 0 && y >= 0 && x < m_image.width() && y < m_image.height()) {
        QRgb& p = reinterpret_cast<QRgb*>(m_image.scanLine(y))[x];
        p = qRgb(255 - qRed(p), 255 - qGreen(p), 255 - qBlue(p));
    }
}

CPoint CMemoryDC::MoveTo(int x, int y)
{
    const CPoint previous = m_state.pos;
    m_state.pos = {x, y};
    return previous;
}

// Steps along the longer axis from the start point up to, not including, the end point. Lines
// along an axis or at 45 degrees (all the controls draw) are exact; on other slopes the shorter
// axis is rounded half away from the start.
BOOL CMemoryDC::LineTo(int x, int y)
{
    const CPoint from = m_state.pos;
    m_state.pos = {x, y};
    if (m_state.penNull) {
        return TRUE;
    }
    const std::int64_t dx = std::int64_t{x} - from.x;
    const std::int64_t dy = std::int64_t{y} - from.y;
    const std::int64_t steps = std::max(std::llabs(dx), std::llabs(dy));
    if (steps == 0) {
        return TRUE;
    }
    // Only the steps whose major coordinate falls inside the image can draw anything.
    const bool xMajor = std::llabs(dx) >= std::llabs(dy);
    const std::int64_t start = xMajor ? from.x : from.y;
    const std::int64_t dir = (xMajor ? dx : dy) > 0 ? 1 : -1;
    const std::int64_t size = xMajor ? m_image.width() : m_image.height();
    std::int64_t first = 0;
    std::int64_t last = steps;  // exclusive
    if (dir > 0) {
        first = std::max<std::int64_t>(first, -start);
        last = std::min<std::int64_t>(last, size - start);
    } else {
        first = std::max<std::int64_t>(first, start - size + 1);
        last = std::min<std::int64_t>(last, start + 1);
    }
    const std::int64_t minor = xMajor ? dy : dx;
    const std::int64_t minorAbs = std::llabs(minor);
    const std::int64_t minorDir = minor < 0 ? -1 : 1;
    for (std::int64_t i = first; i < last; ++i) {
        const std::int64_t along = start + dir * i;
        const std::int64_t across = minorDir * ((2 * i * minorAbs + steps) / (2 * steps));
        const std::int64_t px = xMajor ? along : from.x + across;
        const std::int64_t py = xMajor ? from.y + across : along;
        if (px >= 0 && py >= 0 && px < m_image.width() && py < m_image.height()) {
            plot(static_cast<int>(px), static_cast<int>(py), m_state.pen);
        }
    }
    return TRUE;
}

COLORREF CMemoryDC::SetPixel(int x, int y, COLORREF colour)
{
    if (x < 0 || y < 0 || x >= m_image.width() || y >= m_image.height()) {
        return CLR_INVALID;
    }
    plot(x, y, colour);
    return colour & 0x00FFFFFF;
}

COLORREF CMemoryDC::GetPixel(int x, int y) const
{
    if (x < 0 || y < 0 || x >= m_image.width() || y >= m_image.height()) {
        return CLR_INVALID;
    }
    const QRgb p = reinterpret_cast<const QRgb*>(m_image.constScanLine(y))[x];
    return RGB(qRed(p), qGreen(p), qBlue(p));
}

void CMemoryDC::FillSolidRect(const CRect& rect, COLORREF colour)
{
    SetBkColor(colour);
    const int left = std::max(rect.left, 0);
    const int right = std::min(rect.right, m_image.width());
    for (int y = std::max(rect.top, 0); y < std::min(rect.bottom, m_image.height()); ++y) {
        for (int x = left; x < right; ++x) {
            plot(x, y, colour);
        }
    }
}

void CMemoryDC::FillRect(const CRect& rect, const CBrush& brush)
{
    if (!brush.GetSafeHandle()) {
        return;
    }
    const COLORREF bk = m_state.bk;
    FillSolidRect(rect, brush.GetColor());
    m_state.bk = bk;
}

BOOL CMemoryDC::Rectangle(int x1, int y1, int x2, int y2)
{
    draw_shape(x1, y1, x2, y2, 0, 0);
    return TRUE;
}

BOOL CMemoryDC::RoundRect(int x1, int y1, int x2, int y2, int ellipseWidth, int ellipseHeight)
{
    draw_shape(x1, y1, x2, y2, std::max(ellipseWidth, 0), std::max(ellipseHeight, 0));
    return TRUE;
}

// The shape's pixels next to a pixel outside it (left, right, above or below) are its outline,
// drawn with the pen; the others are filled with the brush.
void CMemoryDC::draw_shape(int x1, int y1, int x2, int y2, int ellipseWidth, int ellipseHeight)
{
    if (x1 > x2) {
        std::swap(x1, x2);
    }
    if (y1 > y2) {
        std::swap(y1, y2);
    }
    if (m_state.penNull) {
        --x2;
        --y2;
    }
    ellipseWidth = std::min(ellipseWidth, x2 - x1);
    ellipseHeight = std::min(ellipseHeight, y2 - y1);
    if (x2 <= x1 || y2 <= y1) {
        return;
    }
    for (int y = std::max(y1, 0); y < std::min(y2, m_image.height()); ++y) {
        const Span row = shape_row(y, x1, y1, x2, y2, ellipseWidth, ellipseHeight);
        const Span above = shape_row(y - 1, x1, y1, x2, y2, ellipseWidth, ellipseHeight);
        const Span below = shape_row(y + 1, x1, y1, x2, y2, ellipseWidth, ellipseHeight);
        for (int x = std::max(row.left, 0); x < std::min(row.right, m_image.width()); ++x) {
            const bool outline = x == row.left || x == row.right - 1 || !above.covers(x) || !below.covers(x);
            if (outline && !m_state.penNull) {
                plot(x, y, m_state.pen);
            } else if (!m_state.brushNull) {
                plot(x, y, m_state.brush);
            }
        }
    }
}

void CMemoryDC::DrawFocusRect(const CRect& rect)
{
    if (rect.IsRectEmpty()) {
        return;
    }
    auto dot = [this](int x, int y) {
        if (((x + y) & 1) == 0) {
            invert(x, y);
        }
    };
    // Each pixel of the frame once, corners included, so that a second call removes the frame.
    for (int x = rect.left; x < rect.right; ++x) {
        dot(x, rect.top);
        if (rect.bottom - 1 > rect.top) {
            dot(x, rect.bottom - 1);
        }
    }
    for (int y = rect.top + 1; y < rect.bottom - 1; ++y) {
        dot(rect.left, y);
        if (rect.right - 1 > rect.left) {
            dot(rect.right - 1, y);
        }
    }
}

CSize CMemoryDC::GetTextExtent(const QString& text) const
{
    const QFontMetrics metrics(m_state.font);
    return {metrics.horizontalAdvance(text), metrics.height()};
}

int CMemoryDC::DrawText(const QString& text, const CRect& rect, UINT format)
{
    QString line;
    if (format & DT_NOPREFIX) {
        line = text;
    } else {
        line.reserve(text.size());
        for (qsizetype i = 0; i < text.size(); ++i) {
            if (text[i] != QLatin1Char('&')) {
                line.append(text[i]);
            } else if (i + 1 < text.size()) {
                line.append(text[++i]);  // "&x" shows x, "&&" shows "&"
            }
        }
    }
    const QFontMetrics metrics(m_state.font);
    const int width = metrics.horizontalAdvance(line);
    int x = rect.left;
    if (format & DT_CENTER) {
        x = rect.left + ((rect.Width() - width) >> 1);
    } else if (format & DT_RIGHT) {
        x = rect.right - width;
    }
    QPainter painter(&m_image);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setRenderHint(QPainter::TextAntialiasing, false);
    if (!(format & DT_NOCLIP)) {
        painter.setClipRect(QRect(rect.left, rect.top, std::max(rect.Width(), 0), std::max(rect.Height(), 0)));
    }
    if (m_state.bkMode == OPAQUE) {
        painter.fillRect(QRect(x, rect.top, width, metrics.height()), QColor::fromRgb(to_qrgb(m_state.bk)));
    }
    painter.setFont(m_state.font);
    painter.setPen(QColor::fromRgb(to_qrgb(m_state.text)));
    painter.drawText(QPoint(x, rect.top + metrics.ascent()), line);
    return metrics.height();
}

void CMemoryDC::BitBlt(QPainter& dest, int x, int y, int width, int height, int xSrc, int ySrc) const
{
    dest.save();
    dest.setCompositionMode(QPainter::CompositionMode_Source);
    dest.drawImage(QPoint(x, y), m_image, QRect(xSrc, ySrc, width, height));
    dest.restore();
}
