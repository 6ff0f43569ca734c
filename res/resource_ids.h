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
inline constexpr std::uint32_t kIdsBadCommandLine = 17;    // the file's path cannot be used
inline constexpr std::uint32_t kIdsBadPasswordCharacter = 18;  // outside the code page
// The desktop's additions: a second start's file, command-line options, the
// file and folder choosers.
inline constexpr std::uint32_t kIdsOneAtATime = 19;        // "%s": the file not taken
inline constexpr std::uint32_t kIdsUnknownOption = 20;     // "%s": the option
inline constexpr std::uint32_t kIdsChooseFile = 21;        // the file chooser's caption
inline constexpr std::uint32_t kIdsContainerFiles = 22;    // its filter for *.kva
inline constexpr std::uint32_t kIdsAllFiles = 23;          // its filter for every file
inline constexpr std::uint32_t kIdsChooseFolder = 24;      // the folder chooser's caption
inline constexpr std::uint32_t kIdsBrowse = 25;            // the button that opens it

// Strings the secure-file library loads through the module instance.
inline constexpr std::uint32_t kIdsProcessingDone = 61410;
inline constexpr std::uint32_t kIdsPackErrorCaption = 61411;
inline constexpr std::uint32_t kIdsProcessingFiles = 61412;
inline constexpr std::uint32_t kIdsPackReadError = 61413;
inline constexpr std::uint32_t kIdsPackNoAttributes = 61414;

// Dialogs, menus, accelerators and the icon.
inline constexpr int kDialogAbout = 105;
inline constexpr int kDialogProgress = 107;
inline constexpr int kMenuSoftKeys = 129;       // main window: "Выполнить", "Отмена"
inline constexpr int kMenuBlankSoftKeys = 130;  // progress dialog: two blank keys
inline constexpr int kAcceleratorTable = 2;
inline constexpr int kIconProgram = 101;

// Controls.
inline constexpr int kControlFolderBox = 204;
inline constexpr int kControlBrowse = 205;  // beside the folder box: the folder chooser
inline constexpr int kControlPasswordBox = 206;
inline constexpr int kControlLabel = 222;
inline constexpr int kControlAboutIcon = 201;
inline constexpr int kControlNotice = 202;  // about: name and version; progress: the notice line
inline constexpr int kControlRights = 203;
inline constexpr int kControlCurrentItem = 1000;
inline constexpr int kControlProgressBar = 1001;

// Commands.
inline constexpr int kCommandOk = 1;      // also the left soft key: start decryption
inline constexpr int kCommandCancel = 2;  // also the right soft key: close
inline constexpr int kCommandQuit = 40000;
inline constexpr int kCommandAbout = 40002;

}  // namespace res
