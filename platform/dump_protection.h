// Keeping the process's secrets out of dumps.
//
// While a program holds a password, keys or decrypted content, a crash must
// not write them into a core file or a crash report, and another program of
// the same user must not read them through a debugger. Both programs call
// this first thing: on Linux the process becomes non-dumpable (no core file,
// no ptrace by the user's other processes, its /proc files the
// administrator's) and its core-file limit 0; on Windows the system's fault
// dialog and the heap in error reports are turned off.
#pragma once

namespace platform {

void KeepSecretsOutOfDumps();

}  // namespace platform
