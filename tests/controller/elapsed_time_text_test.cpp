// The elapsed-time text: hours within the day, two digits each.
#include <gtest/gtest.h>

#include "elapsed_time_text.h"

TEST(ElapsedTimeText, TwoDigitsAndTheHourWithinTheDay)
{
    EXPECT_EQ(ElapsedTimeText(0), "00:00:00");
    EXPECT_EQ(ElapsedTimeText(59), "00:00:59");
    EXPECT_EQ(ElapsedTimeText(61), "00:01:01");
    EXPECT_EQ(ElapsedTimeText(3599), "00:59:59");
    EXPECT_EQ(ElapsedTimeText(86399), "23:59:59");
    EXPECT_EQ(ElapsedTimeText(86400), "00:00:00");
    EXPECT_EQ(ElapsedTimeText(86400 + 3600 + 60 + 1), "01:01:01");
    EXPECT_EQ(ElapsedTimeText(10 * 86400 + 13 * 3600 + 7), "13:00:07");
}

TEST(ElapsedTimeText, AClockSetBackShowsZero)
{
    EXPECT_EQ(ElapsedTimeText(-1), "00:00:00");
    EXPECT_EQ(ElapsedTimeText(-90061), "00:00:00");
}
