#include "controls/color_tones.h"

namespace {

constexpr int kToneStep = 51;  // 0x33

int average_channel(int a, int b) { return a + ((b - a) >> 1); }

}  // namespace

COLORREF AverageColor(COLORREF a, COLORREF b)
{
    return RGB(average_channel(GetRValue(a), GetRValue(b)), average_channel(GetGValue(a), GetGValue(b)),
               average_channel(GetBValue(a), GetBValue(b)));
}

COLORREF BrightenKeep(COLORREF c)
{
    auto up = [](int v) { return v + kToneStep <= 255 ? v + kToneStep : v; };
    return RGB(up(GetRValue(c)), up(GetGValue(c)), up(GetBValue(c)));
}

COLORREF DarkenKeep(COLORREF c)
{
    auto down = [](int v) { return v >= kToneStep ? v - kToneStep : v; };
    return RGB(down(GetRValue(c)), down(GetGValue(c)), down(GetBValue(c)));
}
