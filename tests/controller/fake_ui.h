// A user interface for the controller without a window system: it keeps what the controller shows,
// holds the controls' values the test sets, and drives the clock by hand.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "conversion_controller.h"
#include "ui_operations.h"

struct FakeUi : IConverterUi {
    // What the controls hold (the test sets the options, the controller's texts land here).
    CConverterValues controls;
    int slider = 0;

    std::string status;
    bool flashing = false;
    bool alert = false;
    // The answer to "replace this file?", and the paths asked about.
    bool replaceAnswer = true;
    std::vector<std::string> askedReplace;
    std::map<int, bool> enabled{{IDC_START_CONVERT, true}, {IDC_CANCEL_CONVERT, false}, {IDC_EXIT, true},
                                {IDC_BROWSE_AC3, true}, {IDC_BROWSE_WAV, true}};
    int rangeLower = 0;
    int rangeUpper = 100;
    int pos = 0;
    bool idle = true;
    bool timerRunning = false;
    unsigned timerId = 0;
    unsigned timerPeriod = 0;
    int timerStarts = 0;
    std::int64_t now = 1700000000;
    // The steady clock: every reading moves it on by steadyStep. By default a whole tick budget,
    // so that a tick converts one slice, as on a machine where a slice takes that long.
    std::chrono::steady_clock::time_point steady{};
    std::chrono::microseconds steadyStep = CConversionController::kTickBudget;
    int steadyReadings = 0;
    std::vector<std::string> deleted;

    // The rest of the display at the moment a status text was set.
    struct Snapshot {
        std::map<int, bool> enabled;
        bool timerRunning;
        unsigned timerPeriod;
        int rangeLower;
        int rangeUpper;
        bool idle;
    };

    // Every status text set (with the display at that moment), and every set of counter texts shown.
    std::vector<std::string> statusHistory;
    std::vector<Snapshot> snapshots;
    std::vector<CConverterValues> shown;

    void SetStatusText(const std::string& text) override
    {
        status = text;
        statusHistory.push_back(text);
        snapshots.push_back({enabled, timerRunning, timerPeriod, rangeLower, rangeUpper, idle});
    }
    void SetStatusFlashing(bool on) override { flashing = on; }
    void SetStatusAlert(bool on) override { alert = on; }
    bool AskReplaceFile(const std::string& path) override
    {
        askedReplace.push_back(path);
        return replaceAnswer;
    }
    void EnableControl(int id, bool enable) override { enabled[id] = enable; }
    void SetProgressRange(int lower, int upper) override
    {
        rangeLower = lower;
        rangeUpper = upper;
    }
    void SetProgressPos(int p) override { pos = p; }
    void SetProgressIdleAnimation(bool on) override { idle = on; }
    int GetSliderPos() override { return slider; }
    void UpdateData(CConverterValues& values, bool save) override
    {
        if (save) {
            values.m_ac3Path = controls.m_ac3Path;
            values.m_wavPath = controls.m_wavPath;
            values.m_normalize = controls.m_normalize;
            values.m_amplify = controls.m_amplify;
            values.m_surround = controls.m_surround;
            values.m_wavConfirmed = controls.m_wavConfirmed;
        } else {
            controls.m_bytesText = values.m_bytesText;
            controls.m_positionText = values.m_positionText;
            controls.m_framesText = values.m_framesText;
            controls.m_timeText = values.m_timeText;
            shown.push_back(values);
        }
    }
    void SetTimer(unsigned id, unsigned milliseconds) override
    {
        timerRunning = true;
        timerId = id;
        timerPeriod = milliseconds;
        ++timerStarts;
    }
    void KillTimer(unsigned id) override
    {
        if (id == timerId) {
            timerRunning = false;
        }
    }
    std::int64_t CurrentTime() override { return now; }
    std::chrono::steady_clock::time_point SteadyNow() override
    {
        ++steadyReadings;
        const auto reading = steady;
        steady += steadyStep;
        return reading;
    }
    void DeleteFile(const std::string& path) override { deleted.push_back(path); }
};
