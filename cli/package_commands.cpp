// kva pack, measure, unpack and list: plain packages.
#include <cinttypes>
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
#include "securefile/pack.h"
#include "securefile/package_reader.h"
#include "securefile/unpack.h"

namespace cli {

using securefile::PackContext;

int RunPack(const PackOptions& options) {
  DevicePath source;
  DevicePath package;
  if (!ResolvePath(options.source, &source) || !ResolvePath(options.package, &package) ||
      !CheckOutputIsNotSource(source, package, options.package)) {
    return kExitFailure;
  }

  PackContext context;
  context.instance = KvaInstance();
  // The package is written beside PKG and renamed over it: a PKG inside the
  // tree is left out, as `kva measure SRC --package PKG` leaves it out.
  if (!options.append) securefile::LeaveOutOwnFile(context, package.text);
  context.progress = StartProgress("Packing");
  if (context.progress != nullptr && !options.append) {
    // A quick, silent measuring pass gives the progress line its total;
    // whatever it runs into, packing itself reports.
    PackContext measure;
    std::uint32_t entries = 0;
    std::uint32_t bytes = 0;
    if (securefile::PackPackageWith(measure, source.text, package.text, false, true, &entries,
                                    &bytes) == kResultOk) {
      context.progressTotal = bytes;
    }
  }
  TerminalMessageBox questions(options.skipUnreadable);

  std::string error;
  std::int32_t result = kResultFailed;
  if (options.append) {
    // One handle for checking the package and appending to it; the library
    // puts the package back as it was through it if appending fails.
    platform::File file;
    if (!file.OpenUpdate(package.text)) {
      PrintError("cannot open " + Quoted(options.package) + ": " + LastErrorText());
      return kExitFailure;
    }
    result = securefile::PackPackageInto(context, source.text, file, package.text, true);
    if (!file.Close() && result == kResultOk) {
      PrintError("cannot write " + Quoted(options.package) + " (is the disk full?)");
      return kExitFailure;
    }
  } else {
    StagedOutput output;
    if (!output.Reserve(package, options.package, options.force, &error)) {
      PrintError(error);
      return kExitFailure;
    }
    result = securefile::PackPackageInto(context, source.text, output.File(), package.text, false);
    if (result == kResultOk && !output.Commit(&error)) {
      PrintError(error);
      return kExitFailure;
    }
  }
  ClearProgressLine();
  if (result != kResultOk) {
    PrintError(PackProblem(context));
    return kExitFailure;
  }
  return kExitOk;
}

int RunMeasure(const MeasureOptions& options) {
  DevicePath source;
  DevicePath package;
  bool toPackage = !options.package.empty();
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
  DevicePath package;
  DevicePath destination;
  std::uint64_t size = 0;
  if (!ResolvePath(options.package, &package) || !ResolvePath(options.destination, &destination) ||
      !CheckInputFile(package, options.package, &size)) {
    return kExitFailure;
  }
  platform::File file;
  if (!file.OpenRead(package.text)) {
    PrintError("cannot read " + Quoted(options.package));
    return kExitFailure;
  }
  securefile::ExtractionTarget target;
  if (!OpenExistingDestination(destination, options.destination, &target.destination) ||
      (!target.destination.IsOpen() &&
       !CreateDestination(destination, options.destination, &target.destination))) {
    return kExitFailure;
  }
  platform::OriginMark origin;
  if (platform::ReadOriginMark(package.text, &origin)) target.origin = &origin;

  securefile::FileReader reader(file);
  std::int32_t result = securefile::UnpackStream(reader, destination.text,
                                                 StartProgress("Unpacking"), &target);
  ClearProgressLine();
  if (result != kResultOk) {
    PrintError(UnpackProblem(target) + "; what was extracted before stays in " +
               Quoted(options.destination));
    return kExitFailure;
  }
  return kExitOk;
}

int RunList(const ListOptions& options) {
  DevicePath package;
  std::uint64_t size = 0;
  if (!ResolvePath(options.package, &package) || !CheckInputFile(package, options.package, &size)) {
    return kExitFailure;
  }
  platform::File file;
  securefile::PackageRecord header;
  securefile::FileReader reader(file);
  if (!file.OpenRead(package.text) || !securefile::ReadPackageHeader(reader, &header)) {
    PrintError(Quoted(options.package) + " is not a KVA package");
    return kExitFailure;
  }
  std::printf("%-6s %12s %5s  %s\n", "kind", "size", "depth", "path");
  for (std::uint32_t i = 0; i < header.first; ++i) {
    securefile::PackageRecord record;
    securefile::RecordRead read = securefile::ReadPackageRecord(reader, &record);
    if (read == securefile::RecordRead::kShort) {
      PrintError("the package ends early: " + std::to_string(i) + " of " +
                 std::to_string(header.first) + " entries");
      return kExitFailure;
    }
    if (read == securefile::RecordRead::kUnterminated) {
      PrintError("entry " + std::to_string(i + 1) + ": its path does not end within its record: " +
                 Quoted(DisplayPath(record.path) + "..."));
      return kExitFailure;
    }
    bool isFile = record.first != securefile::kKindFolder;
    char16_t relative[platform::kMaxPath];
    bool safe = securefile::SafeRelativePath(record, relative) == kResultOk;
    // A name may hold anything, escape sequences and line ends included:
    // it is shown escaped, so it can neither forge a line nor hide its mark.
    std::string shown = safe ? OneLine(DisplayPath(relative))
                             : OneLine(DisplayPath(record.path)) + "  (unsafe path)";
    std::printf("%-6s %12" PRIu32 " %5" PRIu32 "  %s\n", isFile ? "file" : "folder",
                isFile ? record.second : 0u, record.third, shown.c_str());
    if (isFile && !securefile::SkipPackageContent(reader, record.second)) {
      PrintError("the package ends inside the content of '" + shown + "'");
      return kExitFailure;
    }
  }
  std::printf("entries: %" PRIu32 ", content bytes: %" PRIu32 ", root: %s\n", header.first,
              header.second, OneLine(DisplayPath(header.path)).c_str());
  return kExitOk;
}

}  // namespace cli
