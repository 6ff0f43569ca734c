// kva as the user runs it (fault_injection_test.cpp checks each command's
// output byte for byte). Posix* tests need sockets, links, signals or a
// terminal.
#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <set>
#include <sstream>
#include <thread>
#ifndef _WIN32
#include <csignal>
#include <poll.h>
#include <pty.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#endif

#include "cli/terminal_progress.h"
#include "tests/test_support.h"

namespace fs = std::filesystem;
using namespace test_support;

namespace {

bool Says(const KvaRun& run, const std::string& text) { return run.output.find(text) != std::string::npos; }

// The progress line at its widths: the bar, the sizes in three figures,
// the rate and the time left once half a second has passed (hours past
// 59 minutes), done clamped to the total, an empty input shown done, and
// a narrow terminal given the line without its bar, cut to fit.
TEST(TerminalProgress, TheLineSaysWhereARunIs) {
  const std::tuple<const char*, std::uint64_t, std::uint64_t, double, int, std::string> lines[] = {
      {"open", 512 << 10, 1 << 20, 1.0, 80,
       "open  50% [============>            ]  512 KiB / 1.0 MiB   512 KiB/s   0:01 left"},
      {"open", 1ull << 30, 100ull << 30, 100.0, 70,
       "open   1% [>            ]  1.0 GiB / 100 GiB  10.2 MiB/s  2:45:00 left"},
      {"seal", 0, 0, 0.0, 60, "seal 100%      0 B / 0 B     --- B/s   -:-- left"},
      {"x", 3000, 2000, 0.4, 20, "x 100%  2.0 KiB / 2."}};
  for (const auto& [label, done, total, seconds, width, line] : lines) {
    EXPECT_EQ(cli::FormatProgressLine(label, done, total, seconds, width), line);
  }
}

void MakeTree(const fs::path& root) {
  WriteFile(root / u8"Документы" / u8"отчёт.txt", "отчёт");
  WriteFile(root / "images" / u8"写真.bin", RandomBytes(70000, 1));
  WriteFile(root / "images" / "empty", "");
  fs::create_directories(root / "empty folder");
}

}  // namespace

// Each cipher and password source: the same password, UTF-8 on every host,
// with LF, with a byte-order mark and CRLF (as Windows editors save it), or
// with no line end, from a file for encrypting and standard input for
// decrypting. Relative paths; open makes its folder and says so. Quiet
// without a terminal; outputs get the user's default permissions.
TEST(Kva, RoundTrips) {
  const fs::path dir = ScratchDir(), tree = dir / "work" / "tree";
  MakeTree(tree);
  const std::string spellings[] = {"Пароль\nsecond line ignored\n", "\xEF\xBB\xBFПароль\r\nsecond line ignored\r\n",
                                   "Пароль"};
  const std::string pw = " --password-file " + Q(dir / "pw"), blob = Q(tree / "images" / u8"写真.bin");
  for (int cipher : {1, 2, 3}) {
    WriteFile(dir / "pw", spellings[cipher - 1]);
    const KvaRun encrypted = Kva("encrypt -f " + blob + " " + Q(dir / "box") + " --cipher " + std::to_string(cipher) + pw);
    EXPECT_TRUE(encrypted.status == 0 && encrypted.output.empty()) << encrypted.output;
    ASSERT_EQ(Kva("decrypt -f " + Q(dir / "box") + " " + Q(dir / "plain") + " --password-stdin", spellings[cipher % 3])
                  .status, 0);
    EXPECT_TRUE(ReadFile(dir / "plain") == ReadFile(tree / "images" / u8"写真.bin")) << cipher;
  }
#ifndef _WIN32
  struct stat info;
  const mode_t mask = ::umask(0);
  ::umask(mask);
  EXPECT_TRUE(::stat((dir / "plain").c_str(), &info) == 0 && (info.st_mode & 0777) == (0666u & ~mask));
#endif

  const std::string kva = Q(ToolPath("kva"));
  fs::create_directories(dir / "elsewhere");
  ASSERT_EQ(RunCommand("cd " + Q(dir / "work") + " && " + kva + " pack tree ../tree.pkg"), 0);
  ASSERT_EQ(RunCommand("cd " + Q(dir / "elsewhere") + " && " + kva + " unpack ../tree.pkg out"), 0);
  EXPECT_EQ(Snapshot(dir / "elsewhere" / "out" / "tree"), Snapshot(tree));
  ASSERT_EQ(Kva("seal " + Q(tree) + " " + Q(dir / "sealed.kva") + pw).status, 0);
  const KvaRun opened = Kva("open " + Q(dir / "sealed.kva") + " " + Q(dir / "new" / "dest") + pw);
  EXPECT_TRUE(opened.status == 0 && Says(opened, "created") && fs::exists(dir / "sealed.kva")) << opened.output;
  ASSERT_EQ(Kva("open " + Q(dir / "sealed.kva") + " " + Q(dir / "again") + " --remove-original" + pw).status, 0);
  EXPECT_FALSE(fs::exists(dir / "sealed.kva"));
}

