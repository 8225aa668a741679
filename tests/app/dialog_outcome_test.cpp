// The dialog as people use it: how a run ended stays in the status line until the next choice or
// Start, a failure shows in red, a new file choice clears the counters, the WAV file is chosen in
// a save dialog opened on the AC-3 file's name, Start asks before replacing a file nobody
// confirmed, and the terse controls explain themselves in tool tips.
#include <QApplication>
#include <QDir>
#include <QTest>
#include <QToolTip>
#include <filesystem>

#include "dialog_fixture.h"
#include "support/paths.h"
#include "support/wave_reader.h"

namespace {

using State = CConversionController::State;

// How many pixels of the status line's inside are of the failure colour.
int alert_pixels(CConverterDlg& dlg)
{
  QWidget* status = dlg.GetDlgItem(IDC_STATUS);
  const QImage image = status->grab().toImage();
  const QColor red(GetRValue(CConverterDlg::ALERT_BK_COLOR), GetGValue(CConverterDlg::ALERT_BK_COLOR),
                   GetBValue(CConverterDlg::ALERT_BK_COLOR));
  int count = 0;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) count += image.pixelColor(x, y).rgb() == red.rgb() ? 1 : 0;
  }
  return count;
}

void save_artifact(QWidget& widget, const char* name)
{
  QDir().mkpath(QString::fromStdString(qelp_test::binary_path("artifacts/app")));
  widget.grab().save(QString::fromStdString(qelp_test::binary_path(std::string("artifacts/app/") + name)));
}

}  // namespace

class DialogOutcomeTest : public DialogTest {
 protected:
  void SetUp() override
  {
    DialogTest::SetUp();
    dir = qelp_test::scratch_dir();
    wav = dir + "/out.wav";
  }
  bool wait_ready() { return QTest::qWaitFor([&] { return dlg->Controller().GetState() == State::Ready; }, 60000); }

  std::string dir;
  std::string wav;
};

TEST_F(DialogOutcomeTest, TheOutcomeStaysUntilTheNextChoiceAndAFailureShowsInRed)
{
  choose_ac3(QString::fromStdString(qelp_test::data_path("stereo_48k_192.ac3")));
  choose_wav(QString::fromStdString(wav));
  check(IDC_NORMALIZE)->click();
  button(IDC_START)->click();
  ASSERT_TRUE(wait_ready());
  EXPECT_EQ(text(IDC_STATUS), "done: 63 frames");
  EXPECT_EQ(text(IDC_FRAMES), "        63");
  EXPECT_EQ(alert_pixels(*dlg), 0);
  QApplication::processEvents();
  EXPECT_EQ(text(IDC_STATUS), "done: 63 frames");  // the flash timer does not bring back the old text

  // A new WAV choice: the described text again, and the counters of the last run are gone.
  files.replaceAnswer = true;
  const std::string missing = dir + "/no such folder/out.wav";
  choose_wav(QString::fromStdString(missing));
  EXPECT_EQ(text(IDC_STATUS), "start convert now");
  for (int id : {IDC_BYTES, IDC_POSITION, IDC_FRAMES, IDC_TIME}) EXPECT_EQ(text(id), "") << id;
  EXPECT_EQ(dlg->Controller().Values().m_framesText, "");

  // A start that fails: the engine's text, on red.
  button(IDC_START)->click();
  EXPECT_EQ(dlg->Controller().GetState(), State::Ready);
  EXPECT_TRUE(text(IDC_STATUS).contains("no such folder")) << text(IDC_STATUS).toStdString();
  EXPECT_TRUE(dlg->StatusAlert());
  EXPECT_GT(alert_pixels(*dlg), 100);
  dlg->show();
  save_artifact(*dlg, "status_after_failure.png");

  // The next choice ends the alert.
  choose_ac3(QString::fromStdString(qelp_test::data_path("mono_48k_96.ac3")));
  EXPECT_FALSE(dlg->StatusAlert());
  EXPECT_EQ(alert_pixels(*dlg), 0);
  EXPECT_EQ(text(IDC_STATUS), "Select WAV File to encode");
}

