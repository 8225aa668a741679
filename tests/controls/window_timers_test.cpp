// Window timers: the identifiers of the caller's choosing, and the rhythm they keep when a
// handler takes longer than the period (driven by a clock the test steps by hand), then real ticks
// from Qt's event loop.
#include <QObject>
#include <QTest>
#include <QTimerEvent>
#include <gtest/gtest.h>

#include "controls/window_timers.h"

namespace {

using Clock = CWindowTimers::Clock;
using std::chrono::milliseconds;

Clock::time_point g_now;
Clock::time_point fake_now() { return g_now; }

class WindowTimersTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_now = Clock::time_point{} + std::chrono::hours(1);
        timers.SetClock(fake_now);
    }

    // Delivers the timer event of an identifier; the handler takes `busy` of the fake clock.
    bool tick(UINT_PTR id, milliseconds busy = milliseconds(0))
    {
        QTimerEvent event(timers.QtTimerId(id));
        return timers.Dispatch(&event, [&](UINT_PTR got) {
            handled.push_back(got);
            g_now += busy;
        });
    }

    QObject owner;
    CWindowTimers timers{&owner};
    std::vector<UINT_PTR> handled;
};

}  // namespace

TEST_F(WindowTimersTest, TicksOnTimeKeepTheirQtTimer)
{
    ASSERT_EQ(timers.SetTimer(275, 100), 275u);
    const int qtId = timers.QtTimerId(275);
    g_now += milliseconds(100);
    ASSERT_TRUE(tick(275, milliseconds(3)));
    EXPECT_EQ(handled, std::vector<UINT_PTR>{275});
    // Due again 100 ms after the last due time, 97 ms from now: the running Qt timer fires then.
    EXPECT_EQ(timers.ArmedInterval(275), 100);
    EXPECT_EQ(timers.QtTimerId(275), qtId);
}

TEST_F(WindowTimersTest, AHandlerLongerThanThePeriodGetsTheNextTickAtOnce)
{
    timers.SetTimer(275, 1);
    g_now += milliseconds(1);
    tick(275, milliseconds(3));  // 25 frames take longer than the 1 ms period
    EXPECT_EQ(timers.ArmedInterval(275), 0);  // next pass of the event loop, not 1 ms after the end
    tick(275, milliseconds(3));
    EXPECT_EQ(timers.ArmedInterval(275), 0);
    // Once a handler is quick again, the period counts from the last tick: no burst of missed ones.
    tick(275, milliseconds(0));
    EXPECT_EQ(timers.ArmedInterval(275), 1);
}

TEST_F(WindowTimersTest, ALateEventKeepsTheRhythmAndCatchingUpEndsOnIt)
{
    timers.SetTimer(1, 1000);
    const int qtId = timers.QtTimerId(1);
    g_now += milliseconds(1030);  // the event came 30 ms late: the next is still due at 2000 ms
    tick(1);
    EXPECT_EQ(timers.ArmedInterval(1), 1000);
    EXPECT_EQ(timers.QtTimerId(1), qtId);

    timers.SetTimer(2, 100);
    g_now += milliseconds(100);
    tick(2, milliseconds(150));  // overran: next pass
    EXPECT_EQ(timers.ArmedInterval(2), 0);
    g_now += milliseconds(30);  // the event loop painted for 30 ms
    tick(2);
    EXPECT_EQ(timers.ArmedInterval(2), 70);  // 100 ms after the tick that caught up
}

TEST_F(WindowTimersTest, AHandlerMayStopOrResetItsOwnTimer)
{
    timers.SetTimer(100, 25);
    g_now += milliseconds(25);
    QTimerEvent first(timers.QtTimerId(100));
    EXPECT_TRUE(timers.Dispatch(&first, [&](UINT_PTR id) { timers.KillTimer(id); }));
    EXPECT_FALSE(timers.IsRunning(100));

    timers.SetTimer(100, 25);
    g_now += milliseconds(25);
    QTimerEvent second(timers.QtTimerId(100));
    int renewed = 0;
    timers.Dispatch(&second, [&](UINT_PTR id) {
        timers.KillTimer(id);  // as the progress bar's animation re-arms after its repaint
        timers.SetTimer(id, 40);
        renewed = timers.QtTimerId(id);
    });
    EXPECT_TRUE(timers.IsRunning(100));
    EXPECT_EQ(timers.QtTimerId(100), renewed);
    EXPECT_EQ(timers.ArmedInterval(100), 40);
}

TEST_F(WindowTimersTest, OtherTimersAreNotDispatched)
{
    timers.SetTimer(275, 10);
    QTimerEvent foreign(timers.QtTimerId(275) + 1000);
    EXPECT_FALSE(timers.Dispatch(&foreign, [&](UINT_PTR id) { handled.push_back(id); }));
    EXPECT_TRUE(handled.empty());
    EXPECT_FALSE(timers.IsRunning(7));
    EXPECT_EQ(timers.ArmedInterval(7), -1);
    EXPECT_FALSE(timers.KillTimer(7));
}

namespace {

// An object whose timer events go through its window timers, as the controls' do.
class Ticking : public QObject {
public:
    CWindowTimers timers{this};
    int ticks = 0;
    int kills = 0;

protected:
    void timerEvent(QTimerEvent* event) override
    {
        timers.Dispatch(event, [this](UINT_PTR id) {
            ++ticks;
            if (ticks == 3) {
                timers.KillTimer(id);
                ++kills;
            }
        });
    }
};

}  // namespace

TEST(WindowTimersLoop, QtDeliversTheTicksUntilTheTimerIsKilled)
{
    Ticking t;
    t.timers.SetTimer(275, 1);
    EXPECT_TRUE(QTest::qWaitFor([&] { return t.ticks >= 3; }, 5000));
    QTest::qWait(20);
    EXPECT_EQ(t.ticks, 3);
    EXPECT_EQ(t.kills, 1);
    EXPECT_FALSE(t.timers.IsRunning(275));
}
