#include "conversion_controller.h"

#include <chrono>
#include <climits>
#include <cstdio>
#include <thread>

#include "elapsed_time_text.h"
#include "vector_state.h"

namespace {

// How GetNormExit says that a worker ended: it completed, or the peak is already at full scale.
constexpr int kNormExitCompleted = 0;
constexpr int kNormExitNotRequired = 3;

std::string format_text(const char* format, long a, long b = 0)
{
    char text[64];
    std::snprintf(text, sizeof text, format, a, b);
    return text;
}

}  // namespace

CConversionController::CConversionController(IConverterUi& ui) : m_ui(ui) {}

CConversionController::~CConversionController()
{
    // Closing during the format choice cannot happen: the chooser is modal and returns first.
    OnClose();
}

void CConversionController::enable_buttons(bool start, bool cancel, bool exit, bool browse)
{
    m_ui.EnableControl(IDC_START_CONVERT, start);
    m_ui.EnableControl(IDC_CANCEL_CONVERT, cancel);
    m_ui.EnableControl(IDC_EXIT, exit);
    m_ui.EnableControl(IDC_BROWSE_AC3, browse);
    m_ui.EnableControl(IDC_BROWSE_WAV, browse);
}

int CConversionController::progress_value(std::uint32_t bytes) const
{
    return static_cast<int>(bytes >> m_progressShift);
}

void CConversionController::OnStart()
{
    // One start at a time: a click that arrives while the format chooser is open, or while a run
    // goes on, is ignored.
    if (m_state != State::Ready) {
        return;
    }
    m_ui.UpdateData(m_values, true);
    std::string amplify;
    m_normRunningShown = false;
    if (m_values.m_amplify == 1) {
        amplify = std::to_string(m_ui.GetSliderPos() * kDbPerSliderStep);
    }
    m_engine.SetAmplifyDBLevel(amplify.data());

    // A missing or unreadable input is reported and nothing is touched. The output is not deleted
    // here: the writer replaces it when it creates the new file, after the format was chosen, and
    // refuses to write over the input.
    std::string in = m_values.m_ac3Path;
    std::string out = m_values.m_wavPath;
    if (m_engine.SetInFile(in.data()) != 0 || m_engine.SetOutFile(out.data()) != 0) {
        m_ui.SetStatusText(m_engine.m_lastErrorText);
        m_ui.SetStatusFlashing(true);
        return;
    }
    m_engine.SetSurround(m_values.m_surround);
    qelpsnd_set_overwrite(1);

    // The chooser is open inside InitEncoder: nothing may start, close or choose files meanwhile.
    m_state = State::Starting;
    enable_buttons(false, false, false, false);
    if (m_engine.InitEncoder() == 0) {
        const bool cancelled = m_engine.m_lastError == QELP_ERR_CANCELLED;
        m_state = State::Ready;
        enable_buttons(true, false, true, true);
        m_ui.SetStatusText(cancelled ? kTextReady : m_engine.m_lastErrorText);
        m_ui.SetStatusFlashing(true);
        return;
    }

    m_ui.UpdateData(m_values, true);
    if (m_values.m_normalize == 1) {
        m_engine.SetNormalizeOn();
    } else {
        m_engine.SetNormalizeOff();
    }
    m_normalizing = false;
    m_frameCount = 0;
    m_ui.SetStatusFlashing(false);
    m_ui.SetStatusText(kTextRunning);
    enable_buttons(false, true, false, false);
    m_progressShift = m_engine.m_inputSize > static_cast<std::uint32_t>(INT_MAX) ? 1 : 0;
    m_ui.SetProgressIdleAnimation(false);
    m_ui.SetProgressPos(0);
    m_ui.SetProgressRange(0, progress_value(m_engine.m_inputSize));
    m_startTime = m_ui.CurrentTime();
    m_state = State::Converting;
    m_ui.SetTimer(CONVERT_TIMER_ID, kConvertPeriodMs);
}

void CConversionController::OnTimer()
{
    switch (m_state) {
    case State::Converting: tick_converting(); break;
    case State::ScanningPeaks:
    case State::ApplyingGain: tick_normalizing(); break;
    default: break;  // a tick still queued when the run ended
    }
}

void CConversionController::tick_converting()
{
    // The window system painted since the last tick: give the engine clean vector registers.
    ClearUpperVectorState();
    for (int call = 0; call < kFramesPerTick; ++call) {
        ++m_frameCount;
        if (m_engine.DecodeFrame() == 0) {
            end_of_conversion();
            return;
        }
        refresh_display();
    }
}

