// The elapsed-time text of the converter dialog.
#pragma once

#include <cstdint>
#include <string>

// "HH:MM:SS" of a span of whole seconds, with the hour taken within the day (a span of a day, an
// hour, a minute and a second shows as "01:01:01"). A negative span (the clock was set back)
// shows as "00:00:00".
std::string ElapsedTimeText(std::int64_t seconds);
