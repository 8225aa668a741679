// How a run ended, in the words the status line shows until the user next acts.
#pragma once

#include <string>

struct RunOutcome {
    enum class Gain {
        None,         // no normalization ran
        Normalized,   // peak normalization applied gainDb
        Amplified,    // a fixed amplification applied gainDb
        NotRequired,  // the peak was at full scale already: nothing changed
    };

    bool cancelled = false;  // Cancel ended the conversion before the end of the stream
    long frames = 0;         // frames converted and written
    std::string wavPath;     // the WAVE file (only its name is shown)
    Gain gain = Gain::None;
    double gainDb = 0.0;
};

// "done: 18750 frames", "done: 18750 frames, normalized +6.2 dB",
// "cancelled: 9375 frames kept in NAME.wav", "cancelled: ... kept in NAME.wav, amplified +15.0 dB",
// "done: 63 frames, no amplification required".
std::string RunOutcomeText(const RunOutcome& outcome);
