// Menus 129 and 130: the soft keys of the main window and of the progress dialog.
#include <iterator>

#include "res/resource_ids.h"
#include "res/resources.h"

namespace res {
namespace {

constexpr platform::MenuItem kSoftKeyItems[] = {
    {kCommandOk, u"Выполнить"},
    {kCommandCancel, u"Отмена"},
};
constexpr platform::MenuItem kBlankSoftKeyItems[] = {
    {0, u" "},
    {0, u" "},
};
constexpr platform::MenuResource kSoftKeys = {kSoftKeyItems, std::size(kSoftKeyItems)};
constexpr platform::MenuResource kBlankSoftKeys = {kBlankSoftKeyItems,
                                                   std::size(kBlankSoftKeyItems)};

}  // namespace

const platform::MenuResource* FindMenu(int id) {
  switch (id) {
    case kMenuSoftKeys:
      return &kSoftKeys;
    case kMenuBlankSoftKeys:
      return &kBlankSoftKeys;
    default:
      return nullptr;
  }
}

}  // namespace res
