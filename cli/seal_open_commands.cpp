// kva seal and open: a tree into a container and back in one step. The
// package streams between packing and encryption (or decryption and
// unpacking) through fixed buffers and never touches the disk in plain.
#include <cstdio>

#include "cli/command_support.h"
#include "cli/commands.h"
#include "cli/exit_codes.h"
#include "cli/kva_strings.h"
#include "cli/messages.h"
#include "cli/replace_policy.h"
#include "cli/streams.h"
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
  Output output;
  int status = kExitFailure;
  if (!ResolvePath(options.source, &source) || !output.Open(options.container, options.force, &status)) {
    return status;
  }
  TerminalMessageBox questions(options.skipUnreadable);

  // The container's header announces the package's size, so the package is
  // planned first; files that cannot be read are asked about now.
  securefile::PackContext context;
  context.instance = KvaInstance();
  // The output, and the file it replaces, are left out wherever they lie
  // in the tree.
  std::uint32_t entryCount = 0;
  std::uint64_t totalBytes = 0;
  if (!PlanPackageFor(context, source, output, options.container, &entryCount, &totalBytes)) {
    return kExitFailure;
  }
  std::uint64_t packageSize = securefile::PackageSize(entryCount, totalBytes);
  if (packageSize > 0xFFFFFFF0u) {
    PrintError("the package would be 4 GiB or larger; a container holds less");
    return kExitFailure;
  }

  std::string error;
  PasswordBytes password;
  if (!ObtainPassword(options.password, true, &password, &error)) {
    PrintError(error);
    return kExitFailure;
  }

  securefile::ContainerEncryptor encryptor;
  std::int32_t begun =
      encryptor.Begin(output, options.cipher, packageSize, password.Data(), password.Length());
  password.Wipe();  // the key is all that is needed from here on
  if (begun != kResultOk) {
    output.ReportFailure();
    return kExitFailure;
  }
  securefile::EncryptingWriter plain(encryptor, output);
  context.progress = StartProgress("Sealing");
  context.progressTotal = static_cast<std::uint32_t>(totalBytes);
  std::int32_t result =
      securefile::WritePlannedPackage(context, source.text, plain, entryCount, totalBytes);
  ClearProgressLine();
  if (result != kResultOk) {
    PrintError(PackProblem(context));
    return kExitFailure;
  }
  if (plain.Finish() != kResultOk) {
    output.ReportFailure();
    return kExitFailure;
  }
  return output.Finish() ? kExitOk : kExitFailure;
}

int RunOpen(const OpenOptions& options) {
  Input input;
  DevicePath destination;
  securefile::ContainerHeader header;
  // An existing destination is held from now on: the folder examined here
  // is the one the files go into.
  securefile::ExtractionTarget target;
  if (!input.Open(options.container) || !ResolvePath(options.destination, &destination) ||
      !OpenExistingDestination(destination, options.destination, &target.destination) ||
      !ReadHeader(input, 0, &header)) {
    return kExitFailure;
  }
  platform::FileId opened;
  bool identified = !input.IsStandard() && platform::GetFileId(input.File(), &opened);
  securefile::ContainerDecryptor decryptor;
  int status = StartDecryptor(header, options.password, &decryptor);
  if (status != kExitOk) return status;

  // A missing destination is made only once the password is known to be
  // right.
  ReplacePolicy policy(options.existing, destination.text, options.destination);
  platform::OriginMark origin;
  if (!ReadyTarget(destination, options.destination, input, policy, &origin, &target)) {
    return kExitFailure;
  }
  securefile::DecryptingReader plain(decryptor, input);
  std::int32_t result =
      securefile::UnpackStream(plain, destination.text, StartProgress("Opening"), &target);
  // Decrypt whatever follows the package, so that the last piece's padding
  // is checked too: a damaged end is reported, not ignored.
  std::uint64_t extra = 0;
  bool intact = result == kResultOk && plain.Drain(&extra);
  ClearProgressLine();
  if (result != kResultOk) {
    return EndUnpacking(target, policy, plain.Failed() ? "the container is damaged" : UnpackProblem(target, policy),
                        options.destination);
  }
  if (!intact) {
    if (policy.FilesPlaced() == 0) {
      return EndUnpacking(target, policy, "the end of the container is damaged", options.destination);
    }
    PrintError("the end of the container is damaged; its files were extracted to " +
               Quoted(options.destination) + ", but check them");
    return kExitFailure;
  }
  policy.ReportKept();
  input.File().Close();
  if (options.removeOriginal) {
    // Only the container that was opened is removed: if unpacking put a
    // file of the same name in its place, that file stays.
    platform::FileId now;
    if (!identified || !platform::GetFileId(input.Path().text, &now) || !(now == opened)) {
      PrintError("unpacked; " + Quoted(options.container) +
                 " is now an unpacked file, so it was not removed");
      return kExitFailure;
    }
    if (!platform::DeleteFile(input.Path().text)) {
      PrintError("unpacked, but cannot remove " + Quoted(options.container));
      return kExitFailure;
    }
  }
  return kExitOk;
}

}  // namespace cli
