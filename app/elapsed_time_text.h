// The elapsed-time text "%H:%M:%S" of a span of whole seconds: hours within the day, minutes,
// seconds, two digits each.
#pragma once

#include <QString>

QString ElapsedTimeText(long long seconds);
