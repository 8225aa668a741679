// The program's dialogs in real X windows (under Xvfb): Qt's own save dialog for the WAV file asks
// before an existing file is taken, and No leaves it alone; the status line after a completed run,
// a Cancel and a failure; the About box and the format chooser in the platform's dialog colours.
// Screenshots of what the screen shows go to artifacts/app (names beginning with "xvfb_").
#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <functional>

#include "about_dlg.h"
#include "codec_chooser_dlg.h"
#include "dialog_fixture.h"
#include "support/paths.h"
#include "support/wave_reader.h"

namespace {

using State = CConversionController::State;

// What the screen shows of a window, and a copy kept under artifacts/app.
QImage shoot(QWidget* window, const char* name)
{
  QApplication::processEvents();
  QTest::qWait(150);  // the X server has the last paint
  const QImage image = window->screen()->grabWindow(window->winId()).toImage().convertToFormat(QImage::Format_RGB32);
  QDir().mkpath(QString::fromStdString(qelp_test::binary_path("artifacts/app")));
  image.save(QString::fromStdString(qelp_test::binary_path(std::string("artifacts/app/xvfb_") + name + ".png")));
  return image;
}

// Runs action on the next modal window of type T once it is shown (polled from the event loop).
template <typename T>
void when_shown(std::function<void(T*)> action, int attempts = 200)
{
  QTimer::singleShot(25, [action, attempts] {
    if (auto* window = qobject_cast<T*>(QApplication::activeModalWidget()); window != nullptr && window->isVisible()) {
      action(window);
    } else if (attempts > 0) {
      when_shown<T>(action, attempts - 1);
    }
  });
}

// The share of a window's pixels that are its palette's window colour.
double share_of(const QImage& image, const QColor& colour)
{
  long same = 0;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) same += image.pixelColor(x, y).rgb() == colour.rgb() ? 1 : 0;
  }
  return image.width() * image.height() > 0 ? double(same) / (image.width() * image.height()) : 0.0;
}

class XvfbDialogTest : public DialogTest {
 protected:
  void SetUp() override
  {
    DialogTest::SetUp();
    dir = qelp_test::scratch_dir();
    dlg->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dlg.get()));
  }
  bool wait_ready() { return QTest::qWaitFor([&] { return dlg->Controller().GetState() == State::Ready; }, 60000); }

  std::string dir;
};

}  // namespace

TEST_F(XvfbDialogTest, TheWavSaveDialogAsksBeforeTakingAnExistingFileAndNoKeepsIt)
{
  dlg->SetFileDialogs(nullptr);  // Qt's own dialogs
  const std::string ac3 = dir + "/film.ac3";
  std::filesystem::copy_file(qelp_test::source_path("samples/demo.ac3"), ac3);
  const std::string existing = dir + "/film.wav";
  qelp_test::write_bytes(existing, {'m', 'i', 'n', 'e'});
  ASSERT_TRUE(dlg->OpenAc3File(QString::fromStdString(ac3)));

  QString title, acceptText, suggestedName, suggestedFolder, question;
  bool stillOpenAfterNo = false;
  when_shown<QFileDialog>([&](QFileDialog* files) {
    title = files->windowTitle();
    if (auto* box = files->findChild<QDialogButtonBox*>()) {
      for (QAbstractButton* b : box->buttons()) {
        if (box->buttonRole(b) == QDialogButtonBox::AcceptRole) acceptText = b->text();
      }
    }
    suggestedFolder = files->directory().absolutePath();
    auto* name = files->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    suggestedName = name != nullptr ? name->text() : QString();
    shoot(files, "wav_save_dialog");
    // The question comes while Save is being pressed: answer it No.
    when_shown<QMessageBox>([&](QMessageBox* box) {
      question = box->text();
      shoot(box, "wav_replace_question");
      box->button(QMessageBox::No)->click();
    });
    if (name != nullptr) QTest::keyClick(name, Qt::Key_Return);
    stillOpenAfterNo = files->isVisible();
    files->reject();
  });
  button(IDC_BROWSE_WAV)->click();

  EXPECT_NE(title, "Open");
  EXPECT_EQ(title, "Save As");
  EXPECT_EQ(acceptText.remove('&'), "Save");
  EXPECT_EQ(suggestedName, "film.wav");
  EXPECT_EQ(suggestedFolder, QString::fromStdString(dir));
  EXPECT_TRUE(question.contains("film.wav")) << question.toStdString();
  EXPECT_TRUE(question.contains("replace")) << question.toStdString();
  EXPECT_TRUE(stillOpenAfterNo);
  EXPECT_EQ(dlg->m_wavPath, "");
  EXPECT_FALSE(enabled(IDC_START));
  EXPECT_EQ(qelp_test::read_bytes(existing), (std::vector<uint8_t>{'m', 'i', 'n', 'e'}));

  // Yes takes it, and Start then replaces it without a second question.
  when_shown<QFileDialog>([&](QFileDialog* files) {
    when_shown<QMessageBox>([](QMessageBox* box) { box->button(QMessageBox::Yes)->click(); });
    if (auto* name = files->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))) QTest::keyClick(name, Qt::Key_Return);
  });
  button(IDC_BROWSE_WAV)->click();
  EXPECT_EQ(dlg->m_wavPath, QString::fromStdString(existing));
  int questionsAtStart = 0;
  when_shown<QMessageBox>([&](QMessageBox* box) {
    ++questionsAtStart;
    box->button(QMessageBox::No)->click();
  }, 40);
  button(IDC_START)->click();
  ASSERT_TRUE(wait_ready());
  EXPECT_EQ(questionsAtStart, 0);
  EXPECT_TRUE(qelp_test::read_wave(existing).ok);
}

