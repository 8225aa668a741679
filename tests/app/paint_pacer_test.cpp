// The paint pacer: one paint pass per interval, a pass asked for sooner held and made when the
// interval is over, so the last change still reaches the screen. The clock is stepped by hand.
#include <QApplication>
#include <QLabel>
#include <QTest>
#include <gtest/gtest.h>

#include "paint_pacer.h"

namespace {

using Clock = CPaintPacer::Clock;
using std::chrono::milliseconds;

Clock::time_point g_now;
Clock::time_point fake_now() { return g_now; }

class PaintCounter : public QObject {
 public:
  int paints = 0;
  bool eventFilter(QObject*, QEvent* event) override
  {
    if (event->type() == QEvent::Paint) ++paints;
    return false;
  }
};

}  // namespace

TEST(PaintPacer, OnePassPerIntervalAndTheLastChangeIsNotLost)
{
  g_now = Clock::time_point{} + std::chrono::hours(1);
  QWidget window;
  window.resize(200, 60);
  auto* label = new QLabel(QStringLiteral("0"), &window);
  label->setGeometry(10, 10, 100, 20);
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  QApplication::processEvents();

  CPaintPacer pacer(&window, milliseconds(40));
  pacer.SetClock(fake_now);
  PaintCounter counter;
  label->installEventFilter(&counter);

  // The first change paints on the next pass.
  label->setText(QStringLiteral("1"));
  EXPECT_TRUE(QTest::qWaitFor([&] { return counter.paints == 1; }, 5000));
  EXPECT_FALSE(pacer.Holding());

  // Changes within the interval wait: the pass is held, nothing is painted meanwhile.
  g_now += milliseconds(10);
  label->setText(QStringLiteral("2"));
  QApplication::processEvents();
  label->setText(QStringLiteral("3"));
  QApplication::processEvents();
  EXPECT_TRUE(pacer.Holding());
  EXPECT_EQ(counter.paints, 1);

  // When the interval is over, one pass paints the latest text.
  g_now += milliseconds(40);
  EXPECT_TRUE(QTest::qWaitFor([&] { return !pacer.Holding(); }, 5000));
  QApplication::processEvents();
  EXPECT_EQ(counter.paints, 2);
  EXPECT_EQ(label->text(), QStringLiteral("3"));

  // After a quiet interval a change goes through at once again.
  g_now += milliseconds(100);
  label->setText(QStringLiteral("4"));
  EXPECT_TRUE(QTest::qWaitFor([&] { return counter.paints == 3; }, 5000));
  EXPECT_FALSE(pacer.Holding());
  label->removeEventFilter(&counter);
}

TEST(PaintPacer, FrameIntervalFollowsTheScreen)
{
  QWidget window;
  const auto interval = CPaintPacer::FrameInterval(&window);
  EXPECT_GE(interval.count(), 2);
  EXPECT_LE(interval.count(), 50);
}
