// The auto-reset and manual-reset events the device signals and the player waits on.
#include <thread>

#include "player_test_support.h"

namespace {

TEST(Event, AutoResetLetsOneWaitThroughPerSignalAndKeepsAnEarlySignal) {
  int live = event_live_count();
  HANDLE e = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(event_live_count(), live + 1);
  EXPECT_EQ(WaitForSingleObject(e, 0), WAIT_TIMEOUT);  // created not signalled

  // A signal given while nobody waits is kept for the next wait; two signals are still one.
  EXPECT_EQ(SetEvent(e), TRUE);
  EXPECT_EQ(SetEvent(e), TRUE);
  EXPECT_EQ(WaitForSingleObject(e, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(e, 0), WAIT_TIMEOUT);  // the wait cleared it

  EXPECT_EQ(SetEvent(e), TRUE);
  EXPECT_EQ(ResetEvent(e), TRUE);
  EXPECT_EQ(WaitForSingleObject(e, 0), WAIT_TIMEOUT);

  EXPECT_EQ(CloseHandle(e), TRUE);
  EXPECT_EQ(event_live_count(), live);
}

TEST(Event, ManualResetStaysSignalledUntilReset) {
  HANDLE e = CreateEventA(nullptr, TRUE, TRUE, nullptr);
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(WaitForSingleObject(e, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(e, 0), WAIT_OBJECT_0);
  EXPECT_EQ(ResetEvent(e), TRUE);
  EXPECT_EQ(WaitForSingleObject(e, 0), WAIT_TIMEOUT);
  EXPECT_EQ(CloseHandle(e), TRUE);
}

TEST(Event, SignalFromAnotherThreadReleasesABlockedWaiter) {
  HANDLE e = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  ASSERT_NE(e, nullptr);
  DWORD result = WAIT_FAILED;
  player_test::Watched waiter([&] { result = WaitForSingleObject(e, INFINITE); });
  // The waiter must block: it may not get through an event nobody signalled.
  ASSERT_FALSE(waiter.finishes_before_waiting());
  EXPECT_EQ(SetEvent(e), TRUE);
  waiter.join();
  EXPECT_EQ(result, WAIT_OBJECT_0);
  EXPECT_EQ(event_waits_in_progress(), 0);
  EXPECT_EQ(WaitForSingleObject(e, 0), WAIT_TIMEOUT);  // the waiter took the signal
  EXPECT_EQ(CloseHandle(e), TRUE);
}

TEST(Event, RefusesNamedEventsAndHandlesThatAreNoEvent) {
  int live = event_live_count();
  EXPECT_EQ(CreateEventA(nullptr, FALSE, FALSE, "shared"), nullptr);
  EXPECT_EQ(event_live_count(), live);
  EXPECT_EQ(WaitForSingleObject(nullptr, 0), WAIT_FAILED);
  EXPECT_EQ(SetEvent(nullptr), FALSE);
  EXPECT_EQ(CloseHandle(nullptr), FALSE);
}

}  // namespace
