// The shapes of the program's resources other than strings: dialog
// templates, menus and accelerator tables, held as plain data.
#pragma once

#include <cstddef>

namespace platform {

// Dialog templates are in dialog units: a quarter of the dialog font's
// average character width horizontally, an eighth of its height vertically.
enum class ControlClass {
  kStatic,       // text
  kStaticIcon,   // an icon resource, named by iconId
  kProgressBar,
};

// Styles that the stand-in honours.
enum DialogStyle : unsigned {
  kStyleCaption = 0x1,         // a title bar with the caption text
  kStyleBorder = 0x2,
  kStyleOkInCaption = 0x4,     // an OK button in the title bar
};

struct DialogItem {
  int id;
  ControlClass controlClass;
  const char16_t* text;  // null for an icon or a progress bar
  int iconId;            // kStaticIcon only
  int x, y, width, height;
  unsigned style;        // DialogStyle flags
};

struct DialogTemplate {
  int width, height;
  const char16_t* caption;
  const char16_t* fontName;
  int pointSize;
  unsigned style;  // DialogStyle flags
  const DialogItem* items;
  std::size_t count;
};

struct MenuItem {
  int command;
  const char16_t* text;
};

struct MenuResource {
  const MenuItem* items;
  std::size_t count;
};

enum AcceleratorModifier : unsigned {
  kModifierNone = 0,
  kModifierControl = 0x1,
};

struct Accelerator {
  unsigned modifiers;  // AcceleratorModifier flags
  char key;            // an upper-case letter
  int command;
};

struct AcceleratorTable {
  const Accelerator* entries;
  std::size_t count;
};

}  // namespace platform
