// kva: the secure-file library on the command line.
#include <CLI/CLI.hpp>

#include <cstdio>

#include "cli/commands.h"
#include "cli/exit_codes.h"

namespace {

void AddPasswordOptions(CLI::App& command, cli::PasswordSource& source) {
  auto* file = command.add_option("--password-file", source.file,
                                  "Read the password from the first line of FILE");
  auto* standardInput = command.add_flag("--password-stdin", source.standardInput,
                                         "Read the password from the first line of standard input");
  file->excludes(standardInput);
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{
      "kva: KVA containers and packages.\n"
      "Without --password-file or --password-stdin the password is asked for on the terminal."};
  app.name("kva");
  app.require_subcommand(1);
  app.set_version_flag("--version", "kva 1.0.2");

  cli::EncryptOptions encrypt;
  auto* encryptCommand = app.add_subcommand("encrypt", "Encrypt a file into a KVA container");
  encryptCommand->add_option("SRC", encrypt.source, "File to encrypt")->required();
  encryptCommand->add_option("DST", encrypt.destination, "Container to write")->required();
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
  decryptCommand->add_option("SRC", decrypt.source, "Container to decrypt")->required();
  decryptCommand->add_option("DST", decrypt.destination, "File to write")->required();
  decryptCommand->add_option("--offset", decrypt.offset,
                             "The container starts at byte N of SRC");
  decryptCommand->add_flag("-f,--force", decrypt.force, "Replace DST if it exists");
  AddPasswordOptions(*decryptCommand, decrypt.password);

  cli::InfoOptions info;
  auto* infoCommand =
      app.add_subcommand("info", "Show a container's header (no password needed)");
  infoCommand->add_option("FILE", info.file, "Container")->required();
  infoCommand->add_option("--offset", info.offset, "The container starts at byte N of FILE");

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& help) {
    return app.exit(help);
  } catch (const CLI::CallForVersion& version) {
    return app.exit(version);
  } catch (const CLI::ParseError& error) {
    app.exit(error);
    return cli::kExitUsage;
  }

  if (encryptCommand->parsed()) {
    if (!encrypt.carrier.empty() && encrypt.offset == 0) {
      std::fprintf(stderr, "kva: --carrier needs an --offset above 0\n");
      return cli::kExitUsage;
    }
    return cli::RunEncrypt(encrypt);
  }
  if (decryptCommand->parsed()) return cli::RunDecrypt(decrypt);
  return cli::RunInfo(info);
}
