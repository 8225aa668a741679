// INTERIM: the dialog's own conversion run over CQelpsnd (Start, Cancel, the timer slices, the
// normalization and the safe close), used until the conversion controller takes these steps over.
// It keeps the controller's states and texts and builds the safe behaviour around the engine:
// nothing is deleted before the engine really starts the conversion, failures are shown on the
// status line, and a normalization that ends without reporting completion returns to Ready.
#include <QByteArray>
#include <ctime>

#include "color_label.h"
#include "converter_dlg.h"
#include "elapsed_time_text.h"
#include "res/resource.h"

namespace {
constexpr int kFramesPerTick = 25;
constexpr int kConvertPeriodMs = 1;
constexpr int kNormalizePeriodMs = 100;

const char* const kReadyText = "start convert now";
}  // namespace

void CConverterDlg::set_push_buttons(bool start, bool cancel, bool exit, bool browse)
{
  EnableControl(IDC_START, start);
  EnableControl(IDC_CANCEL, cancel);
  EnableControl(IDOK, exit);
  EnableControl(IDC_BROWSE_AC3, browse);
  EnableControl(IDC_BROWSE_WAV, browse);
}

void CConverterDlg::show_ready(const QString& text)
{
  KillConvertTimer();
  m_converting = false;
  m_normalizing = false;
  SetProgressIdleAnimation(true);
  set_push_buttons(true, false, true, true);
  SetStatusText(text);
  SetStatusFlashing(true);
  emit conversionStateChanged();
  if (m_closeRequested) QDialog::reject();
}

QString CConverterDlg::engine_failure_text() const
{
  return QString::fromLocal8Bit(m_engine.m_lastErrorText);
}

void CConverterDlg::OnStart()
{
  if (m_converting || m_normalizing) return;
  UpdateData(true);
  QByteArray amplify;
  m_normRunningShown = false;
  if (m_amplify == 1) amplify = QByteArray::number(SliderPos() * 5);
  m_engine.SetAmplifyDBLevel(amplify.data());
  QByteArray in = m_ac3Path.toLocal8Bit();
  QByteArray out = m_wavPath.toLocal8Bit();
  m_engine.SetInFile(in.data());
  m_engine.SetOutFile(out.data());
  m_engine.SetSurround(m_surround);
  // The format chooser is shown inside InitEncoder: no second Start, file choice or Exit meanwhile.
  set_push_buttons(false, false, false, false);
  m_converting = true;
  const int started = m_engine.InitEncoder();
  m_converting = false;
  if (!started) {
    // Nothing was created or removed; the engine says what failed and which file.
    show_ready(engine_failure_text());
    return;
  }
  UpdateData(true);
  if (m_normalize == 1) {
    m_engine.SetNormalizeOn();
  } else {
    m_engine.SetNormalizeOff();
  }
  m_normalizing = false;
  m_converting = true;
  m_frameCount = 0;
  SetStatusFlashing(false);
  SetStatusText(QStringLiteral("conversion is running... please wait..."));
  set_push_buttons(false, true, false, false);
  SetProgressIdleAnimation(false);
  SetProgressPos(0);
  SetProgressRange(static_cast<int>(std::min<uint32_t>(m_engine.m_inputSize, INT32_MAX)));
  m_startTime = std::time(nullptr);
  SetConvertTimer(kConvertPeriodMs);
  emit conversionStateChanged();
}

void CConverterDlg::end_conversion()
{
  KillConvertTimer();
  m_converting = false;
  if (m_engine.m_lastError != QELP_OK) {
    // A write or close failure: the file holds what was written; it is not normalized.
    show_ready(engine_failure_text());
    return;
  }
  SetProgressIdleAnimation(true);
  set_push_buttons(true, false, true, true);
  SetStatusText(QString::fromLatin1(kReadyText));
  SetStatusFlashing(true);
  if (m_normalize == 0 || m_closeRequested) {
    show_ready(QString::fromLatin1(kReadyText));
    return;
  }
  SetStatusText(QStringLiteral("searching peak levels for normalize...."));
  SetStatusFlashing(true);
  m_normalizing = true;
  SetProgressRange(100);
  SetProgressPos(0);
  SetProgressIdleAnimation(false);
  set_push_buttons(false, false, false, false);
  SetConvertTimer(kNormalizePeriodMs);
  m_engine.StartNormalize();
  emit conversionStateChanged();
}

void CConverterDlg::OnCancel()
{
  if (!m_converting) return;
  KillConvertTimer();
  m_engine.Terminate();
  end_conversion();
}

void CConverterDlg::OnTimer()
{
  if (!m_normalizing) {
    if (!m_converting) {
      KillConvertTimer();
      return;
    }
    for (int i = 0; i < kFramesPerTick; ++i) {
      ++m_frameCount;
      if (m_engine.DecodeFrame() == 0) {
        end_conversion();
        return;
      }
      m_bytesText = QString::asprintf("%ld MB", static_cast<long>(m_engine.m_bytesDecoded >> 20));
      m_positionText = QString::asprintf("%ld MB von %ld MB", static_cast<long>(m_engine.m_inputPosition >> 20),
                                         static_cast<long>(m_engine.m_inputSize >> 20));
      m_framesText = QString::asprintf("%10d", m_frameCount);
      SetProgressPos(static_cast<int>(std::min<uint32_t>(m_engine.m_inputPosition, INT32_MAX)));
      m_now = std::time(nullptr);
      m_timeText = ElapsedTimeText(static_cast<long long>(m_now - m_startTime));
      UpdateData(false);
    }
    return;
  }

  const int normed = m_engine.GetNormed();
  bool done = false;
  if (normed == 0) {
    SetProgressPos(m_engine.GetScanned());
  } else {
    if (!m_normRunningShown) {
      m_normRunningShown = true;
      SetStatusText(QStringLiteral("now running the normalize...."));
      SetStatusFlashing(true);
    }
    SetProgressPos(m_engine.GetNormed());
    done = m_engine.GetNormState();
  }
  m_now = std::time(nullptr);
  m_timeText = ElapsedTimeText(static_cast<long long>(m_now - m_startTime));
  UpdateData(false);
  if (done) {
    show_ready(QString::fromLatin1(kReadyText));
    return;
  }
  // The worker can end without reporting completion (nothing to change, or a failure).
  const int exit = m_engine.GetNormExit();
  if (exit != QELP_NORM_RUNNING && exit != QELP_NORM_IDLE) {
    QelpsndNormResult result{};
    qelpsnd_norm_result(&result);
    if (exit == 0 || exit == 3) {
      show_ready(QString::fromLatin1(kReadyText));
    } else {
      show_ready(engine_failure_text().isEmpty() ? QString::fromLocal8Bit(result.message) : engine_failure_text());
    }
  }
}

bool CConverterDlg::can_close()
{
  if (m_converting && ConvertTimerRunning()) {
    // A conversion in progress is finished as Cancel would: the WAVE file stays valid.
    KillConvertTimer();
    m_engine.Terminate();
    m_converting = false;
    return true;
  }
  if (m_converting) return false;  // the format chooser is open: it has to be answered first
  if (m_normalizing) {
    // Stopping the worker half way would leave the file partly amplified: close when it is done.
    m_closeRequested = true;
    SetStatusText(QStringLiteral("closing when the normalize is done...."));
    return false;
  }
  return true;
}