// An output that exists needs --force, and a failed run keeps it. Outputs may
// lie inside the tree they pack, never over the file packed; an open whose
// entries re-create the container's name keeps that file, --remove-original
// or not; measure --package counts what pack writes.
TEST(Kva, OutputsThatExistOrLieInsideTheTree) {
  const fs::path dir = ScratchDir(), d = dir / "d";
  WriteFile(d / "a", "a");
  WriteFile(dir / "out", "precious");
  const std::string pw = " --password-stdin";
  ASSERT_EQ(Kva("seal " + Q(d) + " " + Q(d / "c.kva") + pw, "pw\n").status, 0);
  const KvaRun refused = Kva("decrypt " + Q(d / "c.kva") + " " + Q(dir / "out") + pw, "pw\n");
  EXPECT_TRUE(refused.status == 1 && Says(refused, "--force"));
  EXPECT_EQ(Kva("decrypt -f " + Q(d / "c.kva") + " " + Q(dir / "out") + pw, "bad\n").status, 2);
  EXPECT_EQ(ReadFile(dir / "out"), "precious");
  ASSERT_EQ(Kva("open " + Q(d / "c.kva") + " " + Q(dir / "o") + pw, "pw\n").status, 0);
  EXPECT_EQ(Snapshot(dir / "o"), (Tree{{"d", "dir"}, {"d/a", Hex("a")}})) << "not the container itself";

  ASSERT_EQ(Kva("seal " + Q(d) + " " + Q(dir / "x.kva") + pw, "pw\n").status, 0);
  fs::rename(dir / "x.kva", d / "c.kva");
  const KvaRun over = Kva("open " + Q(d / "c.kva") + " " + Q(dir) + " --force --remove-original" + pw, "pw\n");
#ifdef _WIN32
  // Windows never replaces a file that is open, as the container is: the
  // entry cannot be written.
  EXPECT_TRUE(over.status == 1 && Says(over, "cannot create") && fs::exists(d / "c.kva")) << over.output;
#else
  EXPECT_TRUE(over.status == 1 && Says(over, "not removed") && fs::exists(d / "c.kva")) << over.output;
#endif

  ASSERT_EQ(Kva("pack " + Q(d) + " " + Q(d / "p.pkg")).status, 0);
  const KvaRun measured = Kva("measure " + Q(d) + " --package " + Q(d / "p.pkg"));
  ASSERT_EQ(Kva("pack " + Q(d) + " " + Q(d / "p.pkg") + " --force").status, 0);
  const std::string content = std::to_string(1 + fs::file_size(d / "c.kva"));
  EXPECT_TRUE(Says(measured, "entries:       3\ncontent bytes: " + content)) << measured.output;
  EXPECT_TRUE(Says(Kva("list " + Q(d / "p.pkg")), "entries: 3, content bytes: " + content));
  fs::copy_file(d / "p.pkg", dir / "p.pkg.kept");
  EXPECT_EQ(Kva("pack " + Q(d / "a") + " " + Q(d / "a") + " --force").status, 1);
  EXPECT_EQ(Kva("seal " + Q(d / "a") + " " + Q(d / "a") + " --force" + pw, "pw\n").status, 1);
  EXPECT_EQ(ReadFile(d / "a"), "a");
  const auto sparse = [](const fs::path& path, std::uintmax_t size) { WriteFile(path, ""); fs::resize_file(path, size); };
  sparse(dir / "edge" / "a", (std::uintmax_t{1} << 32) - 1);  // the most an entry holds
  EXPECT_TRUE(Says(Kva("measure " + Q(dir / "edge")), "content bytes: 4294967295"));
  // A file of 4 GiB (sparse) is more than an entry holds: measuring says so
  // as packing does, and nothing is written.
  fs::resize_file(d / "a", std::uintmax_t{1} << 32);
  for (const std::string& command : {"measure " + Q(d), "pack -f " + Q(d) + " " + Q(d / "p.pkg")}) {
    const KvaRun large = Kva(command);
    EXPECT_TRUE(large.status == 1 && Says(large, "is 4 GiB or larger")) << command << ": " << large.output;
  }
  EXPECT_EQ(fs::file_size(d / "p.pkg"), fs::file_size(dir / "p.pkg.kept"));
  // Files of 4 GiB - 1 bytes in all fit a package's count, not a container with its records.
  for (const std::uintmax_t size : {std::uintmax_t{1} << 31, (std::uintmax_t{1} << 31) - 1}) sparse(dir / "big" / std::to_string(size), size);
  const KvaRun sealed = Kva("seal " + Q(dir / "big") + " " + Q(dir / "big.kva") + pw, "pw\n");
  EXPECT_TRUE(sealed.status == 1 && Says(sealed, "a container holds less") && !fs::exists(dir / "big.kva"));
}

// The destination is held from the moment kva examines it: a link to it
// re-pointed once extraction has begun (a junction, on Windows) sends
// nothing to where it points afterwards, though a folder of the same name
// waits there, and the run goes on where it began. (Wine makes no links: a
// Linux one stands in, which Wine shows as a reparse point.)
TEST(Kva, TheDestinationStaysTheFolderExamined) {
  const fs::path dir = ScratchDir(), dest = dir / "dest";
  // Enough files that extraction is far from done when the first appears
  // (fewer under Wine, where each costs more).
  for (int i = 0; i < (fs::path::preferred_separator == '/' ? 2000 : 600); ++i) {
    WriteFile(dir / "tree" / std::to_string(i), "x");
  }
  WriteFile(dir / "pw", "pw\n");
  ASSERT_EQ(Kva("seal " + Q(dir / "tree") + " " + Q(dir / "c.kva") + " --password-file " + Q(dir / "pw")).status, 0);
  fs::create_directories(dir / "A");
  fs::create_directories(dir / "B" / "tree");
  ASSERT_EQ(RunCommand("ln -s A " + Q(dest)), 0);
  RunningKva kva({"open", Utf8(dir / "c.kva"), Utf8(dest), "--password-stdin"}, dir / "log");
  kva.Feed("pw\n");
  for (std::error_code error; kva.Running() && (!fs::exists(dir / "A" / "tree") || fs::is_empty(dir / "A" / "tree", error));) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
#ifdef _WIN32
  ASSERT_EQ(RunCommand("ln -sfn B " + Q(dest)), 0);
#else
  fs::remove(dest), fs::create_directory_symlink("B", dest);
#endif
  const int status = kva.Wait();
  EXPECT_TRUE(fs::is_empty(dir / "B" / "tree")) << "written through the re-pointed link";
  EXPECT_TRUE(status == 0 && Snapshot(dir / "A" / "tree") == Snapshot(dir / "tree")) << ReadFile(dir / "log");
}

