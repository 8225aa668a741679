#include "elapsed_time_text.h"

#include <cstdio>

std::string ElapsedTimeText(std::int64_t seconds)
{
    const std::int64_t s = seconds < 0 ? 0 : seconds;
    const long long hours = s / 3600 - (s / 86400) * 24;
    const long long minutes = s / 60 - (s / 3600) * 60;
    const long long secs = s % 60;
    char text[80];
    std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld", hours, minutes, secs);
    return text;
}
