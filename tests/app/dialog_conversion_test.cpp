// Whole conversions through the real dialog: Start and Cancel clicked, the timer running, the test's
// codec chooser answering; the WAVE file, the counters and the states afterwards.
#include <QApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QListWidget>
#include <QTimer>
#include <QDropEvent>
#include <QMimeData>
#include <QRegularExpression>
#include <QTest>
#include <QUrl>
#include <chrono>
#include <filesystem>

#include "codec_chooser_dlg.h"
#include "dialog_fixture.h"
#include "support/paths.h"
#include "support/wave_reader.h"

namespace {

using State = CConversionController::State;

const int kPushButtons[] = {IDC_START, IDC_CANCEL, IDOK, IDC_BROWSE_AC3, IDC_BROWSE_WAV};

// Eight copies of a 63-frame 5.1 stream at 640 kbit/s: 504 frames in 1,290,240 bytes, enough for
// whole mebibytes in the counters.
std::string make_long_input(const std::string& dir)
{
  const std::vector<uint8_t> one = qelp_test::read_bytes(qelp_test::data_path("3f2r_lfe_48k_640.ac3"));
  std::vector<uint8_t> all;
  for (int i = 0; i < 8; ++i) all.insert(all.end(), one.begin(), one.end());
  const std::string path = dir + "/long.ac3";
  qelp_test::write_bytes(path, all);
  return path;
}

// A steady clock that moves on by a whole tick's budget at every reading.
std::chrono::steady_clock::time_point slow_clock()
{
  static std::chrono::steady_clock::time_point now{};
  now += CConversionController::kTickBudget;
  return now;
}

}  // namespace

class DialogConversionTest : public DialogTest {
 protected:
  void SetUp() override
  {
    DialogTest::SetUp();
    dir = qelp_test::scratch_dir();
    wav = dir + "/out.wav";
  }

  bool wait_for_state(State state, int ms = 30000)
  {
    return QTest::qWaitFor([&] { return dlg->Controller().GetState() == state; }, ms);
  }

  void expect_ready_buttons()
  {
    EXPECT_TRUE(enabled(IDC_START));
    EXPECT_FALSE(enabled(IDC_CANCEL));
    EXPECT_TRUE(enabled(IDOK));
    EXPECT_TRUE(enabled(IDC_BROWSE_AC3));
    EXPECT_TRUE(enabled(IDC_BROWSE_WAV));
    EXPECT_TRUE(dlg->StatusLabel()->IsFlashing());
    EXPECT_FALSE(dlg->ConvertTimerRunning());
  }

  void choose_files(const std::string& ac3, const std::string& out)
  {
    choose_ac3(QString::fromStdString(ac3));
    choose_wav(QString::fromStdString(out));
  }

  std::string dir;
  std::string wav;
};

