// CPaintPacer: lets a window bring its changes to the screen at most once per display frame.
//
// Every change of a control asks the window for a paint pass (an UpdateRequest), and a conversion
// changes the counters in every tick of its timer, about a hundred times a second: each pass paints
// the changed controls and sends them to the window system, which costs more than a screen can
// show. The pacer lets one pass through per interval; a request that comes sooner is held and made
// again when the interval is over, so the last change always reaches the screen.
#pragma once

#include <QObject>
#include <chrono>

class QTimer;
class QWidget;

class CPaintPacer : public QObject {
  Q_OBJECT

 public:
  using Clock = std::chrono::steady_clock;

  // Paces window (a top-level widget) to one paint pass per interval.
  CPaintPacer(QWidget* window, std::chrono::milliseconds interval);

  // Replaces the clock (tests step time by hand); nullptr restores the steady clock.
  void SetClock(Clock::time_point (*now)()) { m_now = now != nullptr ? now : &Clock::now; }
  bool Holding() const;

  // The interval of one frame of the screen the widget is on (60 Hz when it cannot be told).
  static std::chrono::milliseconds FrameInterval(const QWidget* window);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void release();

  QWidget* m_window;
  std::chrono::milliseconds m_interval;
  Clock::time_point m_lastPass{};
  QTimer* m_held;
  bool m_releasing = false;
  Clock::time_point (*m_now)() = &Clock::now;
};