void CConversionController::refresh_display()
{
    m_values.m_bytesText = format_text("%ld MB", static_cast<long>(m_engine.m_bytesDecoded >> 20));
    m_values.m_positionText = format_text("%ld MB von %ld MB", static_cast<long>(m_engine.m_inputPosition >> 20),
                                          static_cast<long>(m_engine.m_inputSize >> 20));
    char frames[16];
    std::snprintf(frames, sizeof frames, "%10d", m_frameCount);
    m_values.m_framesText = frames;
    m_ui.SetProgressPos(progress_value(m_engine.m_inputPosition));
    show_elapsed_time();
}

void CConversionController::show_elapsed_time()
{
    m_now = m_ui.CurrentTime();
    m_values.m_timeText = ElapsedTimeText(m_now - m_startTime);
    m_ui.UpdateData(m_values, false);
}

// The engine has closed both files (end of the stream, Cancel, or a failure it reported).
void CConversionController::end_of_conversion()
{
    m_ui.KillTimer(CONVERT_TIMER_ID);
    m_ui.SetProgressIdleAnimation(true);
    enable_buttons(true, false, true, true);
    m_state = State::Ready;
    // A failed write or close is said, and a file that failed is not normalized.
    const bool failed = m_engine.m_lastError != QELP_OK;
    m_ui.SetStatusText(failed ? m_engine.m_lastErrorText : kTextReady);
    m_ui.SetStatusFlashing(true);
    if (failed || m_values.m_normalize == 0) {
        return;
    }
    start_normalization();
}

void CConversionController::start_normalization()
{
    m_ui.SetStatusText(kTextScanning);
    m_ui.SetStatusFlashing(true);
    m_normalizing = true;
    m_ui.SetProgressRange(0, 100);
    m_ui.SetProgressPos(0);
    m_ui.SetProgressIdleAnimation(false);
    enable_buttons(false, false, false, false);
    m_state = State::ScanningPeaks;
    m_ui.SetTimer(CONVERT_TIMER_ID, kNormalizePeriodMs);
    // The box may have been checked only during the conversion: allow the worker in any case.
    m_engine.SetNormalizeOn();
    m_engine.StartNormalize();
    if (m_engine.m_lastError != QELP_OK) {
        become_ready(m_engine.m_lastErrorText);
    }
}

void CConversionController::tick_normalizing()
{
    // Read first: once the worker is seen to have ended, all its progress reports are in.
    const int exitCode = m_engine.GetNormExit();
    bool complete = false;
    if (m_engine.GetNormed() == 0) {
        m_ui.SetProgressPos(m_engine.GetScanned());
    } else {
        if (!m_normRunningShown) {
            m_normRunningShown = true;
            m_state = State::ApplyingGain;
            m_ui.SetStatusText(kTextNormalizing);
            m_ui.SetStatusFlashing(true);
        }
        m_ui.SetProgressPos(m_engine.GetNormed());
        if (m_engine.GetNormState()) {
            complete = true;
            become_ready(kTextReady);
        }
    }
    if (!complete && exitCode != QELP_NORM_RUNNING) {
        // The worker ended without reporting completion: say why and give the buttons back.
        if (exitCode == kNormExitNotRequired) {
            become_ready(kTextNoAmplification);
        } else if (exitCode == kNormExitCompleted) {
            become_ready(kTextReady);
        } else {
            become_ready(m_engine.m_lastError != QELP_OK ? m_engine.m_lastErrorText : "normalize failed");
        }
    }
    show_elapsed_time();
}

void CConversionController::become_ready(const std::string& status)
{
    m_ui.KillTimer(CONVERT_TIMER_ID);
    m_ui.SetProgressIdleAnimation(true);
    enable_buttons(true, false, true, true);
    m_ui.SetStatusText(status);
    m_ui.SetStatusFlashing(true);
    m_state = State::Ready;
}

void CConversionController::OnCancel()
{
    if (m_state != State::Converting) {
        return;
    }
    m_ui.KillTimer(CONVERT_TIMER_ID);
    m_engine.Terminate();
    end_of_conversion();
}

bool CConversionController::OnClose()
{
    switch (m_state) {
    case State::Starting: return false;
    case State::Converting:
        m_ui.KillTimer(CONVERT_TIMER_ID);
        m_engine.Terminate();  // a valid WAVE file of what was converted
        m_state = State::Ready;
        return true;
    case State::ScanningPeaks:
    case State::ApplyingGain:
        m_ui.KillTimer(CONVERT_TIMER_ID);
        // The worker rewrites the file in place; stopping it half-way would leave it part
        // amplified, so the dialog waits until it has finished.
        while (m_engine.GetNormExit() == QELP_NORM_RUNNING) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        m_state = State::Ready;
        return true;
    case State::Ready: return true;
    }
    return true;
}