TEST_F(DialogConversionTest, WholeConversionEndsReadyWithAValidWaveFileAndTheFilesFigures)
{
  const std::string ac3 = make_long_input(dir);
  choose_files(ac3, wav);
  check(IDC_NORMALIZE)->click();  // no normalization: the run ends in Ready at once
  button(IDC_START)->click();
  EXPECT_EQ(TestChooser::calls, 1);
  EXPECT_EQ(TestChooser::title, "Select audio codec");
  ASSERT_EQ(dlg->Controller().GetState(), State::Converting);
  // While converting: only Cancel of the push buttons; the status line steady.
  EXPECT_FALSE(enabled(IDC_START));
  EXPECT_TRUE(enabled(IDC_CANCEL));
  EXPECT_FALSE(enabled(IDOK));
  EXPECT_FALSE(enabled(IDC_BROWSE_AC3));
  EXPECT_FALSE(enabled(IDC_BROWSE_WAV));
  EXPECT_EQ(text(IDC_STATUS), "conversion is running... please wait...");
  EXPECT_FALSE(dlg->StatusLabel()->IsFlashing());
  EXPECT_TRUE(dlg->ConvertTimerRunning());

  ASSERT_TRUE(wait_for_state(State::Ready));
  expect_ready_buttons();
  EXPECT_EQ(text(IDC_STATUS), "done: 504 frames");  // until the user next acts
  EXPECT_FALSE(dlg->StatusAlert());

  const qelp_test::WaveFile w = qelp_test::read_wave(wav);
  ASSERT_TRUE(w.ok) << w.error;
  EXPECT_EQ(w.format_tag, 1);
  EXPECT_EQ(w.channels, 2);
  EXPECT_EQ(w.sample_rate, 48000u);
  EXPECT_EQ(w.bits_per_sample, 16);
  EXPECT_EQ(w.data_size, 504u * 6144u);
  EXPECT_EQ(w.riff_size + 8, w.file_size);
  // The counters: 504 frames of 6144 bytes are 2 MiB (rounded down) of 1 MiB of AC-3.
  EXPECT_EQ(text(IDC_BYTES), "2 MB");
  EXPECT_EQ(text(IDC_POSITION), "1 MB von 1 MB");
  EXPECT_EQ(text(IDC_FRAMES), "       504");
  EXPECT_TRUE(QRegularExpression("^\\d\\d:\\d\\d:\\d\\d$").match(text(IDC_TIME)).hasMatch()) << text(IDC_TIME).toStdString();
  auto* progress = qobject_cast<CShadedProgressCtrl*>(item(IDC_PROGRESS));
  int lower = -1, upper = -1;
  progress->GetRange(lower, upper);
  EXPECT_EQ(lower, 0);
  EXPECT_EQ(upper, 1290240);
  EXPECT_TRUE(progress->GetIdleAnimation());
  // Kept for a person to look at: the dialog with the counters of a finished run.
  QDir().mkpath(QString::fromStdString(qelp_test::binary_path("artifacts/app")));
  dlg->grab().save(QString::fromStdString(qelp_test::binary_path("artifacts/app/after_conversion.png")));
}

TEST_F(DialogConversionTest, WithNormalizeTheRunPassesThroughTheNormalizerWithAllButtonsDisabled)
{
  choose_files(qelp_test::data_path("stereo_44k_192.ac3"), wav);
  ASSERT_EQ(check(IDC_NORMALIZE)->checkState(), Qt::Checked);
  button(IDC_START)->click();
  ASSERT_TRUE(QTest::qWaitFor([&] {
    const State s = dlg->Controller().GetState();
    return s == State::ScanningPeaks || s == State::ApplyingGain || s == State::Ready;
  }, 30000));
  if (dlg->Controller().GetState() != State::Ready) {
    for (int id : kPushButtons) EXPECT_FALSE(enabled(id)) << "control " << id;
    EXPECT_EQ(qobject_cast<CShadedProgressCtrl*>(item(IDC_PROGRESS))->GetIdleAnimation(), FALSE);
  }
  ASSERT_TRUE(wait_for_state(State::Ready));
  expect_ready_buttons();
  // The worker ran and ended well (0: completed, 3: the peak was at full scale already).
  const int exit = dlg->Engine().GetNormExit();
  EXPECT_TRUE(exit == 0 || exit == 3) << exit;
  const qelp_test::WaveFile w = qelp_test::read_wave(wav);
  ASSERT_TRUE(w.ok) << w.error;
  EXPECT_EQ(w.sample_rate, 44100u);
  EXPECT_EQ(w.data_size % 6144u, 0u);
  EXPECT_GT(w.data_size, 0u);
}

TEST_F(DialogConversionTest, CancellingTheCodecChoiceKeepsAnExistingOutputAndReturnsToReady)
{
  qelp_test::write_bytes(wav, {'k', 'e', 'e', 'p'});
  choose_files(qelp_test::data_path("stereo_44k_192.ac3"), wav);
  TestChooser::cancel = true;
  button(IDC_START)->click();
  EXPECT_EQ(TestChooser::calls, 1);
  EXPECT_EQ(dlg->Controller().GetState(), State::Ready);
  EXPECT_EQ(qelp_test::read_bytes(wav), (std::vector<uint8_t>{'k', 'e', 'e', 'p'}));
  expect_ready_buttons();
  EXPECT_EQ(text(IDC_STATUS), "start convert now");
}