TEST_F(DialogOutcomeTest, ALongFailureTextIsShortenedInTheMiddleAndWholeInTheToolTip)
{
  dlg->show();
  const QString longText = QStringLiteral("output_wavefile_open() : Could not create ") +
                           QString(QStringLiteral("/deep/folder")).repeated(12) + QStringLiteral("/out.wav");
  dlg->SetStatusText(longText);
  EXPECT_EQ(dlg->StatusText(), longText);
  EXPECT_EQ(dlg->StatusLabel()->toolTip(), longText);
  EXPECT_FALSE(dlg->StatusLabel()->TextFits(longText));
  dlg->SetStatusText(QStringLiteral("done: 63 frames"));
  EXPECT_TRUE(dlg->StatusLabel()->TextFits(QStringLiteral("done: 63 frames")));
  EXPECT_EQ(dlg->StatusLabel()->toolTip(), QString());
}

TEST_F(DialogOutcomeTest, TheWavDialogSavesAndSuggestsTheAc3FilesNameInItsFolder)
{
  const QString ac3 = QString::fromStdString(qelp_test::data_path("stereo_48k_192.ac3"));
  choose_ac3(ac3);
  choose_wav(QString());  // cancelled
  ASSERT_EQ(files.suggestions.size(), 1);
  EXPECT_EQ(files.suggestions[0], QString::fromStdString(qelp_test::data_path("stereo_48k_192.wav")));
  EXPECT_EQ(dlg->m_wavPath, "");
}

TEST_F(DialogOutcomeTest, StartAsksBeforeReplacingAFileTheDialogDidNotConfirm)
{
  choose_ac3(QString::fromStdString(qelp_test::data_path("stereo_48k_192.ac3")));
  check(IDC_NORMALIZE)->click();
  // Chosen when it did not exist: at Start it does (say, from another program), so Start asks.
  choose_wav(QString::fromStdString(wav));
  qelp_test::write_bytes(wav, {'m', 'i', 'n', 'e'});
  files.replaceAnswer = false;
  button(IDC_START)->click();
  EXPECT_EQ(files.askedReplace, QStringList{QString::fromStdString(wav)});
  EXPECT_EQ(TestChooser::calls, 0);
  EXPECT_EQ(qelp_test::read_bytes(wav), (std::vector<uint8_t>{'m', 'i', 'n', 'e'}));
  EXPECT_EQ(text(IDC_STATUS), "start convert now");

  // Chosen again in the dialog while it exists: the dialog confirmed it, Start does not ask.
  choose_wav(QString::fromStdString(wav));
  button(IDC_START)->click();
  EXPECT_EQ(files.askedReplace.size(), 1);
  ASSERT_TRUE(wait_ready());
  EXPECT_EQ(qelp_test::read_wave(wav).data_size, 63u * 6144u);

  // The conversion changed the file since it was confirmed: the next Start asks again.
  files.replaceAnswer = true;
  button(IDC_START)->click();
  EXPECT_EQ(files.askedReplace.size(), 2);
  ASSERT_TRUE(wait_ready());
}

TEST_F(DialogOutcomeTest, TerseControlsHaveToolTipsAndTheSliderShowsItsValueWhileDragged)
{
  EXPECT_TRUE(button(IDC_SURROUND)->toolTip().contains("surround-compatible fold-down"));
  EXPECT_TRUE(button(IDC_BROWSE_AC3)->toolTip().contains("AC-3 file"));
  EXPECT_TRUE(button(IDC_BROWSE_WAV)->toolTip().contains("WAVE file"));
  choose_ac3(QString::fromStdString(qelp_test::data_path("stereo_48k_192.ac3")));
  dlg->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(dlg.get()));
  slider()->setSliderDown(true);  // as while the mouse holds the handle
  slider()->setSliderPosition(7);
  EXPECT_TRUE(QTest::qWaitFor([] { return QToolTip::isVisible(); }, 5000));
  EXPECT_EQ(QToolTip::text(), "35 DB");
  slider()->setSliderDown(false);
  EXPECT_EQ(text(IDC_DB_LABEL), "35 DB");
  QToolTip::hideText();
}
