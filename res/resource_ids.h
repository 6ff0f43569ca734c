// Resource identifiers of the program: string table, menus, dialogs,
// controls, commands and the icon.
#pragma once

#include <cstdint>

namespace res {

// Strings of the application and the job.
inline constexpr std::uint32_t kIdsTitle = 1;              // window title
inline constexpr std::uint32_t kIdsClassName = 2;          // window class name
inline constexpr std::uint32_t kIdsDecryptInto = 3;        // first character: fallback folder
inline constexpr std::uint32_t kIdsCreateFolder = 4;       // question: create missing folder?
inline constexpr std::uint32_t kIdsCannotCreate = 5;       // folder creation failed
inline constexpr std::uint32_t kIdsErrorCaption = 6;
inline constexpr std::uint32_t kIdsAskCaption = 7;
inline constexpr std::uint32_t kIdsWrongFolder = 8;        // destination is not a folder
inline constexpr std::uint32_t kIdsWrongPassword = 9;
inline constexpr std::uint32_t kIdsDecryptFailed = 10;
inline constexpr std::uint32_t kIdsUnpackFailed = 11;
inline constexpr std::uint32_t kIdsKeepOriginal = 12;      // success: keep the encrypted file?
inline constexpr std::uint32_t kIdsThreadFailed = 13;
inline constexpr std::uint32_t kIdsEnterPassword = 14;     // label and warning
inline constexpr std::uint32_t kIdsHintCaption = 15;
inline constexpr std::uint32_t kIdsEnterFolder = 16;       // label and warning

// Strings the secure-file library loads through the module instance.
inline constexpr std::uint32_t kIdsProcessingDone = 61410;
inline constexpr std::uint32_t kIdsPackErrorCaption = 61411;
inline constexpr std::uint32_t kIdsProcessingFiles = 61412;
inline constexpr std::uint32_t kIdsPackReadError = 61413;
inline constexpr std::uint32_t kIdsPackNoAttributes = 61414;

}  // namespace res