TEST_F(DialogConversionTest, AnOutputNamingTheInputIsRefusedAndTheInputStaysWhole)
{
  const std::string ac3 = dir + "/in.ac3";
  std::filesystem::copy_file(qelp_test::data_path("stereo_44k_192.ac3"), ac3);
  const std::vector<uint8_t> before = qelp_test::read_bytes(ac3);
  choose_files(ac3, ac3);
  button(IDC_START)->click();
  EXPECT_EQ(dlg->Controller().GetState(), State::Ready);
  EXPECT_EQ(qelp_test::read_bytes(ac3), before);
  EXPECT_TRUE(text(IDC_STATUS).contains(QString::fromStdString(ac3))) << text(IDC_STATUS).toStdString();
  expect_ready_buttons();
}

TEST_F(DialogConversionTest, CancelLeavesAValidShorterFile)
{
  // A clock by which every slice spends a whole tick's budget: one slice per tick however fast the
  // machine, so that Cancel comes before the end of the 504 frames.
  dlg->SetSteadyClock(&slow_clock);
  const std::string ac3 = make_long_input(dir);
  choose_files(ac3, wav);
  check(IDC_NORMALIZE)->click();
  button(IDC_START)->click();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !text(IDC_FRAMES).isEmpty(); }, 10000));
  button(IDC_CANCEL)->click();
  EXPECT_EQ(dlg->Controller().GetState(), State::Ready);
  expect_ready_buttons();
  const qelp_test::WaveFile w = qelp_test::read_wave(wav);
  ASSERT_TRUE(w.ok) << w.error;
  EXPECT_GT(w.data_size, 0u);
  EXPECT_LT(w.data_size, 504u * 6144u);
  EXPECT_EQ(w.riff_size + 8, w.file_size);
  // Whole slices were converted, and the counter shows every frame the file holds.
  const unsigned frames = text(IDC_FRAMES).trimmed().toUInt();
  EXPECT_EQ(frames % CConversionController::kFramesPerSlice, 0u);
  EXPECT_EQ(w.data_size, frames * 6144u);
  EXPECT_EQ(text(IDC_STATUS), QStringLiteral("cancelled: %1 frames kept in out.wav").arg(frames));
}

TEST_F(DialogConversionTest, ClosingDuringAConversionEndsItWithAValidFile)
{
  const std::string ac3 = make_long_input(dir);
  choose_files(ac3, wav);
  check(IDC_NORMALIZE)->click();
  dlg->show();
  button(IDC_START)->click();
  ASSERT_EQ(dlg->Controller().GetState(), State::Converting);
  EXPECT_TRUE(dlg->close());  // the close command
  EXPECT_FALSE(dlg->isVisible());
  EXPECT_EQ(dlg->Controller().GetState(), State::Ready);
  const qelp_test::WaveFile w = qelp_test::read_wave(wav);
  ASSERT_TRUE(w.ok) << w.error;
  EXPECT_EQ(w.riff_size + 8, w.file_size);
}

TEST_F(DialogConversionTest, EscapeAndExitEndTheDialogWhenNothingRuns)
{
  dlg->show();
  QTest::keyClick(dlg.get(), Qt::Key_Escape);
  EXPECT_FALSE(dlg->isVisible());
  EXPECT_EQ(dlg->result(), QDialog::Rejected);
  dlg->show();
  button(IDOK)->click();
  EXPECT_FALSE(dlg->isVisible());
  EXPECT_EQ(dlg->result(), QDialog::Accepted);
}

TEST_F(DialogConversionTest, AnotherAc3FileAfterAConversionEnablesTheOptionsAgain)
{
  choose_files(qelp_test::data_path("mono_48k_96.ac3"), wav);
  check(IDC_NORMALIZE)->click();  // disables amplify, slider and label
  ASSERT_FALSE(enabled(IDC_AMPLIFY));
  button(IDC_START)->click();
  ASSERT_TRUE(wait_for_state(State::Ready));
  choose_ac3(QString::fromStdString(qelp_test::data_path("stereo_32k_96.ac3")));
  EXPECT_TRUE(enabled(IDC_NORMALIZE));
  EXPECT_TRUE(enabled(IDC_AMPLIFY));
  EXPECT_TRUE(enabled(IDC_AMPLIFY_SLIDER));
  EXPECT_FALSE(enabled(IDC_DB_LABEL));  // the label is not the file choice's
  EXPECT_TRUE(enabled(IDC_START));      // the WAV path stays in force
  EXPECT_EQ(text(IDC_STATUS), "Select WAV File to encode");
}

