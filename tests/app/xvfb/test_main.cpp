// The dialogs in real X windows: run under Xvfb with QT_QPA_PLATFORM=xcb.
#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
  if (qEnvironmentVariableIsEmpty("QELP_AUDIO_DEVICE")) qputenv("QELP_AUDIO_DEVICE", "null");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
