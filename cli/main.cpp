// kva: the secure-file library on the command line.
#include <CLI/CLI.hpp>

#include <cctype>
#include <string>
#include <utility>
#include <vector>

#include "cli/commands.h"
#include "cli/exit_codes.h"
#include "cli/messages.h"
#include "cli/streams.h"
#include "platform/console.h"
#include "platform/dump_protection.h"

namespace {

using cli::IsStandardStream;

void AddPasswordOptions(CLI::App& command, cli::PasswordSource& source) {
  auto* file = command.add_option("--password-file", source.file,
                                  "Read the password from the first line of FILE");
  auto* standardInput = command.add_flag("--password-stdin", source.standardInput,
                                         "Read the password from the first line of standard input");
  file->excludes(standardInput);
}

// --force and --skip-existing, for the commands that unpack.
void AddExistingFilesOptions(CLI::App& command, cli::ExistingFiles& existing) {
  auto* force = command.add_flag_callback(
      "-f,--force", [&existing] { existing = cli::ExistingFiles::kReplace; },
      "Replace files that exist in DEST, without asking");
  auto* skip = command.add_flag_callback(
      "--skip-existing", [&existing] { existing = cli::ExistingFiles::kKeep; },
      "Keep files that exist in DEST, without asking");
  force->excludes(skip);
  command.footer(
      "A file that exists in DEST is replaced only with consent: on a terminal kva asks,\n"
      "file by file; without one it replaces nothing and fails, naming the file, unless\n"
      "--force or --skip-existing answers for every file. Folders that exist are used.");
}

// What packing does with symbolic links, for pack's and seal's --help.
constexpr const char* kLinkPolicy =
    "Symbolic links below SRC: a link to a regular file is packed as that file's\n"
    "content. A link to a folder is never followed (nothing loops or leaves the\n"
    "tree), and a link to nothing has nothing to pack: such links are left out like\n"
    "files that cannot be read, after asking on the terminal whether to skip them or\n"
    "cancel. Without a terminal the run cancels, unless --skip-unreadable is given,\n"
    "which leaves them out with a note. SRC itself may be a link.";

// --skip-unreadable and the link policy, for the commands that pack.
void AddSkipUnreadable(CLI::App& command, bool& skipUnreadable) {
  command.add_flag("--skip-unreadable", skipUnreadable,
                   "Leave out files that cannot be read, and links to folders or to nothing, "
                   "instead of cancelling");
  command.footer(kLinkPolicy);
}

int UsageError(const std::string& message) {
  cli::PrintError(message);
  return cli::kExitUsage;
}

// An argument that must name a file: "-" stands for no stream there.
struct FileArgument {
  const CLI::App* command;
  const std::string* value;
  const char* what;
};

}  // namespace

