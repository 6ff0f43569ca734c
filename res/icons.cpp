// Icon 101, the program's icon.
#include "res/resource_ids.h"
#include "res/resources.h"

namespace res {

const char* FindIconPath(int id) {
  return id == kIconProgram ? ":/res/icons/tessaron.png" : nullptr;
}

}  // namespace res