TEST(Kva, RefusedPasswordsAndCommandLines) {
  const fs::path dir = ScratchDir();
  WriteFile(dir / "plain", "payload");
  WriteFile(dir / "with-nul", std::string("abc\0def\n", 8));  // ("nul" is a device on Windows)
  const std::string encrypt = "encrypt -f " + Q(dir / "plain") + " " + Q(dir / "box") + " --password-stdin";
  const std::tuple<std::string, std::string, std::string, int> cases[] = {  // arguments, input, says, status
      {encrypt, "密码\n", "Windows-1251", 1}, {encrypt, std::string(32, 'a') + "\n", "longer than 31", 1},
      {encrypt, "\n", "empty", 1}, {encrypt, "\xff\xfe\n", "UTF-8", 1}, {encrypt, std::string(31, 'a') + "\n", "", 0},
      // The line buffer's edge: 511 bytes are read whole, 512 are not.
      {encrypt, std::string(511, 'a') + "\n", "longer than 31", 1}, {encrypt, std::string(512, 'a') + "\n", "first line too long", 1},
      {"info " + Q(dir / "box"), "", "box (44 bytes)\noffset:      0\n", 0}, {"list " + Q(dir / "missing"), "", "kva: cannot read '", 1}, {"list " + Q(dir), "", "' is a folder", 1},
      {"encrypt -f " + Q(dir / "plain") + " " + Q(dir / "box") + " --password-file " + Q(dir / "with-nul"), "", "NUL", 1},
      {"seal " + Q(dir / "plain") + " " + Q(dir / "s.kva") + " --password-stdin", "\n", "empty", 1}, {"open " + Q(dir / "box") + " " + Q(dir / "o") + " --password-file " + Q(dir / "with-nul"), "", "NUL", 1},
      {"", "", "a command is needed", 64}, {"encrypt onlyone", "", "", 64},
      {"frobnicate", "", "'frobnicate' is not a kva command; the commands are: seal, open, pack, unpack,", 64},
      {"help open", "", "--skip-existing", 0}, {"open a b --force --skip-existing", "", "", 64},
      {"unpack - d", "", "./-", 64}, {"open - d --remove-original", "", "needs a container file", 64},
      {"encrypt - b --password-stdin", "x", "both the data and the password", 64},
      {"encrypt a b --cipher 4", "", "", 64}, {"encrypt a b --offset 10", "", "", 64},
      {"encrypt a b --carrier c --offset 0", "", "an --offset above 0", 64}, {"info", "", "", 64},
      {encrypt + " --carrier " + Q(dir / "plain") + " --offset 6", "pw\n", "below the size of the carrier", 1},
      {"decrypt a b --password-stdin --password-file f", "", "", 64}, {"pack onlyone", "", "", 64},
      {"pack --append " + Q(dir / "plain") + " " + Q(dir / "missing.pkg"), "", "kva: cannot open '", 1},
      {"pack a b --append --force", "", "", 64}, {"unpack a", "", "", 64}, {"list", "", "", 64},
      {"measure", "", "", 64}, {"seal a", "", "", 64}, {"open a", "", "", 64}, {"--version", "", "kva 1.0.2", 0},
      {"pack --help", "", "A link to a folder is never followed", 0},  // the link policy, where packing is
      {"seal --help", "", "A link to a folder is never followed", 0}};
  for (const auto& [arguments, input, says, status] : cases) {
    const KvaRun run = Kva(arguments, input);
    EXPECT_TRUE(run.status == status && Says(run, says)) << arguments << ": " << run.output;
    EXPECT_TRUE(status != 64 || run.output.rfind("kva: ", 0) == 0) << run.output;
  }
  const std::string help = Kva("--help").output;  // what most want first
  EXPECT_LT(help.find("  open"), help.find("  encrypt")) << help;
  // No terminal to ask on: a clear error instead of a hang.
  const KvaRun noTerminal = KvaWithoutTerminal("encrypt " + Q(dir / "plain") + " " + Q(dir / "box2"));
  EXPECT_TRUE(noTerminal.status == 1 && Says(noTerminal, "--password-file")) << noTerminal.output;
}

