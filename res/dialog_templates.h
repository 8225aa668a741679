// The program's dialog templates 102 (main dialog) and 100 (about box), in dialog units, in template
// order (which is also the tab order), and the string table.
#pragma once

#include "app/dialog_template.h"
#include "res/resource.h"

namespace res {

using K = DialogItemKind;

inline constexpr DialogItemTemplate kMainDialogItems[] = {
    {IDOK, K::DefPushButton, "Exit", 125, 177, 50, 14, DS_TRANSPARENT},
    {IDC_START, K::PushButton, "Start convert", 64, 151, 65, 14, DS_DISABLED | DS_TRANSPARENT},
    {IDC_CANCEL, K::PushButton, "Cancel convert", 171, 151, 66, 14, DS_DISABLED | DS_TRANSPARENT},
    {IDC_STATIC, K::StaticText, "Bytes encodet", 15, 103, 46, 8, DS_TRANSPARENT},
    {IDC_STATIC, K::StaticText, "AC3 stream position", 15, 116, 63, 8, DS_TRANSPARENT},
    {IDC_BYTES, K::StaticText, "Static", 87, 103, 51, 8, DS_TRANSPARENT},
    {IDC_POSITION, K::StaticText, "Static", 87, 116, 71, 8, DS_TRANSPARENT},
    {IDC_STATUS, K::StaticText, "Static", 49, 132, 203, 12,
     DS_CENTER | DS_CENTERIMAGE | DS_TRANSPARENT | DS_STATICEDGE},
    {IDC_STATIC, K::StaticText, "Frames encodet", 169, 103, 52, 8, DS_TRANSPARENT},
    {IDC_STATIC, K::StaticText, "Time elapsed", 169, 116, 43, 8, DS_TRANSPARENT},
    {IDC_FRAMES, K::StaticText, "Static", 227, 103, 60, 8, DS_TRANSPARENT},
    {IDC_TIME, K::StaticText, "Static", 227, 116, 49, 8, DS_TRANSPARENT},
    {IDC_STATIC, K::StaticText, "AC3-File", 58, 31, 27, 8, DS_TRANSPARENT},
    {IDC_STATIC, K::StaticText, "WAV-File", 55, 49, 30, 8, DS_TRANSPARENT},
    {IDC_NORMALIZE, K::AutoCheckBox, "normalize WAV file (done by peaklevel if \"by DB\" is not checked)", 37, 63,
     221, 10, DS_DISABLED | DS_TRANSPARENT},
    {IDC_AC3_PATH, K::StaticText, "Static", 88, 28, 128, 12, DS_CENTERIMAGE | DS_TRANSPARENT | DS_STATICEDGE},
    {IDC_WAV_PATH, K::StaticText, "Static", 88, 47, 128, 12, DS_CENTERIMAGE | DS_TRANSPARENT | DS_STATICEDGE},
    {IDC_BROWSE_AC3, K::PushButton, "...", 218, 28, 12, 12, DS_TRANSPARENT},
    {IDC_BROWSE_WAV, K::PushButton, "...", 218, 47, 12, 12, DS_DISABLED | DS_TRANSPARENT},
    {IDC_PROGRESS, K::ProgressBar, "Progress1", 15, 89, 271, 10, DS_SMOOTH | DS_TRANSPARENT},
    {IDC_BACKGROUND, K::StaticText, "Static", 5, 22, 19, 8, DS_NONE},
    {IDC_AMPLIFY, K::AutoCheckBox, "amplify the WAV file by", 58, 74, 88, 10, DS_DISABLED},
    {IDC_AMPLIFY_SLIDER, K::Slider, "Slider2", 146, 74, 74, 10, DS_DISABLED | DS_TICKS_BOTH | DS_SELRANGE},
    {IDC_DB_LABEL, K::StaticText, "DB", 224, 74, 31, 8, DS_TRANSPARENT},
    {IDC_SURROUND, K::AutoCheckBox, "DS", 233, 48, 26, 10, DS_PUSHLIKE},
};

inline constexpr DialogTemplate kMainDialog = {
    IDD_QELPCONVERT_DIALOG, "Qelps AC3->WAV Converter", 301, 217, "MS Sans Serif", 8, kMainDialogItems};

inline constexpr DialogItemTemplate kAboutDialogItems[] = {
    {IDC_STATIC, K::Icon, "", 11, 17, 20, 20, DS_NONE},
    {IDC_STATIC, K::StaticText, "QelpConvert Version 1.0", 40, 10, 119, 8, DS_NOPREFIX},
    {IDC_STATIC, K::StaticText, "Converts AC-3 files to WAVE.", 40, 25, 119, 8, DS_NONE},
    {IDOK, K::DefPushButton, "OK", 178, 7, 50, 14, DS_NONE},
};

inline constexpr DialogTemplate kAboutDialog = {
    IDD_ABOUTBOX, "Info über QelpConvert", 235, 55, "MS Sans Serif", 8, kAboutDialogItems};

// String table.
inline constexpr const char* kAboutMenuText = "Inf&o über QelpConvert...";  // IDS_ABOUTBOX

}  // namespace res
