// kva's own string table: the texts the library loads through its module
// instance, in English, since kva speaks English where the application
// speaks Russian.
#pragma once

#include "platform/string_table.h"

namespace cli {

platform::ModuleInstance KvaInstance();

}  // namespace cli
