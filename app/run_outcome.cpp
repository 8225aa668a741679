#include "run_outcome.h"

#include <cstdio>

namespace {

// The last part of a path: what follows the last '/'.
std::string file_name(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

std::string RunOutcomeText(const RunOutcome& outcome)
{
    std::string text = (outcome.cancelled ? "cancelled: " : "done: ") + std::to_string(outcome.frames) + " frames";
    if (outcome.cancelled) {
        text += " kept in " + file_name(outcome.wavPath);
    }
    char gain[48];
    switch (outcome.gain) {
    case RunOutcome::Gain::None: break;
    case RunOutcome::Gain::Normalized:
        std::snprintf(gain, sizeof gain, ", normalized %+.1f dB", outcome.gainDb);
        text += gain;
        break;
    case RunOutcome::Gain::Amplified:
        std::snprintf(gain, sizeof gain, ", amplified %+.1f dB", outcome.gainDb);
        text += gain;
        break;
    case RunOutcome::Gain::NotRequired: text += ", no amplification required"; break;
    }
    return text;
}
