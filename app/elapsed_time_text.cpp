#include "elapsed_time_text.h"

QString ElapsedTimeText(long long s)
{
  if (s < 0) s = 0;  // the clock was set back during the run
  const long long hours = s / 3600 - (s / 86400) * 24;
  const long long minutes = s / 60 - (s / 3600) * 60;
  const long long seconds = s % 60;
  return QString::asprintf("%02lld:%02lld:%02lld", hours, minutes, seconds);
}
