// The dialog values the conversion controller reads and writes, moved to and from the controls by
// the dialog's data exchange.
#pragma once

#include <string>

struct CConverterValues {
    // Read: the chosen files and options.
    std::string m_ac3Path;  // AC-3 file
    std::string m_wavPath;  // WAVE file
    int m_normalize = 0;    // check box 1009
    int m_amplify = 0;      // check box 1023
    int m_surround = 0;     // push-like check box 1029
    bool m_wavConfirmed = false;  // the user agreed to replace the WAVE file as it is now

    // Written: the counters.
    std::string m_bytesText;     // control 1002
    std::string m_positionText;  // control 1003
    std::string m_framesText;    // control 1006
    std::string m_timeText;      // control 1017
};