TEST_F(XvfbDialogTest, TheStatusLineAfterACompletedRunACancelAndAFailure)
{
  // Eight copies of a 5.1 fixture: long enough to cancel in the middle.
  const std::vector<uint8_t> one = qelp_test::read_bytes(qelp_test::data_path("3f2r_lfe_48k_640.ac3"));
  std::vector<uint8_t> all;
  for (int i = 0; i < 8; ++i) all.insert(all.end(), one.begin(), one.end());
  const std::string ac3 = dir + "/long.ac3";
  qelp_test::write_bytes(ac3, all);
  choose_ac3(QString::fromStdString(ac3));
  choose_wav(QString::fromStdString(dir + "/out.wav"));
  check(IDC_NORMALIZE)->click();

  button(IDC_START)->click();
  ASSERT_TRUE(wait_ready());
  EXPECT_EQ(text(IDC_STATUS), "done: 504 frames");
  shoot(dlg.get(), "status_done");

  files.replaceAnswer = true;
  button(IDC_START)->click();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !text(IDC_FRAMES).isEmpty() && text(IDC_FRAMES) != "       504"; }, 10000));
  button(IDC_CANCEL)->click();
  EXPECT_TRUE(text(IDC_STATUS).startsWith("cancelled: ")) << text(IDC_STATUS).toStdString();
  EXPECT_TRUE(text(IDC_STATUS).endsWith(" frames kept in out.wav")) << text(IDC_STATUS).toStdString();
  shoot(dlg.get(), "status_cancelled");

  choose_wav(QString::fromStdString(dir + "/no such folder/out.wav"));
  button(IDC_START)->click();
  EXPECT_TRUE(dlg->StatusAlert());
  const QImage failure = shoot(dlg.get(), "status_failure");
  // Red shows on the screen where the status line is.
  QWidget* status = item(IDC_STATUS);
  const QRect inside = QRect(status->mapTo(dlg.get(), QPoint(0, 0)), status->size()).adjusted(2, 2, -2, -2);
  const QColor red(GetRValue(CConverterDlg::ALERT_BK_COLOR), GetGValue(CConverterDlg::ALERT_BK_COLOR),
                   GetBValue(CConverterDlg::ALERT_BK_COLOR));
  EXPECT_GT(share_of(failure.copy(inside), red), 0.5);
}

TEST_F(XvfbDialogTest, TheAboutBoxAndTheFormatChooserUseTheDialogColours)
{
  const QColor face = QApplication::palette().color(QPalette::Window);
  ASSERT_NE(face, QColor(0, 0, 0));
  CAboutDlg about(dlg.get());
  about.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&about));
  const QImage aboutShot = shoot(&about, "about_box");
  EXPECT_GT(share_of(aboutShot, face), 0.5);
  EXPECT_LT(share_of(aboutShot, QColor(0, 0, 0)), 0.05);
  about.accept();

  CCodecChooserDlg::Install(dlg.get());
  choose_ac3(QString::fromStdString(qelp_test::data_path("stereo_48k_192.ac3")));
  choose_wav(QString::fromStdString(dir + "/chooser.wav"));
  check(IDC_NORMALIZE)->click();
  QImage chooserShot;
  when_shown<CCodecChooserDlg>([&](CCodecChooserDlg* chooser) {
    chooserShot = shoot(chooser, "format_chooser");
    chooser->accept();
  });
  button(IDC_START)->click();
  CCodecChooserDlg::Uninstall();
  ASSERT_FALSE(chooserShot.isNull());
  // Around its lists and buttons the chooser is the dialog colour, not black.
  EXPECT_GT(share_of(chooserShot, face), 0.2);
  EXPECT_LT(share_of(chooserShot, QColor(0, 0, 0)), 0.05);
  EXPECT_EQ(chooserShot.pixelColor(2, chooserShot.height() - 3), face);
  ASSERT_TRUE(wait_ready());
}
