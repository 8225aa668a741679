// What the conversion controller needs from the user interface. The dialog implements these
// operations with its controls; tests implement them with a fake, so the controller runs without
// a window system.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "converter_values.h"

// The dialog's push buttons, by control identifier.
constexpr int IDC_START_CONVERT = 1000;
constexpr int IDC_CANCEL_CONVERT = 1004;
constexpr int IDC_EXIT = 1;
constexpr int IDC_BROWSE_AC3 = 1010;
constexpr int IDC_BROWSE_WAV = 1011;

// The dialog's only window timer.
constexpr unsigned CONVERT_TIMER_ID = 275;

class IConverterUi {
public:
    virtual ~IConverterUi() = default;

    // The status line (control 1001): its text, whether it flashes, and whether it shows a failure
    // (in colours of its own, so that it is seen at a glance).
    virtual void SetStatusText(const std::string& text) = 0;
    virtual void SetStatusFlashing(bool on) = 0;
    virtual void SetStatusAlert(bool on) = 0;

    // Enables or disables one of the five push buttons.
    virtual void EnableControl(int id, bool enable) = 0;

    // The progress bar (control 1005): range from lower to upper, position, idle animation.
    virtual void SetProgressRange(int lower, int upper) = 0;
    virtual void SetProgressPos(int pos) = 0;
    virtual void SetProgressIdleAnimation(bool on) = 0;

    // The amplification slider's position, 0 to 10.
    virtual int GetSliderPos() = 0;

    // save true: reads all controls into the values; false: shows all values in the controls.
    virtual void UpdateData(CConverterValues& values, bool save) = 0;

    // The window timer with an identifier and a period in milliseconds.
    virtual void SetTimer(unsigned id, unsigned milliseconds) = 0;
    virtual void KillTimer(unsigned id) = 0;

    // The calendar time in whole seconds.
    virtual std::int64_t CurrentTime() = 0;

    // A monotonic clock: how long a tick has run, so that it returns to the event loop in time.
    virtual std::chrono::steady_clock::time_point SteadyNow() = 0;

    // Deletes a file, ignoring failure.
    virtual void DeleteFile(const std::string& path) = 0;

    // Asks whether the existing file at path may be replaced; true for yes.
    virtual bool AskReplaceFile(const std::string& path) = 0;
};
