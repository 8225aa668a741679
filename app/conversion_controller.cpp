#include "conversion_controller.h"

#include <chrono>
#include <climits>
#include <cstdio>
#include <filesystem>
#include <system_error>
#include <thread>

#include "elapsed_time_text.h"
#include "vector_state.h"

namespace {

// How GetNormExit says that a worker ended: it completed, or the peak is already at full scale.
constexpr int kNormExitCompleted = 0;
constexpr int kNormExitNotRequired = 3;

// What the writer does with an existing output (qelpsnd_set_overwrite).
constexpr int kOverwrite = 1;
constexpr int kRefuseExisting = 2;

// How long a tick waits for a worker that has reported completion to end (it closes the file).
constexpr int kWorkerEndWaitMs = 50;

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
        show_failure(m_engine.m_lastErrorText);
        return;
    }
    // An existing file is replaced only with the user's word: given in the WAV file dialog for the
    // file as it is now, or asked for here. A file that appears after this point is not replaced.
    const bool exists = replaces_other_file(in, out);
    if (exists && !m_values.m_wavConfirmed && !m_ui.AskReplaceFile(out)) {
        show_status(kTextReady);
        return;
    }
    qelpsnd_set_overwrite(exists ? kOverwrite : kRefuseExisting);
    m_engine.SetSurround(m_values.m_surround);

    // The chooser is open inside InitEncoder: nothing may start, close or choose files meanwhile.
    m_state = State::Starting;
    enable_buttons(false, false, false, false);
    if (m_engine.InitEncoder() == 0) {
        const bool cancelled = m_engine.m_lastError == QELP_ERR_CANCELLED;
        m_state = State::Ready;
        enable_buttons(true, false, true, true);
        if (cancelled) {
            show_status(kTextReady);
        } else {
            show_failure(m_engine.m_lastErrorText);
        }
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
    m_outcome = RunOutcome{};
    m_outcome.wavPath = out;
    m_ui.SetStatusAlert(false);
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

// Whether out names an existing file other than the input (the engine refuses that one itself).
bool CConversionController::replaces_other_file(const std::string& in, const std::string& out)
{
    std::error_code error;
    if (!std::filesystem::exists(out, error)) {
        return false;
    }
    return !std::filesystem::equivalent(in, out, error);
}

void CConversionController::show_status(const std::string& text)
{
    m_ui.SetStatusAlert(false);
    m_ui.SetStatusText(text);
    m_ui.SetStatusFlashing(true);
}

void CConversionController::show_failure(const std::string& text)
{
    m_ui.SetStatusAlert(true);
    m_ui.SetStatusText(text);
    m_ui.SetStatusFlashing(true);
}

void CConversionController::ForgetCounters()
{
    m_values.m_bytesText.clear();
    m_values.m_positionText.clear();
    m_values.m_framesText.clear();
    m_values.m_timeText.clear();
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
    const auto began = m_ui.SteadyNow();
    while (convert_slice()) {
        if (m_ui.SteadyNow() - began >= kTickBudget) {
            return;
        }
    }
}

bool CConversionController::convert_slice()
{
    // The window system painted since the last tick, and the display was refreshed since the last
    // slice: give the engine clean vector registers.
    ClearUpperVectorState();
    for (int call = 0; call < kFramesPerSlice; ++call) {
        ++m_frameCount;
        if (m_engine.DecodeFrame() == 0) {
            end_of_conversion(false);
            return false;
        }
        ++m_outcome.frames;
        refresh_display();
    }
    return true;
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
void CConversionController::end_of_conversion(bool cancelled)
{
    m_ui.KillTimer(CONVERT_TIMER_ID);
    m_ui.SetProgressIdleAnimation(true);
    enable_buttons(true, false, true, true);
    m_state = State::Ready;
    m_outcome.cancelled = cancelled;
    // A failed write or close is said, and a file that failed is not normalized.
    if (m_engine.m_lastError != QELP_OK) {
        show_failure(m_engine.m_lastErrorText);
        return;
    }
    if (m_values.m_normalize == 0) {
        show_status(RunOutcomeText(m_outcome));
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
        become_ready();
        show_failure(m_engine.m_lastErrorText);
    }
}

void CConversionController::tick_normalizing()
{
    // Read first: once the worker is seen to have ended, all its progress reports are in.
    int exitCode = m_engine.GetNormExit();
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
        // Completion is reported just before the worker closes the file; its result (the gain)
        // is there once it has ended.
        complete = m_engine.GetNormState() && (exitCode = wait_for_worker(kWorkerEndWaitMs)) != QELP_NORM_RUNNING;
    }
    if (complete || exitCode != QELP_NORM_RUNNING) {
        become_ready();
        show_normalization_outcome(exitCode);
    }
    show_elapsed_time();
}

int CConversionController::wait_for_worker(int milliseconds)
{
    int exitCode = m_engine.GetNormExit();
    for (int waited = 0; exitCode == QELP_NORM_RUNNING && waited < milliseconds; ++waited) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        exitCode = m_engine.GetNormExit();
    }
    return exitCode;
}

void CConversionController::show_normalization_outcome(int exitCode)
{
    QelpsndNormResult result{};
    const bool haveResult = qelpsnd_norm_result(&result) != 0;
    if (exitCode == kNormExitCompleted) {
        m_outcome.gain = haveResult && result.fixed ? RunOutcome::Gain::Amplified : RunOutcome::Gain::Normalized;
        m_outcome.gainDb = haveResult ? result.gainDb : 0.0;
        show_status(RunOutcomeText(m_outcome));
    } else if (exitCode == kNormExitNotRequired) {
        m_outcome.gain = RunOutcome::Gain::NotRequired;
        show_status(RunOutcomeText(m_outcome));
    } else if (m_engine.m_lastError != QELP_OK) {
        show_failure(m_engine.m_lastErrorText);
    } else {
        show_failure(haveResult && result.message[0] != '\0' ? result.message : "normalize failed");
    }
}

void CConversionController::become_ready()
{
    m_ui.KillTimer(CONVERT_TIMER_ID);
    m_ui.SetProgressIdleAnimation(true);
    enable_buttons(true, false, true, true);
    m_state = State::Ready;
}

void CConversionController::OnCancel()
{
    if (m_state != State::Converting) {
        return;
    }
    m_ui.KillTimer(CONVERT_TIMER_ID);
    m_engine.Terminate();
    end_of_conversion(true);
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