// "-" is standard input for a source and standard output for an output:
// each cipher's container read back by openssl (cipher/README.md's worked
// example), a tree sealed into a pipe and opened from one, info and list of
// what arrives there; "./-" is a file of that name.
TEST(Kva, StandardStreams) {
  const fs::path dir = ScratchDir();
  MakeTree(dir / "tree");
  WriteFile(dir / "pw", "secret\n");
  WriteFile(dir / "-", "the file named -");
  const std::string pw = " --password-file " + Q(dir / "pw"), x = RandomBytes(5000, 3),
                    iv = " -iv 2113f4bc3dd82699", k = " -K 2e9852e9eef59dde11254fdb7e53c88e";
  const std::string oracles[] = {"-aes-128-cfb" + k + iv + "de1afa1a984941e2",
                                 "-des-ede3-cbc -K f87e0027188ff57aad248293144f34c51c10a468fb1f5c5a" + iv,
                                 "-aes-128-cbc" + k + iv + "de1afa1a984941e2"};
  for (int cipher : {1, 2, 3}) {
    const KvaRun box = Kva("encrypt - - --cipher " + std::to_string(cipher) + pw, x);
    WriteFile(dir / "ciphertext", box.output.substr(std::min<std::size_t>(28, box.output.size())));
    std::string plain;
    EXPECT_TRUE(box.status == 0 && RunCommand("openssl enc -d " + oracles[cipher - 1] + " -in " + Q(dir / "ciphertext"),
                                              &plain) == 0 && plain == x) << cipher << box.output;
    EXPECT_TRUE(Kva("decrypt - -" + pw, box.output).output == x) << cipher;
  }
  // Behind a carrier (the password file): its bytes, zeros, the container.
  const KvaRun carried = Kva("encrypt - - --carrier " + Q(dir / "pw") + " --offset 100" + pw, x);
  EXPECT_TRUE(carried.output.substr(0, 100) == "secret\n" + std::string(93, '\0') &&
              Kva("decrypt - - --offset 100" + pw, carried.output).output == x);
  const KvaRun sealed = Kva("seal " + Q(dir / "tree") + " -" + pw);
  const KvaRun opened = Kva("open - " + Q(dir / "out") + pw, sealed.output);
  EXPECT_TRUE(opened.status == 0 && Snapshot(dir / "out" / "tree") == Snapshot(dir / "tree")) << opened.output;
  const KvaRun info = Kva("info -", sealed.output);  // the header read, though the rest is passed over
  EXPECT_TRUE(Says(info, "file:        standard input (" + std::to_string(sealed.output.size()) + " bytes)") &&
              Says(info, "ciphertext:  " + std::to_string(sealed.output.size() - 28) + " bytes\nstate:       complete\n"));
  ASSERT_EQ(Pack(dir / "tree", dir / "tree.pkg"), 0);
  const KvaRun packed = Kva("pack " + Q(dir / "tree") + " -");
  EXPECT_TRUE(packed.status == 0 && packed.output == ReadFile(dir / "tree.pkg"));
  // Content passed over, not sought: a whole package listed, one cut inside it refused.
  const KvaRun listed = Kva("list -", packed.output), cut = Kva("list -", packed.output.substr(0, packed.output.size() / 2));
  EXPECT_TRUE(listed.status == 0 && Says(listed, "images" + std::string(1, fs::path::preferred_separator) + "empty"));
  EXPECT_TRUE(cut.status == 1 && Says(cut, "ends early, inside the content of")) << cut.output;
  ASSERT_EQ(RunCommand("cd " + Q(dir) + " && " + Q(ToolPath("kva")) + " encrypt ./- named.kva" + pw), 0);
  EXPECT_EQ(Kva("decrypt " + Q(dir / "named.kva") + " -" + pw).output, "the file named -");
#ifndef _WIN32
  // Standard output on a full disk fails, and says so, whether its close or a write finds it out.
  ASSERT_EQ(Encrypt(dir / "tree.pkg", dir / "tree.kva"), 0);
  for (const std::string& command : {"decrypt " + Q(dir / "named.kva"), "decrypt " + Q(dir / "tree.kva"),
                                     "encrypt " + Q(dir / "pw") + " --carrier " + Q(dir / "tree.pkg") + " --offset 99999"}) {
    std::string said;
    EXPECT_EQ(RunCommand(Q(ToolPath("kva")) + " " + command + " -" + pw + " 2>&1 >/dev/full", &said), 1);
    EXPECT_EQ(said, "kva: cannot write standard output (is the disk full?)\n");
  }
#endif
}

// A file that was there before the run is replaced only with consent:
// without a terminal kva refuses, naming it, and leaves the destination as
// it was (bytes and modes; open removes the files it wrote before it met
// it); --force replaces, --skip-existing keeps and says so. A package naming
// a file twice is damaged, whatever the flags.
TEST(Kva, ExistingFilesInTheDestination) {
  const fs::path dir = ScratchDir(), out = dir / "out";
  MakeTree(dir / "tree");
  WriteFile(dir / "pw", "secret\n");
  WriteFile(dir / "twice.pkg", PackageBytes(2, 2, FileEntry(u"\\p\\a", "1", 0) + FileEntry(u"\\p\\a", "2", 0)));
  ASSERT_EQ(Pack(dir / "tree", dir / "tree.pkg") + Encrypt(dir / "tree.pkg", dir / "tree.kva") +
            Encrypt(dir / "twice.pkg", dir / "twice.kva"), 0);
  std::vector<fs::path> files;  // in the package's order: the first is new, the others exist
  for (const ParsedRecord& record : ParsePackage(ReadFile(dir / "tree.pkg"))) {
    std::u16string path = record.path.substr(record.path.rfind(u"\\tree\\") + 1);
    std::replace(path.begin(), path.end(), u'\\', u'/');
    if (record.first == 1 && record.third > 0) files.push_back(path);
  }
  ASSERT_EQ(files.size(), 3u);
  const fs::path edited = out / files[1], locked = out / files[2];
  const std::string pw = " --password-file " + Q(dir / "pw");
  Tree kept = Snapshot(dir / "tree");
  kept[Utf8(files[1]).substr(5)] = Hex("edited"), kept[Utf8(files[2]).substr(5)] = Hex("mine");
  const std::tuple<std::string, int, std::string> rows[] = {  // flags, status, says
      {"", 1, "'" + Utf8(fs::relative(edited)) + "' exists; nothing was replaced (--force replaces"}, {" --force", 0, ""},
      {" --skip-existing", 0, "kept 2 existing files (--skip-existing)"}};
  for (const std::string& command : {"open " + Q(dir / "tree.kva") + pw, "unpack " + Q(dir / "tree.pkg")}) {
    for (const auto& [flags, status, says] : rows) {
      fs::remove_all(out);
      ASSERT_EQ(Unpack(dir / "tree.pkg", out), 0);
      fs::remove(out / files[0]);  // open writes it, and removes it again when it refuses
      WriteFile(edited, "edited"), WriteFile(locked, "mine");
      fs::permissions(locked, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                      fs::perm_options::remove);
      const Tree before = Snapshot(out);
      const fs::perms mode = fs::status(locked).permissions();
      const KvaRun run = KvaWithoutTerminal(command + " " + Q(fs::relative(out)) + flags);  // named as typed
      EXPECT_TRUE(run.status == status && Says(run, says)) << command << flags << ": " << run.output;
      if (status == 1) {
        EXPECT_TRUE(Snapshot(out) == before && fs::status(locked).permissions() == mode) << command;
      } else {
        EXPECT_TRUE(Snapshot(out / "tree") == (flags == " --force" ? Snapshot(dir / "tree") : kept)) << command;
      }
      fs::permissions(locked, fs::perms::owner_write, fs::perm_options::add);
    }
    const std::string twice = command[0] == 'o' ? "open " + Q(dir / "twice.kva") + pw : "unpack " + Q(dir / "twice.pkg");
    const KvaRun damaged = KvaWithoutTerminal(twice + " " + Q(dir / "t") + " --force");
    EXPECT_TRUE(damaged.status == 1 && Says(damaged, "the package is damaged")) << damaged.output;
  }
}

