// The flashing status label: colours of each flash state, periods by speed, restarting and stopping.
#include <QImage>
#include <QTest>
#include <gtest/gtest.h>

#include "color_label.h"
#include "controls/sys_colors.h"

namespace {

// The colour of the brightest and of the darkest pixel of the label's text area: the text colour
// shows up as one of the two on a mid-grey background.
QImage grab_label(CColorLabel& label)
{
  return label.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

bool image_contains(const QImage& image, QRgb colour)
{
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      if ((image.pixel(x, y) & 0xFFFFFF) == (colour & 0xFFFFFF)) return true;
    }
  }
  return false;
}

struct LabelFixture : ::testing::Test {
  CColorLabel label;
  void SetUp() override
  {
    label.resize(200, 20);
    label.setText(QStringLiteral("XXXXXXXXXXXX"));
    label.SetLabelBkColor(RGB(128, 128, 128));
    label.SetLabelTextColor(RGB(255, 255, 255));
    label.SetFlashTextColors(RGB(255, 0, 0), RGB(0, 0, 255));
  }
};

}  // namespace

TEST_F(LabelFixture, DefaultsAreTheButtonColours)
{
  CColorLabel fresh;
  EXPECT_EQ(fresh.CurrentTextColor(), RGB(0, 0, 0));
  EXPECT_EQ(fresh.BkColor(), GetSysColor(COLOR_BTNFACE));
  EXPECT_FALSE(fresh.IsFlashing());
  fresh.SetLabelTextColor(RGB(1, 2, 3));
  fresh.SetLabelBkColor(RGB(4, 5, 6));
  fresh.SetLabelTextColor(CLR_INVALID);
  fresh.SetLabelBkColor(CLR_INVALID);
  EXPECT_EQ(fresh.CurrentTextColor(), RGB(0, 0, 0));
  EXPECT_EQ(fresh.BkColor(), GetSysColor(COLOR_BTNFACE));
}

TEST_F(LabelFixture, FlashingAlternatesTheTwoColoursStartingWithTheFirst)
{
  label.FlashText(1, 1);
  EXPECT_EQ(label.FlashPeriod(), 1000);
  EXPECT_EQ(label.CurrentTextColor(), RGB(255, 0, 0));
  QImage first = grab_label(label);
  EXPECT_TRUE(image_contains(first, qRgb(255, 0, 0)));
  EXPECT_FALSE(image_contains(first, qRgb(0, 0, 255)));

  label.OnTimer(CColorLabel::FLASH_TIMER_ID);
  EXPECT_EQ(label.CurrentTextColor(), RGB(0, 0, 255));
  QImage second = grab_label(label);
  EXPECT_TRUE(image_contains(second, qRgb(0, 0, 255)));
  EXPECT_FALSE(image_contains(second, qRgb(255, 0, 0)));

  label.OnTimer(CColorLabel::FLASH_TIMER_ID);
  EXPECT_EQ(label.CurrentTextColor(), RGB(255, 0, 0));
  // A tick of another timer changes nothing.
  label.OnTimer(7);
  EXPECT_EQ(label.CurrentTextColor(), RGB(255, 0, 0));
}

TEST_F(LabelFixture, TheRealTimerFlipsTheState)
{
  label.FlashText(1, 50);
  EXPECT_EQ(label.FlashPeriod(), 50);
  EXPECT_TRUE(QTest::qWaitFor([&] { return label.FlashState() == 1; }, 2000));
  EXPECT_TRUE(QTest::qWaitFor([&] { return label.FlashState() == 0; }, 2000));
}

TEST_F(LabelFixture, SpeedsGiveTheirPeriods)
{
  label.FlashText(1, 0);
  EXPECT_EQ(label.FlashPeriod(), 2000);
  label.FlashText(1, 2);
  EXPECT_EQ(label.FlashPeriod(), 500);
  label.FlashText(1, 250);
  EXPECT_EQ(label.FlashPeriod(), 250);
}

TEST_F(LabelFixture, FlashingAgainRestartsWithStateZeroAndModeZeroIsSteady)
{
  label.FlashText(1, 1);
  label.OnTimer(CColorLabel::FLASH_TIMER_ID);
  ASSERT_EQ(label.FlashState(), 1);
  label.FlashText(1, 1);
  EXPECT_EQ(label.FlashState(), 0);
  EXPECT_EQ(label.CurrentTextColor(), RGB(255, 0, 0));

  label.FlashText(0, 1);
  EXPECT_FALSE(label.IsFlashing());
  EXPECT_EQ(label.CurrentTextColor(), RGB(255, 255, 255));
  label.OnTimer(CColorLabel::FLASH_TIMER_ID);  // the stopped timer's identifier no longer counts
  EXPECT_EQ(label.CurrentTextColor(), RGB(255, 255, 255));
  QImage steady = grab_label(label);
  EXPECT_TRUE(image_contains(steady, qRgb(255, 255, 255)));
  EXPECT_TRUE(image_contains(steady, qRgb(128, 128, 128)));  // its own background
}
