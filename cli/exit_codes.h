// kva's exit codes.
#pragma once

namespace cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitWrongPassword = 2;
inline constexpr int kExitUsage = 64;  // as sysexits' EX_USAGE

}  // namespace cli
