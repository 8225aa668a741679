// The flashing status label: colours, the flash timer and the label's own painting.
#include "color_label.h"

#include <QPainter>
#include <QStyle>
#include <QTimerEvent>

#include "controls/sys_colors.h"

namespace {
// COLOR_BTNTEXT is not among the colours the custom controls use; the classic value is black.
COLORREF button_text_colour() { return RGB(0, 0, 0); }
QColor qcolor(COLORREF c) { return QColor(GetRValue(c), GetGValue(c), GetBValue(c)); }
}  // namespace

CColorLabel::CColorLabel(QWidget* parent)
    : QLabel(parent),
      m_crText(button_text_colour()),
      m_crFlashText{button_text_colour(), button_text_colour()},
      m_crBk(GetSysColor(COLOR_BTNFACE))
{
  apply_colours();
}

CColorLabel::~CColorLabel()
{
  if (m_nTimerId != 0) m_timers.KillTimer(m_nTimerId);
}

void CColorLabel::SetLabelTextColor(COLORREF colour)
{
  m_crText = colour == CLR_INVALID ? button_text_colour() : colour;
  apply_colours();
}

void CColorLabel::SetLabelBkColor(COLORREF colour)
{
  m_crBk = colour == CLR_INVALID ? GetSysColor(COLOR_BTNFACE) : colour;
  apply_colours();
}

void CColorLabel::SetFlashTextColors(COLORREF state0, COLORREF state1)
{
  m_crFlashText[0] = state0;
  m_crFlashText[1] = state1;
}

void CColorLabel::FlashText(int mode, int speed)
{
  if (m_nTimerId != 0) {
    m_timers.KillTimer(m_nTimerId);
    m_nTimerId = 0;
  }
  m_nFlashState = 0;
  m_bFlashText = mode;
  m_nFlashPeriod = 0;
  if (mode == 1) {
    switch (speed) {
      case 0: m_nFlashPeriod = 2000; break;
      case 1: m_nFlashPeriod = 1000; break;
      case 2: m_nFlashPeriod = 500; break;
      default: m_nFlashPeriod = speed; break;
    }
    m_nTimerId = m_timers.SetTimer(FLASH_TIMER_ID, m_nFlashPeriod);
  }
  apply_colours();
}

COLORREF CColorLabel::CurrentTextColor() const
{
  return m_bFlashText == 1 ? m_crFlashText[m_nFlashState & 1] : m_crText;
}

void CColorLabel::SetBackgroundFromParent(bool fromParent)
{
  m_bBackgroundFromParent = fromParent;
  apply_colours();
}

void CColorLabel::OnTimer(UINT_PTR id)
{
  if (id != m_nTimerId || m_nTimerId == 0) return;
  if (m_bFlashText == 1) {
    m_nFlashState = m_nFlashState == 0 ? 1 : 0;
    apply_colours();
  }
}

void CColorLabel::timerEvent(QTimerEvent* event)
{
  if (m_timers.Dispatch(event, [this](UINT_PTR id) { OnTimer(id); })) return;
  QLabel::timerEvent(event);
}

bool CColorLabel::TextFits(const QString& text) const
{
  return fontMetrics().horizontalAdvance(text) <= contentsRect().width();
}

void CColorLabel::paintEvent(QPaintEvent* event)
{
  if (!m_bBackgroundFromParent) {
    QPainter painter(this);
    painter.fillRect(rect(), qcolor(m_crBk));
  }
  if (TextFits(text())) {
    QLabel::paintEvent(event);
    return;
  }
  // Too long (a failure that names a deep path): the middle gives way, both ends stay readable.
  QPainter painter(this);
  drawFrame(&painter);
  const QRect area = contentsRect();
  painter.setPen(palette().color(QPalette::WindowText));
  painter.drawText(area, static_cast<int>(alignment()), fontMetrics().elidedText(text(), Qt::ElideMiddle, area.width()));
}

void CColorLabel::apply_colours()
{
  QPalette pal = palette();
  for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
    pal.setColor(group, QPalette::WindowText, qcolor(CurrentTextColor()));
  }
  setPalette(pal);
  update();
}
