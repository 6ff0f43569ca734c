// Menus 129 and 130: the soft keys of the main window and of the progress
// dialog; menu 129 also in English (platform/language.h).
#include <iterator>

#include "platform/language.h"
#include "res/resource_ids.h"
#include "res/resources.h"

namespace res {
namespace {

constexpr platform::MenuItem kSoftKeyItems[] = {
    {kCommandOk, u"Выполнить"},
    {kCommandCancel, u"Отмена"},
};
constexpr platform::MenuItem kEnglishSoftKeyItems[] = {
    {kCommandOk, u"Run"},
    {kCommandCancel, u"Cancel"},
};
constexpr platform::MenuItem kBlankSoftKeyItems[] = {
    {0, u" "},
    {0, u" "},
};
constexpr platform::MenuResource kSoftKeys = {kSoftKeyItems, std::size(kSoftKeyItems)};
constexpr platform::MenuResource kEnglishSoftKeys = {kEnglishSoftKeyItems,
                                                     std::size(kEnglishSoftKeyItems)};
constexpr platform::MenuResource kBlankSoftKeys = {kBlankSoftKeyItems,
                                                   std::size(kBlankSoftKeyItems)};

}  // namespace

const platform::MenuResource* FindMenu(int id) {
  switch (id) {
    case kMenuSoftKeys:
      return platform::ResourceLanguage() == platform::Language::kEnglish ? &kEnglishSoftKeys
                                                                          : &kSoftKeys;
    case kMenuBlankSoftKeys:
      return &kBlankSoftKeys;
    default:
      return nullptr;
  }
}

}  // namespace res
