// Dialog templates as data: the window and its controls in dialog units, as a resource compiler
// would keep them, and their conversion to pixels with the base units of the dialog's font.
#pragma once

#include <QFont>
#include <QRect>
#include <QString>
#include <cstddef>
#include <span>

// What kind of control a template item makes.
enum class DialogItemKind {
  PushButton,
  DefPushButton,
  StaticText,
  AutoCheckBox,
  ProgressBar,
  Slider,
  Icon,
};

// Style bits of a template item that the dialog honours.
enum DialogItemStyle : unsigned {
  DS_NONE = 0,
  DS_DISABLED = 1u << 0,       // WS_DISABLED
  DS_TRANSPARENT = 1u << 1,    // WS_EX_TRANSPARENT: the parent's skin shows through
  DS_STATICEDGE = 1u << 2,     // WS_EX_STATICEDGE: a sunken one-pixel edge
  DS_CENTER = 1u << 3,         // SS_CENTER
  DS_CENTERIMAGE = 1u << 4,    // SS_CENTERIMAGE: vertically centred text
  DS_PUSHLIKE = 1u << 5,       // BS_PUSHLIKE: a check box drawn as a button
  DS_NOPREFIX = 1u << 6,       // SS_NOPREFIX: "&" is shown as it is
  DS_TICKS_BOTH = 1u << 7,     // TBS_BOTH | TBS_AUTOTICKS
  DS_SELRANGE = 1u << 8,       // TBS_ENABLESELRANGE
  DS_SMOOTH = 1u << 9,         // PBS_SMOOTH
};

struct DialogItemTemplate {
  int id;  // -1: no identifier of its own
  DialogItemKind kind;
  const char* text;  // UTF-8
  int x, y, cx, cy;  // dialog units
  unsigned style;    // DialogItemStyle bits
};

struct DialogTemplate {
  int id;
  const char* caption;  // UTF-8
  int cx, cy;           // client size in dialog units
  const char* font_face;
  int font_points;
  std::span<const DialogItemTemplate> items;
};

// Dialog base units: the average character width and the character height of the dialog font in
// pixels. One horizontal dialog unit is a quarter of the width, one vertical unit an eighth of the
// height.
struct DialogBaseUnits {
  int cx;
  int cy;
};

// The font the dialogs are drawn in. Templates name "MS Sans Serif" 8 pt, which this platform does
// not have; Liberation Sans has the metrics of the Windows sans fonts and stands in for it at the
// same point size (DejaVu Sans if it is missing).
QFont DialogFont(const DialogTemplate& tmpl);

// The base units of a font as Windows computes them for dialogs: the width of the 52 letters A-Z and
// a-z divided by 26, rounded, and the font's height.
DialogBaseUnits BaseUnitsOfFont(const QFont& font);

// A rectangle in dialog units turned into pixels (MapDialogRect).
QRect MapDialogRect(const DialogBaseUnits& units, int x, int y, int cx, int cy);

// The template item with the identifier, or nullptr.
const DialogItemTemplate* FindDialogItem(const DialogTemplate& tmpl, int id);

QString DialogText(const char* utf8);