TEST_F(DialogConversionTest, ClearingNormalizeDuringAConversionIsReadAtOnce)
{
  const std::string ac3 = make_long_input(dir);
  choose_files(ac3, wav);
  button(IDC_START)->click();
  ASSERT_EQ(dlg->Controller().GetState(), State::Converting);
  EXPECT_TRUE(enabled(IDC_NORMALIZE));  // options keep their state during a run
  check(IDC_NORMALIZE)->click();
  EXPECT_EQ(dlg->Controller().Values().m_normalize, 0);
  ASSERT_TRUE(QTest::qWaitFor([&] { return dlg->Controller().GetState() != State::Converting; }, 30000));
  EXPECT_EQ(dlg->Controller().GetState(), State::Ready);  // straight to Ready, no normalization
  EXPECT_EQ(check(IDC_NORMALIZE)->checkState(), Qt::Unchecked);  // the refresh kept the click
}

TEST_F(DialogConversionTest, DroppingAnAc3FileActsAsItsChoiceOnlyWhenTheButtonIsUsable)
{
  auto drop = [&](const QString& path) {
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(path)});
    QDragEnterEvent enter(QPoint(200, 200), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(dlg.get(), &enter);
    if (!enter.isAccepted()) return false;
    QDropEvent dropped(QPointF(200, 200), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(dlg.get(), &dropped);
    return dropped.isAccepted();
  };
  const QString ac3 = QString::fromStdString(qelp_test::data_path("stereo_44k_192.ac3"));
  EXPECT_FALSE(drop(QString::fromStdString(qelp_test::data_path("make_fixtures.sh"))));
  EXPECT_FALSE(drop(QString::fromStdString(dir + "/missing.ac3")));
  EXPECT_EQ(dlg->m_ac3Path, "");
  EXPECT_FALSE(enabled(IDC_BROWSE_WAV));
  // A container counts as the AC-3 choice too; the WAVE file is suggested beside it.
  const QString mkv = QString::fromStdString(qelp_test::data_path("containers/stereo.mkv"));
  EXPECT_TRUE(drop(mkv));
  EXPECT_EQ(dlg->m_ac3Path, mkv);
  EXPECT_TRUE(enabled(IDC_BROWSE_WAV));
  EXPECT_TRUE(drop(ac3));
  EXPECT_EQ(dlg->m_ac3Path, ac3);
  EXPECT_TRUE(enabled(IDC_BROWSE_WAV));

  choose_wav(QString::fromStdString(wav));
  const std::string longer = make_long_input(dir);
  check(IDC_NORMALIZE)->click();
  button(IDC_START)->click();
  ASSERT_EQ(dlg->Controller().GetState(), State::Converting);
  EXPECT_FALSE(drop(QString::fromStdString(longer)));  // the AC-3 button is disabled meanwhile
  EXPECT_EQ(dlg->m_ac3Path, ac3);
  button(IDC_CANCEL)->click();
}

TEST_F(DialogConversionTest, ClosingDuringTheNormalizationWaitsForItThenCloses)
{
  const std::string ac3 = make_long_input(dir);
  choose_files(ac3, wav);
  dlg->show();
  button(IDC_START)->click();
  ASSERT_TRUE(QTest::qWaitFor([&] {
    const State s = dlg->Controller().GetState();
    return s == State::ScanningPeaks || s == State::ApplyingGain;
  }, 30000));
  EXPECT_FALSE(dlg->close());  // not yet: the worker rewrites the file in place
  EXPECT_TRUE(dlg->isVisible());
  EXPECT_EQ(text(IDC_STATUS), "closing when the normalize is done....");
  ASSERT_TRUE(QTest::qWaitFor([&] { return !dlg->isVisible(); }, 30000));
  EXPECT_EQ(dlg->Controller().GetState(), State::Ready);
  EXPECT_EQ(dlg->Engine().GetNormExit(), 0);  // the normalization ran to its end
  const qelp_test::WaveFile w = qelp_test::read_wave(wav);
  ASSERT_TRUE(w.ok) << w.error;
  EXPECT_EQ(w.data_size, 504u * 6144u);
}

