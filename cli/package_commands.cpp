// kva pack, measure, unpack and list: plain packages (list reads sealed
// ones too).
#include <cinttypes>
#include <cstdio>
#include <set>

#include "cli/command_support.h"
#include "cli/commands.h"
#include "cli/exit_codes.h"
#include "cli/kva_strings.h"
#include "cli/messages.h"
#include "cli/package_records.h"
#include "cli/replace_policy.h"
#include "cli/streams.h"
#include "cli/terminal_message_box.h"
#include "cli/terminal_progress.h"
#include "platform/files.h"
#include "securefile/container_reader.h"
#include "securefile/pack.h"
#include "securefile/package_reader.h"
#include "securefile/unpack.h"

namespace cli {
namespace {

using securefile::PackContext;

// Lists the package read from `package` (its header read already), with
// `pass` going over each file's content. The problem in *problem.
bool ListPackage(securefile::ByteReader& package, const securefile::PackageRecord& header,
                 const std::function<bool(std::uint32_t)>& pass, std::string* problem) {
  std::printf("%-6s %12s %5s  %s\n", "kind", "size", "depth", "path");
  bool listed = WalkPackage(
      package, header, pass,
      [](const PackageEntry& entry, std::string*) {
        // A name may hold anything, escape sequences and line ends included:
        // it is shown escaped, so it can neither forge a line nor hide its mark.
        std::printf("%-6s %12" PRIu32 " %5" PRIu32 "  %s\n", entry.isFile ? "file" : "folder",
                    entry.isFile ? entry.record.second : 0u, entry.record.third,
                    OneLine(entry.Shown()).c_str());
        return true;
      },
      problem);
  if (listed) {
    std::printf("entries: %" PRIu32 ", content bytes: %" PRIu32 ", root: %s\n", header.first,
                header.second, OneLine(DisplayPath(header.path)).c_str());
  }
  return listed;
}

}  // namespace

int RunPack(const PackOptions& options) {
  DevicePath source;
  if (!ResolvePath(options.source, &source)) return kExitFailure;
  TerminalMessageBox questions(options.skipUnreadable);
  PackContext context;
  context.instance = KvaInstance();
  if (options.append) {
    DevicePath package;
    if (!ResolvePath(options.package, &package) ||
        !CheckOutputIsNotSource(source, package, options.package)) {
      return kExitFailure;
    }
    // One handle for checking the package and appending to it; the library
    // puts the package back as it was through it if appending fails.
    platform::File file;
    if (!file.OpenUpdate(package.text)) {
      PrintError("cannot open " + Quoted(options.package) + ": " + LastErrorText());
      return kExitFailure;
    }
    context.progress = StartProgress("Packing");
    std::int32_t result = securefile::PackPackageInto(context, source.text, file, package.text, true);
    ClearProgressLine();
    if (result != kResultOk) {
      PrintError(PackProblem(context));
      return kExitFailure;
    }
    if (!file.Close()) {
      PrintError("cannot write " + Quoted(options.package) + " (is the disk full?)");
      return kExitFailure;
    }
    return kExitOk;
  }

  Output output;
  int status = kExitFailure;
  std::uint32_t entryCount = 0;
  std::uint64_t totalBytes = 0;
  if (!output.Open(options.package, options.force, &status)) return status;
  if (!PlanPackageFor(context, source, output, options.package, &entryCount, &totalBytes)) {
    return kExitFailure;
  }
  context.progress = StartProgress("Packing");
  context.progressTotal = static_cast<std::uint32_t>(totalBytes);
  std::int32_t result =
      securefile::WritePlannedPackage(context, source.text, output, entryCount, totalBytes);
  ClearProgressLine();
  if (result != kResultOk) {
    PrintError(PackProblem(context));
    return kExitFailure;
  }
  return output.Finish() ? kExitOk : kExitFailure;
}

int RunMeasure(const MeasureOptions& options) {
  DevicePath source;
  DevicePath package;
  // Standard output is no file of the tree: nothing to leave out.
  bool toPackage = !options.package.empty() && !IsStandardStream(options.package);
  if (!ResolvePath(options.source, &source) ||
      (toPackage && !ResolvePath(options.package, &package))) {
    return kExitFailure;
  }
  TerminalMessageBox questions(false);
  PackContext context;
  context.instance = KvaInstance();
  std::uint32_t entries = 0;
  std::uint32_t bytes = 0;
  if (securefile::PackPackageWith(context, source.text, toPackage ? package.text : nullptr, false,
                                  true, &entries, &bytes) != kResultOk) {
    PrintError(PackProblem(context));
    return kExitFailure;
  }
  std::printf("entries:       %" PRIu32 "\n", entries);
  std::printf("content bytes: %" PRIu32 "\n", bytes);
  std::printf("package bytes: %" PRIu64 "\n", securefile::PackageSize(entries, bytes));
  return kExitOk;
}

int RunUnpack(const UnpackOptions& options) {
  Input input;
  DevicePath destination;
  if (!input.Open(options.package) || !ResolvePath(options.destination, &destination)) {
    return kExitFailure;
  }
  if (KindOf(input) == FileKind::kContainer) {
    PrintError(WrongKind(FileKind::kContainer, options.package));
    return kExitFailure;
  }
  // An existing destination is held from now on: the folder examined here
  // is the one the files go into.
  securefile::ExtractionTarget target;
  if (!OpenExistingDestination(destination, options.destination, &target.destination)) {
    return kExitFailure;
  }

  // Every entry is looked at before anything is written (records only: the
  // content is passed over), so a damaged package, or a file that may not
  // be replaced, stops the run before it starts.
  ReplacePolicy policy(options.existing, destination.text, options.destination);
  securefile::PackageRecord header;
  std::set<std::u16string> files;
  std::string problem;
  if (!securefile::ReadPackageHeader(input, &header)) {
    PrintError(Quoted(options.package) + " is not a KVA package");
    return kExitFailure;
  }
  bool sound = WalkPackage(
      input, header, [&](std::uint32_t size) { return input.Pass(size); },
      [&](const PackageEntry& entry, std::string* why) {
        std::u16string targetPath;
        if (!entry.safe || !TargetPath(destination, entry.relative, &targetPath)) {
          *why = EntryProblem(entry.safe ? securefile::UnpackFailure::kPathTooLong
                                             : securefile::UnpackFailure::kUnsafePath,
                                  entry.record.path);
          return false;
        }
        if (!entry.isFile) return true;
        if (!files.insert(entry.relative).second) {
          *why = "the package is damaged: it holds " + Quoted(DisplayPath(entry.relative)) + " twice";
          return false;
        }
        bool settled = policy.Settle(targetPath.c_str());
        *why = policy.Problem();
        return settled;
      },
      &problem);
  if (!sound) {
    PrintError(policy.Refused() ? problem : problem + "; nothing was unpacked");
    return kExitFailure;
  }
  if (!input.Rewind()) {
    PrintError("cannot read " + Quoted(options.package) + ": " + LastErrorText());
    return kExitFailure;
  }
  platform::OriginMark origin;
  if (!ReadyTarget(destination, options.destination, input, policy, &origin, &target)) {
    return kExitFailure;
  }
  bool unpacked = securefile::UnpackStream(input, destination.text, StartProgress("Unpacking"),
                                           &target) == kResultOk;
  ClearProgressLine();
  return EndUnpacking(target, policy, unpacked ? "" : UnpackProblem(target, policy), options.destination);
}

int RunList(const ListOptions& options) {
  Input input;
  if (!input.Open(options.package)) return kExitFailure;
  securefile::PackageRecord header;
  std::string problem;
  if (KindOf(input) != FileKind::kContainer) {
    if (!securefile::ReadPackageHeader(input, &header)) {
      PrintError(Quoted(input.Name()) + " is not a KVA package");
      return kExitFailure;
    }
    if (!ListPackage(input, header, [&](std::uint32_t size) { return input.Pass(size); }, &problem)) {
      PrintError(problem);
      return kExitFailure;
    }
    return kExitOk;
  }

  // A container is decrypted as a stream: nothing of it reaches the disk.
  securefile::ContainerHeader containerHeader;
  securefile::ContainerDecryptor decryptor;
  if (!ReadHeader(input, 0, &containerHeader)) return kExitFailure;
  int status = StartDecryptor(containerHeader, options.password, &decryptor);
  if (status != kExitOk) return status;
  securefile::DecryptingReader plain(decryptor, input);
  bool listed = securefile::ReadPackageHeader(plain, &header);
  if (!listed) problem = Quoted(input.Name()) + " holds no KVA package";
  listed = listed && ListPackage(plain, header, [&](std::uint32_t size) {
             return securefile::SkipPackageContent(plain, size);
           }, &problem);
  if (!listed) {
    PrintError(plain.Failed() ? "the container is damaged" : problem);
    return kExitFailure;
  }
  // The rest is decrypted too, so that a damaged end is reported.
  std::uint64_t rest = 0;
  if (!plain.Drain(&rest)) {
    PrintError("the end of the container is damaged");
    return kExitFailure;
  }
  return kExitOk;
}

}  // namespace cli