// The wrong kind of file names the command that reads it, and a run that
// unpacks nothing leaves no destination behind (the damaged end or start
// of a container of folders); list reads both kinds.
TEST(Kva, WrongKindsAndDamageCreateNothing) {
  const fs::path dir = ScratchDir(), made = dir / "new";
  fs::create_directories(dir / "folders" / "sub");
  WriteFile(dir / "pw", "secret\n");
  ASSERT_EQ(Pack(dir / "folders", dir / "p.pkg") + Encrypt(dir / "p.pkg", dir / "c.kva"), 0);
  WriteFile(dir / "packing", "~KVA" + RecordBytes(u"---", 0, 0, 0));  // a package being packed
  std::string bytes = ReadFile(dir / "c.kva");
  // The package is 1600 bytes, so its last block is all padding (16 times
  // 0x10): flipping the block before it turns that into a pad no reader
  // accepts, whatever the key (flipping the last block itself leaves a
  // valid pad one time in 256).
  const std::size_t lastPad = bytes.size() - 17;
  for (const std::size_t at : {std::size_t{28}, lastPad}) {
    bytes[at] = static_cast<char>(bytes[at] ^ 1);
    WriteFile(dir / ("damaged" + std::to_string(at)), bytes);
    bytes[at] = static_cast<char>(bytes[at] ^ 1);
  }
  const std::string p = Q(dir / "p.pkg"), c = Q(dir / "c.kva"), pw = " --password-file " + Q(dir / "pw"),
                    to = " " + Q(made / "dest"), open = "open" + pw + " ";
  const std::tuple<std::string, int, std::string> rows[] = {  // arguments, status, says
      {"unpack " + c + to, 1, "is an encrypted container: use kva open"}, {"decrypt " + p + to + pw, 1, "use kva unpack"},
      {open + p + to, 1, "is a KVA package, not an encrypted container: use kva unpack"}, {"info " + p, 1, "use kva unpack"},
      {open + Q(dir / "damaged28") + to, 1, "nothing was unpacked"}, {"info " + Q(dir / "packing"), 1, "use kva unpack"},
      {"list " + Q(dir / "damaged28") + pw, 1, "holds no KVA package"},
      {"list " + Q(dir / ("damaged" + std::to_string(lastPad))) + pw, 1, "the container is damaged"},
      {open + Q(dir / ("damaged" + std::to_string(lastPad))) + to, 1, "container is damaged; nothing was unpacked"},
      {"list " + c + pw, 0, "0     1  folders" + std::string(1, fs::path::preferred_separator) + "sub"}};
  for (const auto& [arguments, status, says] : rows) {
    const KvaRun run = KvaWithoutTerminal(arguments);
    EXPECT_TRUE(run.status == status && Says(run, says) && !fs::exists(made)) << arguments << ": " << run.output;
  }
  // What follows the package inside a container is decrypted too: a sound
  // end is passed over, a damaged one reported (the files stay, to check).
  WriteFile(dir / "longer.pkg", ReadFile(dir / "p.pkg") + RandomBytes(3000, 5));
  ASSERT_EQ(Encrypt(dir / "longer.pkg", dir / "longer.kva"), 0);
  std::string longer = ReadFile(dir / "longer.kva");
  longer[longer.size() - 17] = static_cast<char>(longer[longer.size() - 17] ^ 1);  // the last pad byte
  WriteFile(dir / "longer-damaged.kva", longer);
  for (const auto& [name, status, says] :
       {std::tuple{"longer.kva", 0, ""}, {"longer-damaged.kva", 1, "the end of the container is damaged"}}) {
    for (const std::string& command : {open + Q(dir / name) + to, "list" + pw + " " + Q(dir / name)}) {
      fs::remove_all(made);
      const KvaRun run = KvaWithoutTerminal(command);
      EXPECT_TRUE(run.status == status && Says(run, says)) << command << ": " << run.output;
    }
  }
  // info tells a container alone from one that other bytes follow.
  WriteFile(dir / "followed.kva", ReadFile(dir / "c.kva") + "more");
  EXPECT_TRUE(Says(Kva("info " + c), "state:       complete\n"));
  EXPECT_TRUE(Says(Kva("info " + Q(dir / "followed.kva")), "state:       complete, followed by 4 other bytes\n"));
#ifndef _WIN32
  const KvaRun closed = Kva("info - <&-");  // no standard input at all
  EXPECT_TRUE(closed.status == 1 && Says(closed, "cannot read standard input")) << closed.output;
  for (const auto& [path, says] : {std::pair{"''", "kva: an empty path was given"}, {"\"$(printf '\\377')\"", "is not valid UTF-8"},
                                   {"'a\\b'", "kva: cannot use 'a\\b': a name holds a backslash"}}) {
    const KvaRun run = Kva(std::string("list ") + path);
    EXPECT_TRUE(run.status == 1 && Says(run, says)) << path << ": " << run.output;
  }
#endif
}

