#include "job/worker.h"

#include <cstring>
#include <utility>

#include "job/globals.h"
#include "job/made_folders.h"
#include "job/progress_callback.h"
#include "job/temporary_package.h"
#include "platform/trash.h"
#include "platform/files.h"
#include "platform/message_box.h"
#include "platform/process_end.h"
#include "res/resource_ids.h"
#include "securefile/open_file_operations.h"
#include "securefile/securefile.h"

namespace job {
namespace {

using platform::kAnswerNo;
using platform::kAnswerYes;

constexpr std::size_t kTextLength = 128;

struct Texts {
  char16_t createFolder[kTextLength];
  char16_t cannotCreate[kTextLength];
  char16_t errorCaption[kTextLength];
  char16_t askCaption[kTextLength];
  char16_t wrongFolder[kTextLength];
  char16_t wrongPassword[kTextLength];
  char16_t decryptFailed[kTextLength];
  char16_t unpackFailed[kTextLength];
  char16_t keepOriginal[kTextLength];
};

void LoadTexts(Texts* texts) {
  platform::LoadString(instance, res::kIdsCreateFolder, texts->createFolder);
  platform::LoadString(instance, res::kIdsCannotCreate, texts->cannotCreate);
  platform::LoadString(instance, res::kIdsErrorCaption, texts->errorCaption);
  platform::LoadString(instance, res::kIdsAskCaption, texts->askCaption);
  platform::LoadString(instance, res::kIdsWrongFolder, texts->wrongFolder);
  platform::LoadString(instance, res::kIdsWrongPassword, texts->wrongPassword);
  platform::LoadString(instance, res::kIdsDecryptFailed, texts->decryptFailed);
  platform::LoadString(instance, res::kIdsUnpackFailed, texts->unpackFailed);
  platform::LoadString(instance, res::kIdsKeepOriginal, texts->keepOriginal);
}

void ShowError(void* dialog, const char16_t* text, const Texts& texts) {
  platform::ShowMessageBox(dialog, text, texts.errorCaption,
                           platform::kButtonsOk | platform::kIconError);
}

// Every ending of the run: nothing decrypted may stay behind, nor the
// password in memory.
void EndRun() {
  RemoveTempFile();
  WipePassword();
  platform::EndProcess(0);
}

// Makes sure the destination folder exists; false when the run must end
// (the user has been told why, or declined). *existing is the length of the
// destination's longest prefix that was there before: the one question
// covers every missing level, and the levels beyond it are this run's.
bool CheckDestination(void* dialog, const Texts& texts, std::size_t* existing) {
  *existing = platform::WideLength(destinationFolder);
  platform::FileAttributes attributes;
  if (!platform::GetFileAttributes(destinationFolder, &attributes)) {
    int answer = platform::ShowMessageBox(dialog, texts.createFolder, texts.askCaption,
                                          platform::kButtonsYesNo | platform::kIconQuestion);
    if (answer != kAnswerYes) return false;
    if (!MakeFolders(destinationFolder, existing)) {
      ShowError(dialog, texts.cannotCreate, texts);
      return false;
    }
    return true;
  }
  if (!attributes.isFolder) {
    ShowError(dialog, texts.wrongFolder, texts);
    return false;
  }
  return true;
}

}  // namespace

void RunWorker(void* dialog) {
  Texts texts;
  LoadTexts(&texts);

  // Without a private temporary file there is nowhere safe to decrypt to.
  platform::File* package = ReserveTempFile();
  if (package == nullptr) {
    ShowError(dialog, texts.decryptFailed, texts);
    EndRun();
    return;
  }

  std::size_t existing = 0;
  if (!CheckDestination(dialog, texts, &existing)) {
    EndRun();
    return;
  }
  // Held from here on: the folder just examined is the one the files go
  // into, whatever its path comes to name meanwhile.
  platform::Folder destination;
  if (!destination.Open(destinationFolder)) {
    ShowError(dialog, texts.wrongFolder, texts);
    EndRun();
    return;
  }
  // A container marked as coming from elsewhere passes its mark on.
  platform::OriginMark origin;
  bool marked = platform::ReadOriginMark(sourcePath, &origin);

  // The encrypted file as it is before the run: unpacking may put a file of
  // the same name in its place, and that one is not the original to delete.
  platform::FileId original;
  bool identified = platform::GetFileId(sourcePath, &original);

  auto passwordLength = static_cast<std::int32_t>(
      ::strnlen(reinterpret_cast<const char*>(passwordBytes), sizeof passwordBytes - 1));
  // The password is wiped as soon as the key is derived.
  std::int32_t decrypted = DecryptContainerInto(sourcePath, *package, passwordBytes,
                                                passwordLength, ReportProgress, 0, instance);
  WipePassword();
  if (decrypted != kResultOk) {
    RemoveTempFile();
    destination.Close();
    RemoveMadeFolders(destinationFolder, existing);
    ShowError(dialog, decrypted == kResultWrongPassword ? texts.wrongPassword : texts.decryptFailed,
              texts);
    EndRun();
    return;
  }

  std::int32_t unpacked =
      package->Seek(0) ? UnpackPackageFrom(*package, std::move(destination), destinationFolder,
                                           ReportProgress, marked ? &origin : nullptr)
                       : kResultFailed;
  RemoveTempFile();
  if (unpacked != kResultOk) {
    // What was extracted stays, and so does the folder.
    ShowError(dialog, texts.unpackFailed, texts);
    EndRun();
    return;
  }

  int answer = platform::ShowMessageBox(dialog, texts.keepOriginal, texts.askCaption,
                                        platform::kButtonsYesNo | platform::kIconNone);
  // "No" sends it to the trash, from where it can be had back; where no
  // trash takes it, it is deleted.
  platform::FileId now;
  if (answer == kAnswerNo && identified && platform::GetFileId(sourcePath, &now) &&
      now == original && !platform::MoveToTrash(sourcePath)) {
    platform::DeleteFile(sourcePath);
  }
  EndRun();
}

}  // namespace job
