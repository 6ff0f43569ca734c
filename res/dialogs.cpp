// Dialog templates 105 (about) and 107 (progress), in dialog units, each
// also in English (platform/language.h).
#include <iterator>

#include "platform/language.h"
#include "res/resource_ids.h"
#include "res/resources.h"

namespace res {
namespace {

using platform::ControlClass;
using platform::DialogItem;
using platform::DialogTemplate;

constexpr DialogItem kAboutItems[] = {
    {kControlAboutIcon, ControlClass::kStaticIcon, nullptr, kIconProgram, 12, 12, 20, 20, 0},
    {kControlNotice, ControlClass::kStatic, u"Tessaron（解密） 1.0.2 版", 0, 12, 36, 70, 8, 0},
    {kControlRights, ControlClass::kStatic, u"© 2026 Tessaron. Все права защищены.", 0, 12, 48,
     129, 8, 0},
};

constexpr DialogItem kEnglishAboutItems[] = {
    kAboutItems[0],
    kAboutItems[1],
    {kControlRights, ControlClass::kStatic, u"© 2026 Tessaron. All rights reserved.", 0, 12, 48,
     129, 8, 0},
};

constexpr DialogItem kProgressItems[] = {
    {kControlNotice, ControlClass::kStatic, u"Расшифровка файлов, пожалуйста, подождите...", 0,
     7, 7, 129, 8, 0},
    {kControlCurrentItem, ControlClass::kStatic, u"...", 0, 7, 17, 137, 19, 0},
    {kControlProgressBar, ControlClass::kProgressBar, nullptr, 0, 7, 38, 142, 10,
     platform::kStyleBorder},
};

constexpr DialogItem kEnglishProgressItems[] = {
    {kControlNotice, ControlClass::kStatic, u"Decrypting files, please wait...", 0, 7, 7, 129, 8,
     0},
    kProgressItems[1],
    kProgressItems[2],
};

constexpr DialogTemplate kAbout = {
    .width = 156,
    .height = 129,
    .caption = u" ",
    .fontName = u"MS Shell Dlg",
    .pointSize = 9,
    .style = platform::kStyleCaption | platform::kStyleOkInCaption,
    .items = kAboutItems,
    .count = std::size(kAboutItems),
};

// No caption, so the OK flag has no title bar to show its button in.
constexpr DialogTemplate kProgress = {
    .width = 156,
    .height = 129,
    .caption = u"",
    .fontName = u"MS Shell Dlg",
    .pointSize = 9,
    .style = platform::kStyleBorder | platform::kStyleOkInCaption,
    .items = kProgressItems,
    .count = std::size(kProgressItems),
};

constexpr DialogTemplate WithItems(DialogTemplate dialog, const DialogItem* items) {
  dialog.items = items;
  return dialog;
}
constexpr DialogTemplate kEnglishAbout = WithItems(kAbout, kEnglishAboutItems);
constexpr DialogTemplate kEnglishProgress = WithItems(kProgress, kEnglishProgressItems);

}  // namespace

const platform::DialogTemplate* FindDialog(int id) {
  bool english = platform::ResourceLanguage() == platform::Language::kEnglish;
  switch (id) {
    case kDialogAbout:
      return english ? &kEnglishAbout : &kAbout;
    case kDialogProgress:
      return english ? &kEnglishProgress : &kProgress;
    default:
      return nullptr;
  }
}

}  // namespace res