#ifndef _WIN32
namespace {

// kva on a pseudo-terminal; each time `prompt` shows once more, the next
// answer is typed (once it is up: kva flushes what was typed ahead).
std::string OnTerminal(const std::string& arguments, std::vector<std::string> answers, int* status,
                       const std::string& prompt = "Password") {
  int terminal = -1;
  const pid_t pid = forkpty(&terminal, nullptr, nullptr, nullptr);
  if (pid == 0) execl("/bin/sh", "sh", "-c", (ToolPath("kva").string() + " " + arguments).c_str(), nullptr), _exit(127);
  std::string shown;
  char buffer[4096];
  std::size_t typed = 0;
  for (pollfd wait{terminal, POLLIN, 0}; poll(&wait, 1, 20000) > 0;) {
    const ssize_t got = read(terminal, buffer, sizeof buffer);
    if (got <= 0) break;
    shown.append(buffer, static_cast<std::size_t>(got));
    std::size_t prompts = 0;
    for (std::size_t at = 0; (at = shown.find(prompt, at)) != std::string::npos; ++at) ++prompts;
    for (; typed < prompts && typed < answers.size(); ++typed) {
      EXPECT_GT(write(terminal, (answers[typed] + "\n").data(), answers[typed].size() + 1), 0);
    }
  }
  ::kill(pid, SIGKILL);
  ::waitpid(pid, status, 0);
  close(terminal);
  return shown;
}

}  // namespace

// On a terminal kva asks twice when encrypting (different answers refused,
// an empty one at once), once when decrypting, and draws its progress line,
// cleared at the end and before an error. It never writes data to the
// terminal.
TEST(PosixKva, OnATerminal) {
  const fs::path dir = ScratchDir();
  WriteFile(dir / "big", std::string(24 << 20, 'x'));
  int status = -1;
  std::string shown = OnTerminal("encrypt --cipher 2 " + Q(dir / "big") + " " + Q(dir / "big.kva"), {"pw", "pw"}, &status);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0 && shown.find("Password again: ") != std::string::npos) << shown;
  EXPECT_TRUE(shown.find("\rEncrypting ") != std::string::npos && shown.find(" / 24.0 MiB ") != std::string::npos) << shown;
  EXPECT_EQ(shown.substr(shown.rfind('\r')), "\r\033[K") << "cleared at the end";
  shown = OnTerminal("decrypt " + Q(dir / "big.kva") + " " + Q(dir / "back"), {"pw", "pw"}, &status);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0 && shown.find("again") == std::string::npos) << shown;
  EXPECT_TRUE(ReadFile(dir / "back") == ReadFile(dir / "big"));
  shown = OnTerminal("encrypt -f " + Q(dir / "big") + " " + Q(dir / "big.kva"), {"pw", "other"}, &status);
  EXPECT_TRUE(WEXITSTATUS(status) == 1 && shown.find("do not match") != std::string::npos) << shown;
  shown = OnTerminal("encrypt -f " + Q(dir / "big") + " " + Q(dir / "big.kva"), {""}, &status);
  EXPECT_TRUE(WEXITSTATUS(status) == 1 && shown.find("empty") != std::string::npos && shown.find("again") == std::string::npos);
  shown = OnTerminal("decrypt " + Q(dir / "big.kva") + " -", {"pw"}, &status);
  EXPECT_TRUE(WEXITSTATUS(status) == 64 && shown.find("refusing to write binary data to a terminal") != std::string::npos &&
              shown.find("Password") == std::string::npos) << shown;
  // A failure after the line was drawn is reported on a line of its own.
  std::string damaged = ReadFile(dir / "big.kva");
  damaged.back() = static_cast<char>(damaged.back() ^ 1);
  WriteFile(dir / "big.kva", damaged);
  shown = OnTerminal("decrypt -f " + Q(dir / "big.kva") + " " + Q(dir / "back"), {"pw", "pw"}, &status);
  EXPECT_TRUE(WEXITSTATUS(status) == 1 && shown.find("\r\033[Kkva: ") != std::string::npos) << shown;
}