TEST_F(DialogConversionTest, TheSurroundSwitchAndAmplificationReachTheEngineAtStart)
{
  choose_files(qelp_test::data_path("3f2r_48k_384.ac3"), wav);
  button(IDC_SURROUND)->click();  // off
  EXPECT_EQ(dlg->m_surround, 0);
  check(IDC_AMPLIFY)->click();
  slider()->setValue(3);
  EXPECT_EQ(text(IDC_DB_LABEL), "15 DB");
  button(IDC_START)->click();
  EXPECT_EQ(dlg->Engine().m_surround, 0);
  EXPECT_STREQ(dlg->Engine().m_amplify, "15");
  ASSERT_TRUE(wait_for_state(State::Ready, 60000));

  button(IDC_SURROUND)->click();  // on again, amplification off: a peak normalization
  check(IDC_AMPLIFY)->click();
  button(IDC_START)->click();
  EXPECT_EQ(dlg->Engine().m_surround, 1);
  EXPECT_STREQ(dlg->Engine().m_amplify, "");
  ASSERT_TRUE(wait_for_state(State::Ready, 60000));
}

TEST_F(DialogConversionTest, TheProgramsOwnChooserPicksTheFormatOfTheFile)
{
  CCodecChooserDlg::Install(dlg.get());
  choose_files(qelp_test::data_path("stereo_44k_192.ac3"), wav);
  check(IDC_NORMALIZE)->click();
  // Answer the chooser when it shows: 8-bit stereo PCM.
  QString title;
  QStringList tags;
  QTimer::singleShot(0, [&] {
    auto* chooser = qobject_cast<CCodecChooserDlg*>(QApplication::activeModalWidget());
    if (chooser == nullptr) return;
    title = chooser->windowTitle();
    for (int i = 0; i < chooser->FormatTagList()->count(); ++i) tags << chooser->FormatTagList()->item(i)->text();
    QDir().mkpath(QString::fromStdString(qelp_test::binary_path("artifacts/app")));
    chooser->grab().save(QString::fromStdString(qelp_test::binary_path("artifacts/app/codec_chooser.png")));
    chooser->FormatTagList()->setCurrentRow(0);
    const QList<QListWidgetItem*> rows = chooser->AttributesList()->findItems("8 Bit, Stereo", Qt::MatchContains);
    if (!rows.isEmpty()) chooser->AttributesList()->setCurrentItem(rows.first());
    chooser->accept();
  });
  button(IDC_START)->click();
  EXPECT_EQ(title, "Select audio codec");
  ASSERT_FALSE(tags.isEmpty());
  EXPECT_EQ(tags.first(), "PCM");
  ASSERT_TRUE(wait_for_state(State::Ready));
  const qelp_test::WaveFile w = qelp_test::read_wave(wav);
  ASSERT_TRUE(w.ok) << w.error;
  EXPECT_EQ(w.format_tag, 1);
  EXPECT_EQ(w.bits_per_sample, 8);
  EXPECT_EQ(w.channels, 2);
  CCodecChooserDlg::Uninstall();
}

TEST_F(DialogConversionTest, PathsWithNonAsciiNamesReachTheEngineIntact)
{
  const std::filesystem::path ac3 = std::filesystem::path(dir) / u8"Größe ü.ac3";
  const std::filesystem::path out = std::filesystem::path(dir) / u8"Ausgabe ß.wav";
  std::filesystem::copy_file(qelp_test::data_path("stereo_44k_192.ac3"), ac3);
  choose_ac3(QString::fromStdString(ac3.string()));
  choose_wav(QString::fromStdString(out.string()));
  EXPECT_EQ(text(IDC_AC3_PATH), QString::fromUtf8(ac3.string().c_str()));
  check(IDC_NORMALIZE)->click();
  button(IDC_START)->click();
  ASSERT_TRUE(wait_for_state(State::Ready));
  EXPECT_EQ(text(IDC_STATUS), "done: 58 frames");
  const qelp_test::WaveFile w = qelp_test::read_wave(out.string());
  ASSERT_TRUE(w.ok) << w.error;
  EXPECT_GT(w.data_size, 0u);
}
