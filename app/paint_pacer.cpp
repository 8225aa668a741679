#include "paint_pacer.h"

#include <QCoreApplication>
#include <QEvent>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <cmath>

CPaintPacer::CPaintPacer(QWidget* window, std::chrono::milliseconds interval)
    : QObject(window), m_window(window), m_interval(interval), m_held(new QTimer(this))
{
  m_held->setSingleShot(true);
  m_held->setTimerType(Qt::PreciseTimer);
  connect(m_held, &QTimer::timeout, this, [this] { release(); });
  window->installEventFilter(this);
}

bool CPaintPacer::Holding() const { return m_held->isActive(); }

std::chrono::milliseconds CPaintPacer::FrameInterval(const QWidget* window)
{
  const QScreen* screen = window->screen();
  const double hz = screen != nullptr ? screen->refreshRate() : 0.0;
  const double rate = hz >= 20.0 && hz <= 500.0 ? hz : 60.0;
  return std::chrono::milliseconds(static_cast<int>(std::floor(1000.0 / rate)));
}

bool CPaintPacer::eventFilter(QObject* watched, QEvent* event)
{
  if (watched != m_window || event->type() != QEvent::UpdateRequest) return false;
  if (m_held->isActive()) return true;  // a pass is already due when the interval ends
  const Clock::time_point now = m_now();
  const auto since = now - m_lastPass;
  if (m_releasing || since >= m_interval || since < Clock::duration::zero()) {
    m_lastPass = now;
    return false;  // this pass goes through
  }
  // The repaint manager asks once and waits for the pass: ask again when the interval is over.
  m_held->start(static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(m_interval - since).count()));
  return true;
}

void CPaintPacer::release()
{
  // Sent, not posted: the pass runs now, let through by the filter.
  m_releasing = true;
  QEvent request(QEvent::UpdateRequest);
  QCoreApplication::sendEvent(m_window, &request);
  m_releasing = false;
}