// On a terminal kva asks before it replaces a file, naming it, in the
// package's order: y replaces it, n keeps it, A replaces it and the rest, N
// keeps it and the rest; any other answer asks again.
TEST(PosixKva, ExistingFilesAsked) {
  const fs::path dir = ScratchDir(), out = dir / "out";
  for (const char* name : {"a", "b", "c", "d"}) WriteFile(dir / "tree" / name, name);
  WriteFile(dir / "pw", "secret\n");
  ASSERT_EQ(Pack(dir / "tree", dir / "tree.pkg") + Encrypt(dir / "tree.pkg", dir / "tree.kva"), 0);
  std::vector<std::string> order;  // the files in the package's order
  for (const ParsedRecord& record : ParsePackage(ReadFile(dir / "tree.pkg"))) order.push_back(Utf8(HostPath(record.path)));
  const std::tuple<std::vector<std::string>, std::string, std::string> rows[] = {  // answers, outcome, says
      {{"x", "y", "n", "A"}, "RKRR", "kept 1 existing file\r\n"}, {{"N"}, "KKKK", "kept 4 existing files\r\n"}};
  for (const std::string& command : {"open --password-file " + Q(dir / "pw") + " " + Q(dir / "tree.kva"), "unpack " + Q(dir / "tree.pkg")}) {
    for (const auto& [answers, outcome, says] : rows) {
      fs::remove_all(out);
      ASSERT_EQ(Unpack(dir / "tree.pkg", out), 0);
      for (const char* name : {"a", "b", "c", "d"}) WriteFile(out / "tree" / name, "edited");
      int status = -1;
      const std::string shown = OnTerminal(command + " " + Q(out), answers, &status, "[N]one: ");
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0 && Says({0, shown}, says)) << shown;
      EXPECT_TRUE(Says({0, shown}, "kva: replace '" + Utf8(out / "tree") + "/" + order[2].substr(order[2].rfind('/') + 1) +
                                        "'? [y]es, [n]o, [A]ll, [N]one: " + answers[0])) << shown;
      for (std::size_t i = 0; i < 4; ++i) {
        const std::string name = order[i + 2].substr(order[i + 2].rfind('/') + 1);
        EXPECT_EQ(ReadFile(out / "tree" / name), outcome[i] == 'R' ? name : "edited") << command << name;
      }
    }
  }
}

