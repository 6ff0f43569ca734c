// The program's dialogs, menus and accelerator tables, looked up by id as
// the device looks up its resources. Each lookup gives null for an unknown id.
#pragma once

#include "platform/resource_types.h"

namespace res {

const platform::DialogTemplate* FindDialog(int id);
const platform::MenuResource* FindMenu(int id);
const platform::AcceleratorTable* FindAccelerators(int id);

}  // namespace res
