// The conversion controller of the converter dialog: Start, Cancel and the timer-driven frame
// loop, then the normalization phase, shown through the dialog's user-interface operations.
//
// A conversion runs on the dialog's thread in slices of at most 25 frames. A tick of timer 275
// (1 ms) converts one slice, and more while the tick has run for less than kTickBudget: a return to
// the event loop costs far more than a frame, yet input and painting still get their turn about a
// hundred times a second. The display is refreshed after every frame; the window paints between
// ticks. After the last frame the normalizer may run on its own thread, polled every 100 ms until
// it ends.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "converter_values.h"
#include "qelpsnd.h"
#include "run_outcome.h"
#include "ui_operations.h"

class CConversionController {
public:
    enum class State {
        Ready,          // nothing runs
        Starting,       // the format chooser is open
        Converting,     // frames are converted, timer at 1 ms
        ScanningPeaks,  // the normalizer looks for the peak, timer at 100 ms
        ApplyingGain,   // the normalizer rewrites the samples, timer at 100 ms
    };

    explicit CConversionController(IConverterUi& ui);
    CConversionController(const CConversionController&) = delete;
    CConversionController& operator=(const CConversionController&) = delete;
    // Finishes whatever runs (OnClose) before the engine goes.
    ~CConversionController();

    void OnStart();   // "Start convert"
    void OnCancel();  // "Cancel convert"
    void OnTimer();   // a tick of timer 275

    // The dialog is about to close: a conversion is ended with a valid, shorter file, a
    // normalization is waited for. False while the format chooser is open: the dialog stays.
    bool OnClose();

    State GetState() const { return m_state; }
    // Clears the counter texts (a new file was chosen: the last run's figures no longer apply).
    void ForgetCounters();
    // How the last run went (frames converted so far, cancelled, the gain of its normalization).
    const RunOutcome& Outcome() const { return m_outcome; }
    CConverterValues& Values() { return m_values; }
    const CConverterValues& Values() const { return m_values; }

    static constexpr int kFramesPerSlice = 25;
    // No slice starts once a tick has run this long; a tick lasts at most this plus one slice.
    static constexpr std::chrono::milliseconds kTickBudget{10};
    static constexpr unsigned kConvertPeriodMs = 1;
    static constexpr unsigned kNormalizePeriodMs = 100;
    static constexpr int kDbPerSliderStep = 5;

    // The status texts.
    static constexpr const char* kTextRunning = "conversion is running... please wait...";
    static constexpr const char* kTextReady = "start convert now";
    static constexpr const char* kTextScanning = "searching peak levels for normalize....";
    static constexpr const char* kTextNormalizing = "now running the normalize....";

    CQelpsnd m_engine;
    std::int32_t m_frameCount = 0;
    std::int64_t m_startTime = 0;
    std::int64_t m_now = 0;
    bool m_normalizing = false;
    bool m_normRunningShown = false;

private:
    void enable_buttons(bool start, bool cancel, bool exit, bool browse);
    void refresh_display();
    void show_elapsed_time();
    // The status line in its usual colours, or a failure in the alert colours; both flash.
    void show_status(const std::string& text);
    void show_failure(const std::string& text);
    static bool replaces_other_file(const std::string& in, const std::string& out);
    void end_of_conversion(bool cancelled);
    void start_normalization();
    void tick_converting();
    // Converts up to kFramesPerSlice frames; false when the conversion has ended.
    bool convert_slice();
    void tick_normalizing();
    // Waits up to the given time for the normalizer's worker to end; returns GetNormExit.
    int wait_for_worker(int milliseconds);
    void show_normalization_outcome(int exitCode);
    // Timer stopped, bar idle, buttons as in Ready; the caller says how the run ended.
    void become_ready();
    int progress_value(std::uint32_t bytes) const;

    IConverterUi& m_ui;
    CConverterValues m_values;
    State m_state = State::Ready;
    RunOutcome m_outcome;  // the run so far: frames converted, cancelled, the gain applied
    int m_progressShift = 0;  // byte counts past the progress bar's int range are halved
};
