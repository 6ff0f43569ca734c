// kva seal and open: a tree into a container and back in one step. The
// package streams between packing and encryption (or decryption and
// unpacking) through fixed buffers and never touches the disk in plain.
#include <cstdio>

#include "cli/command_support.h"
#include "cli/commands.h"
#include "cli/exit_codes.h"
#include "cli/kva_strings.h"
#include "cli/messages.h"
#include "cli/staged_output.h"
#include "cli/terminal_message_box.h"
#include "cli/terminal_progress.h"
#include "platform/files.h"
#include "securefile/container_reader.h"
#include "securefile/container_writer.h"
#include "securefile/pack.h"
#include "securefile/unpack.h"

namespace cli {

int RunSeal(const SealOptions& options) {
  DevicePath source;
  DevicePath destination;
  if (!ResolvePath(options.source, &source) || !ResolvePath(options.container, &destination) ||
      !CheckOutputIsNotSource(source, destination, options.container)) {
    return kExitFailure;
  }
  StagedOutput output;
  std::string error;
  if (!output.Reserve(destination, options.container, options.force, &error)) {
    PrintError(error);
    return kExitFailure;
  }
  TerminalMessageBox questions(options.skipUnreadable);

  // The container's header announces the package's size, so the package is
  // planned first; files that cannot be read are asked about now. The
  // output may lie inside the tree: it is never packed into itself, nor is
  // the container it replaces.
  securefile::PackContext context;
  context.instance = KvaInstance();
  securefile::LeaveOutOwnFile(context, output.File());
  securefile::LeaveOutOwnFile(context, destination.text);
  std::uint32_t entryCount = 0;
  std::uint64_t totalBytes = 0;
  if (securefile::PlanPackage(context, source.text, &entryCount, &totalBytes) != kResultOk) {
    PrintError(PackProblem(context));
    return kExitFailure;
  }
  std::uint64_t packageSize = securefile::PackageSize(entryCount, totalBytes);
  if (packageSize > 0xFFFFFFF0u) {
    PrintError("the package would be 4 GiB or larger; a container holds less");
    return kExitFailure;
  }

  PasswordBytes password;
  if (!ObtainPassword(options.password, true, &password, &error)) {
    PrintError(error);
    return kExitFailure;
  }

  securefile::FileWriter fileWriter(output.File());
  securefile::ContainerEncryptor encryptor;
  std::int32_t begun =
      encryptor.Begin(fileWriter, options.cipher, packageSize, password.Data(), password.Length());
  password.Wipe();  // the key is all that is needed from here on
  if (begun != kResultOk) {
    PrintError("cannot write " + Quoted(options.container));
    return kExitFailure;
  }
  securefile::EncryptingWriter plain(encryptor, fileWriter);
  context.progress = StartProgress("Sealing");
  context.progressTotal = static_cast<std::uint32_t>(totalBytes);
  std::int32_t result =
      securefile::WritePlannedPackage(context, source.text, plain, entryCount, totalBytes);
  ClearProgressLine();
  if (result != kResultOk) {
    PrintError(PackProblem(context));
    return kExitFailure;
  }
  if (plain.Finish() != kResultOk || !output.File().Flush()) {
    PrintError("cannot write " + Quoted(options.container) + " (is the disk full?)");
    return kExitFailure;
  }
  if (!output.Commit(&error)) {
    PrintError(error);
    return kExitFailure;
  }
  return kExitOk;
}

int RunOpen(const OpenOptions& options) {
  DevicePath source;
  DevicePath destination;
  std::uint64_t size = 0;
  if (!ResolvePath(options.container, &source) || !ResolvePath(options.destination, &destination) ||
      !CheckInputFile(source, options.container, &size)) {
    return kExitFailure;
  }
  // An existing destination is held from now on: the folder examined here
  // is the one the files go into.
  securefile::ExtractionTarget target;
  if (!OpenExistingDestination(destination, options.destination, &target.destination)) {
    return kExitFailure;
  }
  platform::OriginMark origin;
  if (platform::ReadOriginMark(source.text, &origin)) target.origin = &origin;

  platform::File file;
  if (!file.OpenRead(source.text)) {
    PrintError("cannot read " + Quoted(options.container));
    return kExitFailure;
  }
  platform::FileId opened;
  bool identified = platform::GetFileId(file, &opened);
  securefile::FileReader reader(file);
  securefile::ContainerHeader header;
  Inspection inspection;
  inspection.fileSize = size;
  inspection.status = securefile::ReadContainerHeader(reader, size, &header);
  if (inspection.status != securefile::HeaderStatus::kOk) {
    PrintError(HeaderProblem(inspection, options.container, 0));
    return kExitFailure;
  }

  std::string error;
  PasswordBytes password;
  if (!ObtainPassword(options.password, false, &password, &error)) {
    PrintError(error);
    return kExitFailure;
  }
  securefile::ContainerDecryptor decryptor;
  std::int32_t result = decryptor.Begin(header, password.Data(), password.Length());
  password.Wipe();  // the key is all that is needed from here on
  if (result == kResultWrongPassword) {
    PrintError("wrong password");
    return kExitWrongPassword;
  }
  if (result != kResultOk) {
    PrintError("cannot derive the key");
    return kExitFailure;
  }

  // A missing destination is made only once the password is known to be
  // right.
  if (!target.destination.IsOpen() &&
      !CreateDestination(destination, options.destination, &target.destination)) {
    return kExitFailure;
  }
  securefile::DecryptingReader plain(decryptor, reader);
  result = securefile::UnpackStream(plain, destination.text, StartProgress("Opening"), &target);
  // Decrypt whatever follows the package, so that the last piece's padding
  // is checked too: a damaged end is reported, not ignored.
  std::uint64_t extra = 0;
  bool intact = result == kResultOk && plain.Drain(&extra);
  ClearProgressLine();
  if (result != kResultOk) {
    PrintError((plain.Failed() ? std::string("the container is damaged") : UnpackProblem(target)) +
               "; what was extracted before stays in " + Quoted(options.destination));
    return kExitFailure;
  }
  if (!intact) {
    PrintError("the end of the container is damaged; its files were extracted to " +
               Quoted(options.destination) + ", but check them");
    return kExitFailure;
  }
  file.Close();
  if (options.removeOriginal) {
    // Only the container that was opened is removed: if unpacking put a
    // file of the same name in its place, that file stays.
    platform::FileId now;
    if (!identified || !platform::GetFileId(source.text, &now) || !(now == opened)) {
      PrintError("unpacked; " + Quoted(options.container) +
                 " is now an unpacked file, so it was not removed");
      return kExitFailure;
    }
    if (!platform::DeleteFile(source.text)) {
      PrintError("unpacked, but cannot remove " + Quoted(options.container));
      return kExitFailure;
    }
  }
  return kExitOk;
}

}  // namespace cli
