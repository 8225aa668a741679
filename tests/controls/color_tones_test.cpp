// The tone arithmetic and the system colours the controls start from.
#include <QPalette>

#include "controls/color_tones.h"
#include "controls/sys_colors.h"
#include "pixels.h"

TEST(AverageColor, RoundsEachChannelDownOnItsOwn)
{
    EXPECT_EQ(AverageColor(RGB(192, 192, 192), RGB(128, 128, 128)), RGB(160, 160, 160));
    EXPECT_EQ(AverageColor(RGB(128, 128, 128), RGB(64, 64, 64)), RGB(96, 96, 96));
    EXPECT_EQ(AverageColor(RGB(212, 208, 200), RGB(128, 128, 128)), RGB(170, 168, 164));
    // Odd differences: 201 and 128 average to 164.5, 128 and 201 as well; both round down.
    EXPECT_EQ(AverageColor(RGB(201, 0, 255), RGB(128, 1, 0)), RGB(164, 0, 127));
    EXPECT_EQ(AverageColor(RGB(128, 1, 0), RGB(201, 0, 255)), RGB(164, 0, 127));
    // No carry between channels and a clear top byte, whatever the inputs' top bytes hold.
    EXPECT_EQ(AverageColor(RGB(255, 255, 255), RGB(255, 255, 255)), RGB(255, 255, 255));
    EXPECT_EQ(AverageColor(0xFF000000u | RGB(0, 255, 0), RGB(255, 0, 255)), RGB(127, 127, 127));
}

TEST(ToneSteps, KeepChannelsThatWouldLeaveTheRange)
{
    const COLORREF base = RGB(10, 36, 106);
    const COLORREF light1 = BrightenKeep(base);
    const COLORREF light2 = BrightenKeep(light1);
    EXPECT_EQ(light1, RGB(61, 87, 157));
    EXPECT_EQ(light2, RGB(112, 138, 208));
    EXPECT_EQ(BrightenKeep(light2), RGB(163, 189, 208));  // 208 + 51 > 255: blue stays
    EXPECT_EQ(DarkenKeep(base), RGB(10, 36, 55));
    EXPECT_EQ(DarkenKeep(DarkenKeep(base)), RGB(10, 36, 4));

    const COLORREF navy = RGB(0, 0, 128);
    EXPECT_EQ(BrightenKeep(navy), RGB(51, 51, 179));
    EXPECT_EQ(BrightenKeep(BrightenKeep(navy)), RGB(102, 102, 230));
    EXPECT_EQ(BrightenKeep(BrightenKeep(BrightenKeep(navy))), RGB(153, 153, 230));
    EXPECT_EQ(DarkenKeep(navy), RGB(0, 0, 77));
    EXPECT_EQ(DarkenKeep(DarkenKeep(navy)), RGB(0, 0, 26));

    // The limits themselves: 204 + 51 = 255 still moves, 51 - 51 = 0 still moves.
    EXPECT_EQ(BrightenKeep(RGB(204, 205, 0)), RGB(255, 205, 51));
    EXPECT_EQ(DarkenKeep(RGB(51, 50, 255)), RGB(0, 50, 204));
}

TEST(SysColors, ClassicColoursUnlessThePaletteIsChosen)
{
    UseSysColorsFromPalette(false);
    EXPECT_EQ(GetSysColor(COLOR_BTNFACE), RGB(212, 208, 200));
    EXPECT_EQ(GetSysColor(COLOR_BTNSHADOW), RGB(128, 128, 128));
    EXPECT_EQ(GetSysColor(COLOR_3DDKSHADOW), RGB(64, 64, 64));
    EXPECT_EQ(GetSysColor(COLOR_BTNHIGHLIGHT), RGB(255, 255, 255));
    EXPECT_EQ(GetSysColor(COLOR_HIGHLIGHT), RGB(10, 36, 106));
    EXPECT_EQ(GetSysColor(COLOR_WINDOW), RGB(255, 255, 255));
    EXPECT_EQ(GetSysColor(COLOR_WINDOWFRAME), RGB(0, 0, 0));
    EXPECT_EQ(GetSysColor(9999), RGB(0, 0, 0));
}

TEST(SysColors, MapPaletteRolesToTheirNames)
{
    QPalette palette;
    palette.setColor(QPalette::Light, QColor(1, 2, 3));
    palette.setColor(QPalette::Midlight, QColor(4, 5, 6));
    palette.setColor(QPalette::Button, QColor(7, 8, 9));
    palette.setColor(QPalette::Dark, QColor(10, 11, 12));
    palette.setColor(QPalette::Shadow, QColor(13, 14, 15));
    palette.setColor(QPalette::Base, QColor(16, 17, 18));
    palette.setColor(QPalette::WindowText, QColor(19, 20, 21));
    palette.setColor(QPalette::Highlight, QColor(22, 23, 24));
    EXPECT_EQ(SysColorFromPalette(palette, COLOR_BTNHIGHLIGHT), RGB(1, 2, 3));
    EXPECT_EQ(SysColorFromPalette(palette, COLOR_3DLIGHT), RGB(4, 5, 6));
    EXPECT_EQ(SysColorFromPalette(palette, COLOR_BTNFACE), RGB(7, 8, 9));
    EXPECT_EQ(SysColorFromPalette(palette, COLOR_BTNSHADOW), RGB(10, 11, 12));
    EXPECT_EQ(SysColorFromPalette(palette, COLOR_3DDKSHADOW), RGB(13, 14, 15));
    EXPECT_EQ(SysColorFromPalette(palette, COLOR_WINDOW), RGB(16, 17, 18));
    EXPECT_EQ(SysColorFromPalette(palette, COLOR_WINDOWFRAME), RGB(19, 20, 21));
    EXPECT_EQ(SysColorFromPalette(palette, COLOR_HIGHLIGHT), RGB(22, 23, 24));
}
