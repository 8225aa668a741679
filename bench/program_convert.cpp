// Runs one whole conversion in the program as a user does it: the converter dialog shown in a real
// window (xcb under Xvfb, or offscreen), the program's own format chooser answered with its first
// format (16-bit PCM) as a user pressing OK, Start clicked, and the program's event loop running its
// timers, painting, skin and status line until the dialog is ready again. Prints the seconds from
// the click on Start to the end of the run (normalization included when it is checked), the
// processor seconds the program spent meanwhile (all its threads, user and system; the X server's
// are not counted), the frame counter and the status line.
//
//   program_convert [--no-surround] [--no-normalize] IN.ac3 OUT.wav
//
// Surround and normalize are on, as the dialog starts. OUT.wav is removed first, so that Start does
// not ask about replacing it.
#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QFile>
#include <QMap>
#include <QTimer>
#include <sys/resource.h>

#include <cstdio>
#include <cstring>

#include "codec_chooser_dlg.h"
#include "codec_module_preload.h"
#include "converter_dlg.h"
#include "dialog_colors.h"
#include "res/resource.h"

namespace {

// Answers the format chooser with what it has selected when it opens: its first format.
void answer_chooser_when_it_opens()
{
  QTimer::singleShot(0, [] {
    if (auto* chooser = qobject_cast<CCodecChooserDlg*>(QApplication::activeModalWidget())) {
      chooser->accept();
      return;
    }
    answer_chooser_when_it_opens();
  });
}

// Ends the wait when Start is enabled again and the run is over.
class RunEnd : public QObject {
 public:
  RunEnd(CConverterDlg& dlg, QEventLoop& loop) : m_dlg(dlg), m_loop(loop) {}
  bool eventFilter(QObject* watched, QEvent* event) override
  {
    // The controller enables the buttons before it records the new state: look right after.
    if (event->type() == QEvent::EnabledChange && static_cast<QWidget*>(watched)->isEnabled()) {
      QTimer::singleShot(0, this, [this] {
        if (m_dlg.Controller().GetState() == CConversionController::State::Ready) m_loop.quit();
      });
    }
    return false;
  }

 private:
  CConverterDlg& m_dlg;
  QEventLoop& m_loop;
};

// Counts the paints of each kind of widget and the timer events of the dialog during the run.
class EventCounter : public QObject {
 public:
  explicit EventCounter(QObject* dialog) : m_dialog(dialog) {}
  bool eventFilter(QObject* watched, QEvent* event) override
  {
    if (event->type() == QEvent::Paint) ++m_paints[QString::fromLatin1(watched->metaObject()->className())];
    if (event->type() == QEvent::Timer && watched == m_dialog) ++m_ticks;
    return false;
  }
  QString Summary() const
  {
    QString text = QStringLiteral("%1 ticks of the dialog's timers; paints:").arg(m_ticks);
    for (auto it = m_paints.begin(); it != m_paints.end(); ++it) text += QStringLiteral(" %1 %2").arg(it.key()).arg(it.value());
    return text;
  }

 private:
  QObject* m_dialog;
  QMap<QString, int> m_paints;
  long m_ticks = 0;
};

// User and system processor seconds of the whole process so far.
double cpu_seconds()
{
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

}  // namespace

int main(int argc, char** argv)
{
  QApplication app(argc, argv);
  bool surround = true, normalize = true;
  int arg = 1;
  for (; arg < argc && argv[arg][0] == '-'; ++arg) {
    if (std::strcmp(argv[arg], "--no-surround") == 0) {
      surround = false;
    } else if (std::strcmp(argv[arg], "--no-normalize") == 0) {
      normalize = false;
    } else {
      std::fprintf(stderr, "program_convert: unknown option %s\n", argv[arg]);
      return 2;
    }
  }
  if (argc - arg != 2) {
    std::fprintf(stderr, "usage: program_convert [--no-surround] [--no-normalize] IN.ac3 OUT.wav\n");
    return 2;
  }
  const QString in = QString::fromLocal8Bit(argv[arg]);
  const QString out = QString::fromLocal8Bit(argv[arg + 1]);
  QFile::remove(out);

  // What CConverterApp::InitInstance does, with the dialog shown instead of run modally.
  SetDialogBkColor(RGB(0, 0, 0), RGB(255, 255, 255));
  const CCodecModulePreload preload;
  CConverterDlg dlg;
  CCodecChooserDlg::Install(&dlg);
  dlg.show();
  QElapsedTimer settle;
  settle.start();
  while (settle.elapsed() < 500) QApplication::processEvents(QEventLoop::AllEvents, 50);

  dlg.ChooseAc3File(in);
  dlg.m_wavPath = out;  // as the WAV "..." would set it
  dlg.EnableControl(IDC_START, true);
  dlg.UpdateData(false);
  auto* surroundButton = qobject_cast<QAbstractButton*>(dlg.GetDlgItem(IDC_SURROUND));
  auto* normalizeBox = qobject_cast<QAbstractButton*>(dlg.GetDlgItem(IDC_NORMALIZE));
  if (surroundButton->isChecked() != surround) surroundButton->click();
  if (normalizeBox->isChecked() != normalize) normalizeBox->click();
  QApplication::processEvents();

  QEventLoop loop;
  RunEnd end(dlg, loop);
  auto* start = qobject_cast<QAbstractButton*>(dlg.GetDlgItem(IDC_START));
  start->installEventFilter(&end);
  answer_chooser_when_it_opens();
  EventCounter counter(&dlg);
  app.installEventFilter(&counter);
  const double cpuBefore = cpu_seconds();
  QElapsedTimer clock;
  clock.start();
  start->click();
  if (dlg.Controller().GetState() != CConversionController::State::Ready) loop.exec();
  const double seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
  const double cpu = cpu_seconds() - cpuBefore;
  start->removeEventFilter(&end);
  app.removeEventFilter(&counter);
  CCodecChooserDlg::Uninstall();

  std::printf("%.3f s, cpu %.3f s, frames %s, status \"%s\"\n", seconds, cpu, qPrintable(dlg.m_framesText.trimmed()),
              qPrintable(dlg.StatusText()));
  std::printf("%s\n", qPrintable(counter.Summary()));
  return dlg.Engine().m_lastError == QELP_OK ? 0 : 1;
}