// An unreadable file (a socket named with control characters) cancels the
// run, named on one line, unless --skip-unreadable leaves it out with a note.
TEST(PosixKva, UnreadableFilesCancelUnlessSkipped) {
  const fs::path dir = ScratchDir();
  WriteFile(dir / "outside", "outside");
  fs::create_directories(dir / "tree");
  fs::create_symlink(dir / "outside", dir / "tree" / "link");
  sockaddr_un address{AF_UNIX, {}};
  (dir / "tree" / "so\x1b" "ck\net").string().copy(address.sun_path, sizeof address.sun_path - 1);
  ASSERT_EQ(bind(socket(AF_UNIX, SOCK_STREAM, 0), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  const KvaRun cancelled = Kva("seal " + Q(dir / "tree") + " " + Q(dir / "c.kva") + " --password-stdin", "pw\n");
  EXPECT_TRUE(cancelled.status == 1 && !fs::exists(dir / "c.kva") && Says(cancelled, "--skip-unreadable") &&
              Says(cancelled, "Cannot read the file '" + (dir / "tree").string() + "/so\\x1bck\\net': "))
      << cancelled.output;
  const KvaRun skipped = Kva("pack --skip-unreadable " + Q(dir / "tree") + " " + Q(dir / "p.pkg"));
  EXPECT_TRUE(skipped.status == 0 && Says(skipped, "skipped (") && Unpack(dir / "p.pkg", dir / "out") == 0) << skipped.output;
  EXPECT_EQ(Snapshot(dir / "out"), (Tree{{"tree", "dir"}, {"tree/link", Hex("outside")}}));
  // Forced over a link where the file was, unpacking neither follows nor removes it.
  fs::remove(dir / "out" / "tree" / "link"), fs::create_symlink("../../outside", dir / "out" / "tree" / "link");
  const KvaRun over = Kva("unpack --force " + Q(dir / "p.pkg") + " " + Q(dir / "out"));
  EXPECT_TRUE(over.status == 1 && Says(over, "link': a link is in the way") && fs::is_symlink(dir / "out" / "tree" / "link"));
}

// Every hidden name a command makes beside its output, and any it made
// before its password (read from a pipe held open), is replaced the moment
// it appears by a link to a private file of someone else's, the sentinel:
// the sentinel keeps its bytes and mode, and the command fails or makes
// exactly what it makes untouched. (The application's temporary file has
// no name to replace: worker_test.cpp.) No core dump while kva holds the
// password.
TEST(PosixKva, SwappedNamesNeverRedirectAnOutput) {
  const fs::path dir = ScratchDir(), sentinel = dir / "sentinel", tree = dir / "tree";
  MakeTree(tree);
  WriteFile(tree / "big", RandomBytes(8 << 20, 5));
  const std::string box = Utf8(dir / "c.kva"), package = Utf8(dir / "p.pkg");
  ASSERT_EQ(Kva("seal " + Q(tree) + " " + Q(box) + " --password-stdin", "pw\n").status, 0);
  ASSERT_EQ(Kva("pack " + Q(tree) + " " + Q(package)).status, 0);
  const std::vector<std::vector<std::string>> rows = {
      {"seal", Utf8(tree)}, {"encrypt", package}, {"decrypt", box}, {"pack", Utf8(tree)},
      {"pack", "--append", Utf8(tree)}, {"open", box}, {"unpack", package}};
  for (const std::vector<std::string>& row : rows) {
    bool password = row[0] != "pack" && row[0] != "unpack";
    Tree untouched;
    for (bool attacked : {false, true}) {
      const fs::path work = dir / "work";
      fs::remove_all(work);
      fs::create_directories(work);
      if (row[1] == "--append") fs::copy_file(package, work / "out");
      fs::remove(sentinel);
      WriteFile(sentinel, "someone else's");
      fs::permissions(sentinel, fs::perms::owner_read | fs::perms::owner_write);
      std::vector<std::string> arguments = row;
      arguments.push_back(Utf8(work / "out"));
      if (password) arguments.push_back("--password-stdin");
      RunningKva kva(arguments, dir / "log");
      std::set<fs::path> swapped;
      for (auto start = std::chrono::steady_clock::now(); kva.Running();) {
        std::error_code error;
        for (fs::recursive_directory_iterator it(work, error), end; attacked && !error && it != end; it.increment(error)) {
          if (it->path().filename().string().rfind(".kva-", 0) != 0 || !swapped.insert(it->path()).second) continue;
          ::kill(static_cast<pid_t>(kva.Id()), SIGSTOP);
          fs::remove(it->path(), error);
          fs::create_symlink(sentinel, it->path(), error);
          ::kill(static_cast<pid_t>(kva.Id()), SIGCONT);
        }
        if (std::chrono::steady_clock::now() - start > std::chrono::milliseconds(300) && password) {
          std::string limits = ReadFile("/proc/" + std::to_string(kva.Id()) + "/limits"), soft, hard;
          std::istringstream(limits.substr(limits.find("Max core file size") + 26)) >> soft >> hard;
          EXPECT_TRUE(soft == "0" && hard == "0") << limits;
          kva.Feed("pw\n");
          password = false;
        }
      }
      const int status = kva.Wait();
      if (!attacked) untouched = Snapshot(work);
      EXPECT_TRUE(attacked || status == 0) << ReadFile(dir / "log");
      EXPECT_TRUE(status != 0 || Snapshot(work) == untouched) << row[0] << " " << row[1];
      EXPECT_EQ(ReadFile(sentinel), "someone else's") << row[0] << " " << row[1];
      EXPECT_EQ(fs::status(sentinel).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
    }
  }
}

// A file that appears under the output's name while kva waits for its
// password (its output begun under no name) is kept without --force.
TEST(PosixKva, AFileThatAppearsMeanwhileIsKept) {
  const fs::path dir = ScratchDir(), out = dir / "out";
  WriteFile(dir / "plain", "payload");
  RunningKva kva({"encrypt", Utf8(dir / "plain"), Utf8(out), "--password-stdin"}, dir / "log");
  auto begun = [&, fds = "/proc/" + std::to_string(kva.Id()) + "/fd", error = std::error_code()]() mutable {
    for (fs::directory_iterator it(fds, error), end; !error && it != end; it.increment(error))
      if (fs::read_symlink(it->path(), error).string().rfind((dir / "#").string(), 0) == 0) return true;
    return false;
  };
  for (int i = 0; i < 1000 && !begun(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  WriteFile(out, "someone's"), kva.Feed("pw\n");
  EXPECT_TRUE(kva.Wait() == 1 && ReadFile(out) == "someone's" && Says({1, ReadFile(dir / "log")}, "appeared meanwhile (use --force"));
}

// kill -9, SIGINT, SIGTERM and SIGHUP at random moments of open, seal and
// decrypt (many 1-byte files and one large one): no hidden name of kva's is
// left, and an output under its own name is whole. A signal kva hears (here
// while it waits for its password) ends it with a message: SIGINT by the
// signal itself, as shells expect, the others with 1.
TEST(PosixKva, KilledAtAnyMomentLeavesNothingHalfMade) {
  const fs::path dir = ScratchDir(), tree = dir / "tree", out = dir / "out";
  for (int i = 0; i < 300; ++i) WriteFile(tree / "small" / std::to_string(i), std::string(1, static_cast<char>(i)));
  WriteFile(tree / "big", RandomBytes(8 << 20, 7));
  WriteFile(dir / "pw", "pw\n");
  const std::string pw = " --password-file " + Q(dir / "pw");
  ASSERT_EQ(Kva("seal " + Q(tree) + " " + Q(dir / "c.kva") + pw).status, 0);
  ASSERT_EQ(Kva("decrypt " + Q(dir / "c.kva") + " " + Q(dir / "plain") + pw).status, 0);
  const std::string sealed = ReadFile(dir / "c.kva"), plain = ReadFile(dir / "plain");
  const Tree whole = Snapshot(tree);
  for (const auto& [signal, status, says] : {std::tuple{SIGINT, 128 + SIGINT, "kva: interrupted"},
                                            {SIGTERM, 1, "kva: terminated"}, {SIGHUP, 1, "kva: the terminal went away"}}) {
    RunningKva kva({"decrypt", Utf8(dir / "c.kva"), Utf8(out), "--password-stdin"}, dir / "log");
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ::kill(static_cast<pid_t>(kva.Id()), signal);
    EXPECT_EQ(kva.Wait(), status);
    EXPECT_EQ(ReadFile(dir / "log"), std::string(says) + "\n");
  }
  std::mt19937 random(17);
  const std::vector<std::string> commands[] = {
      {"open", Utf8(dir / "c.kva")}, {"seal", Utf8(tree)}, {"decrypt", Utf8(dir / "c.kva")}};
  for (int round = 0; round < 16; ++round) {
    const std::vector<std::string>& command = commands[round % 3];
    const int signal = std::vector<int>{SIGKILL, SIGINT, SIGTERM, SIGHUP}[round / 3 % 4];
    fs::remove_all(out);
    std::vector<std::string> arguments = command;
    arguments.insert(arguments.end(), {Utf8(out), "--password-file", Utf8(dir / "pw")});
    RunningKva kva(arguments, dir / "log");
    std::this_thread::sleep_for(std::chrono::milliseconds(random() % 300));
    ::kill(static_cast<pid_t>(kva.Id()), signal);
    kva.Wait();
    SCOPED_TRACE(command[0] + " " + std::to_string(signal));
    for (const auto& [path, what] : Snapshot(dir)) EXPECT_EQ(path.find(".kva-"), std::string::npos) << path;
    if (command[0] == "open") {
      for (const auto& [path, what] : Snapshot(out / "tree")) EXPECT_EQ(what, whole.at(path)) << path;
    } else if (fs::exists(out)) {
      EXPECT_TRUE(ReadFile(out) == (command[0] == "seal" ? sealed : plain));
    }
  }
}
#endif
