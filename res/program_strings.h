// The program's string table, the module instance handed to the library.
#pragma once

#include "platform/string_table.h"

namespace res {

extern const platform::StringTable kProgramStrings;

inline platform::ModuleInstance ProgramInstance() { return &kProgramStrings; }

}  // namespace res