int cli::RunKva(int argc, char** argv) {
  platform::KeepSecretsOutOfDumps();
  platform::StartConsole();
  CLI::App app{
      "kva: KVA containers and packages.\n"
      "Without --password-file or --password-stdin the password is asked for on the terminal.\n"
      "A file named - is standard input where a command reads data, standard output\n"
      "where it writes it (./- is a file of that name)."};
  app.name("kva");
  app.require_subcommand(1);
  app.set_version_flag("--version", "kva 1.0.2");
  app.footer("kva help COMMAND (or kva COMMAND --help) shows a command's options.");

  cli::SealOptions seal;
  auto* sealCommand =
      app.add_subcommand("seal", "Pack a file or folder tree and encrypt it into a container");
  sealCommand->add_option("SRC", seal.source, "File or folder to seal")->required();
  sealCommand->add_option("CONTAINER", seal.container, "Container to write (- for standard output)")
      ->required();
  sealCommand
      ->add_option("--cipher", seal.cipher, "1 AES-128-CFB, 2 DES-EDE3-CBC, 3 AES-128-CBC (default)")
      ->check(CLI::IsMember({1, 2, 3}));
  sealCommand->add_flag("-f,--force", seal.force, "Replace CONTAINER if it exists");
  AddSkipUnreadable(*sealCommand, seal.skipUnreadable);
  AddPasswordOptions(*sealCommand, seal.password);

  cli::OpenOptions open;
  auto* openCommand =
      app.add_subcommand("open", "Decrypt a container and unpack its files into a folder");
  openCommand->add_option("CONTAINER", open.container, "Container to open (- for standard input)")
      ->required();
  openCommand->add_option("DEST", open.destination, "Folder (created if missing)")->required();
  openCommand->add_flag("--remove-original", open.removeOriginal,
                        "Delete CONTAINER once everything is unpacked");
  AddExistingFilesOptions(*openCommand, open.existing);
  AddPasswordOptions(*openCommand, open.password);

  cli::PackOptions pack;
  auto* packCommand = app.add_subcommand("pack", "Pack a file or folder tree into a KVA package");
  packCommand->add_option("SRC", pack.source, "File or folder to pack")->required();
  packCommand->add_option("PKG", pack.package, "Package to write (- for standard output)")
      ->required();
  auto* append = packCommand->add_flag("--append", pack.append,
                                       "Add the tree to the end of an existing package");
  packCommand->add_flag("-f,--force", pack.force, "Replace PKG if it exists")->excludes(append);
  AddSkipUnreadable(*packCommand, pack.skipUnreadable);

  cli::UnpackOptions unpack;
  auto* unpackCommand = app.add_subcommand("unpack", "Unpack a KVA package into a folder");
  unpackCommand->add_option("PKG", unpack.package, "Package to unpack")->required();
  unpackCommand->add_option("DEST", unpack.destination, "Folder (created if missing)")->required();
  AddExistingFilesOptions(*unpackCommand, unpack.existing);

  cli::ListOptions list;
  auto* listCommand =
      app.add_subcommand("list", "List what a package or a container holds (nothing is written)");
  listCommand->add_option("FILE", list.package, "Package or container (- for standard input)")
      ->required();
  AddPasswordOptions(*listCommand, list.password);

  cli::MeasureOptions measure;
  auto* measureCommand =
      app.add_subcommand("measure", "Count the entries and bytes a package of SRC would hold");
  measureCommand->add_option("SRC", measure.source, "File or folder")->required();
  measureCommand->add_option("--package", measure.package,
                             "Where the package will go: a file there is left out, as pack "
                             "leaves it out");
  measureCommand->footer(
      "Counts what pack would write when every file can be read; links to folders\n"
      "or to nothing are not counted.");

  cli::EncryptOptions encrypt;
  auto* encryptCommand = app.add_subcommand("encrypt", "Encrypt a file into a KVA container");
  encryptCommand->add_option("SRC", encrypt.source, "File to encrypt (- for standard input)")
      ->required();
  encryptCommand->add_option("DST", encrypt.destination, "Container to write (- for standard output)")
      ->required();
  encryptCommand
      ->add_option("--cipher", encrypt.cipher,
                   "1 AES-128-CFB, 2 DES-EDE3-CBC, 3 AES-128-CBC (default)")
      ->check(CLI::IsMember({1, 2, 3}));
  auto* carrier = encryptCommand->add_option(
      "--carrier", encrypt.carrier, "Copy FILE ahead of the container (needs --offset)");
  auto* encryptOffset = encryptCommand->add_option(
      "--offset", encrypt.offset, "Start the container at byte N, behind the carrier");
  carrier->needs(encryptOffset);
  encryptOffset->needs(carrier);
  encryptCommand->add_flag("-f,--force", encrypt.force, "Replace DST if it exists");
  AddPasswordOptions(*encryptCommand, encrypt.password);

  cli::DecryptOptions decrypt;
  auto* decryptCommand = app.add_subcommand("decrypt", "Decrypt a KVA container into a file");
  decryptCommand->add_option("SRC", decrypt.source, "Container to decrypt (- for standard input)")
      ->required();
  decryptCommand->add_option("DST", decrypt.destination, "File to write (- for standard output)")
      ->required();
  decryptCommand->add_option("--offset", decrypt.offset,
                             "The container starts at byte N of SRC");
  decryptCommand->add_flag("-f,--force", decrypt.force, "Replace DST if it exists");
  AddPasswordOptions(*decryptCommand, decrypt.password);

  cli::InfoOptions info;
  auto* infoCommand =
      app.add_subcommand("info", "Show a container's header (no password needed)");
  infoCommand->add_option("FILE", info.file, "Container (- for standard input)")->required();
  infoCommand->add_option("--offset", info.offset, "The container starts at byte N of FILE");

  // The command comes first: an unknown one is named, with the list, and
  // "kva help COMMAND" is "kva COMMAND --help".
  std::vector<std::string> names;
  for (const CLI::App* command : app.get_subcommands([](const CLI::App*) { return true; })) {
    names.push_back(command->get_name());
  }
  std::vector<std::string> arguments(argv, argv + argc);
  if (arguments.size() > 1 && arguments[1] == "help") {
    arguments.erase(arguments.begin() + 1);
    arguments.insert(arguments.begin() + (arguments.size() > 1 ? 2 : 1), "--help");
  }
  std::string given = arguments.size() > 1 ? arguments[1] : "";
  bool known = false;
  for (const std::string& name : names) known = known || name == given;
  if (!known && (given.empty() || given[0] != '-')) {
    std::string commands;
    for (const std::string& name : names) commands += (commands.empty() ? "" : ", ") + name;
    return UsageError((given.empty() ? std::string("a command is needed")
                                     : "'" + cli::OneLine(given) + "' is not a kva command") +
                      "; the commands are: " + commands + " (kva help COMMAND says more)");
  }

  try {
    std::vector<std::string> reversed(arguments.rbegin(), arguments.rend() - 1);
    app.parse(reversed);
  } catch (const CLI::CallForHelp& help) {
    return app.exit(help);
  } catch (const CLI::CallForVersion& version) {
    return app.exit(version);
  } catch (const CLI::ParseError& error) {
    std::string message = error.what();
    // CLI11 starts its sentences with a capital; kva's messages go on after
    // "kva: " (a name such as SRC keeps its capitals).
    if (message.size() > 1 && std::islower(static_cast<unsigned char>(message[1]))) {
      message[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(message[0])));
    }
    return UsageError(message + " (" + (known ? "kva " + given + " --help" : std::string("kva --help")) +
                      " lists the options)");
  }

  // "-" is a stream only where a command reads or writes data.
  const FileArgument files[] = {
      {sealCommand, &seal.source, "the tree to seal"},
      {openCommand, &open.destination, "the destination folder"},
      {packCommand, &pack.source, "the tree to pack"},
      {unpackCommand, &unpack.package, "the package to unpack (kva list reads one from standard input)"},
      {unpackCommand, &unpack.destination, "the destination folder"},
      {measureCommand, &measure.source, "the tree to measure"},
      {encryptCommand, &encrypt.carrier, "the carrier"}};
  for (const FileArgument& file : files) {
    if (file.command->parsed() && IsStandardStream(*file.value)) {
      return UsageError("- cannot stand for " + std::string(file.what) + "; name a file (./- for one named -)");
    }
  }
  if ((packCommand->parsed() && pack.append && IsStandardStream(pack.package)) ||
      (openCommand->parsed() && open.removeOriginal && IsStandardStream(open.container))) {
    return UsageError(pack.append ? "--append needs a package file, not standard output"
                                  : "--remove-original needs a container file, not standard input");
  }
  const std::pair<const cli::PasswordSource*, const std::string*> reading[] = {
      {&encrypt.password, &encrypt.source}, {&decrypt.password, &decrypt.source},
      {&open.password, &open.container}, {&list.password, &list.package}};
  for (const auto& [password, source] : reading) {
    if (password->standardInput && IsStandardStream(*source)) {
      return UsageError(
          "standard input cannot bring both the data and the password: use --password-file, or "
          "the terminal");
    }
  }

  if (encryptCommand->parsed()) {
    if (!encrypt.carrier.empty() && encrypt.offset == 0) {
      return UsageError("--carrier needs an --offset above 0");
    }
    return cli::RunEncrypt(encrypt);
  }
  if (decryptCommand->parsed()) return cli::RunDecrypt(decrypt);
  if (infoCommand->parsed()) return cli::RunInfo(info);
  if (packCommand->parsed()) return cli::RunPack(pack);
  if (measureCommand->parsed()) return cli::RunMeasure(measure);
  if (unpackCommand->parsed()) return cli::RunUnpack(unpack);
  if (listCommand->parsed()) return cli::RunList(list);
  if (sealCommand->parsed()) return cli::RunSeal(seal);
  return cli::RunOpen(open);
}

// Windows starts kva at wmain (main_win32.cpp), with the command line in UTF-16.
#ifndef _WIN32
int main(int argc, char** argv) { return cli::RunKva(argc, argv); }
#endif
