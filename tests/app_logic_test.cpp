// The application's plain functions: the command line and the destination
// derived from it, the screen's layout scale, the English resources, and
// the progress callback's arithmetic.
#include <gtest/gtest.h>

#include "app/command_line.h"
#include "job/progress_callback.h"
#include "platform/language.h"
#include "platform/screen.h"
#include "platform/string_table.h"
#include "platform/window_layout.h"
#include "res/program_strings.h"
#include "res/resource_ids.h"
#include "res/resources.h"
#include "tests/test_support.h"

namespace fs = std::filesystem;

// The command line as the program takes it: its two options, or the path
// it decrypts (and trashes on "Нет"), absolute, in device spelling, without
// the quotes a shell or file manager puts around a path with blanks; the
// folder the form offers, the one that holds the file; and the window's
// title. Nothing named asks for a file; a path is refused, never cut or
// guessed at, when it is too long or has no device spelling.
TEST(CommandLine, GivesTheSourcePathTheDestinationAndTheTitle) {
  std::u16string here = test_support::DevicePath(fs::current_path());
  std::string longest = "/" + std::string(258, 'a');  // 259 units
  std::u16string longestDevice = std::u16string(u"\\") + std::u16string(258, u'a');
  using app::CommandLine;
  const struct {
    std::string commandLine;
    CommandLine kind;
    std::u16string path = {}, destination = {}, title = {};
  } cases[] = {
      {"/My Documents/a.dat", CommandLine::kFile, u"\\My Documents\\a.dat", u"\\My Documents", u"a.dat — Tessaron"},
      {"/a.dat", CommandLine::kFile, u"\\a.dat", u"\\", u"a.dat — Tessaron"},  // the root
      {"a.kva", CommandLine::kFile, here + u"\\a.kva", here, u"a.kva — Tessaron"},
      {"./x/../a.kva", CommandLine::kFile, here + u"\\a.kva", here, u"a.kva — Tessaron"},
      {"\"/a b/c.kva\"", CommandLine::kFile, u"\\a b\\c.kva", u"\\a b", u"c.kva — Tessaron"},
      {"\"c.kva", CommandLine::kFile, here + u"\\c.kva", here, u"c.kva — Tessaron"},
      {"c.kva\"", CommandLine::kFile, here + u"\\c.kva", here, u"c.kva — Tessaron"},
      {"\"\"/a\"\"", CommandLine::kFile, here + u"\\\"\\a\"", here + u"\\\"", u"a\" — Tessaron"},
      {"-- -x.kva", CommandLine::kFile, here + u"\\-x.kva", here, u"-x.kva — Tessaron"},
      {longest, CommandLine::kFile, longestDevice, u"\\", std::u16string(258, u'a') + u" — Tessaron"},
      {"\"" + longest + "\"", CommandLine::kFile, longestDevice, u"\\", std::u16string(258, u'a') + u" — Tessaron"},
      {"", CommandLine::kNoFile}, {"\"", CommandLine::kNoFile}, {"\"\"", CommandLine::kNoFile},
      {"-- ", CommandLine::kNoFile},
      {"--help", CommandLine::kHelp}, {"--version", CommandLine::kVersion},
      {"--help x", CommandLine::kUnknownOption}, {"-", CommandLine::kUnknownOption},
      {"--", CommandLine::kUnknownOption}, {"-platform offscreen", CommandLine::kUnknownOption},
      {longest + "a", CommandLine::kBadPath}, {"/" + std::string(1000, 'a'), CommandLine::kBadPath},
      {"/a\\b.kva", CommandLine::kBadPath}, {"/\xFF.kva", CommandLine::kBadPath},
  };
  char16_t fallback[2];
  platform::LoadString(res::ProgramInstance(), res::kIdsDecryptInto, fallback);
  for (const auto& c : cases) {
    char16_t path[platform::kMaxPath];
    char16_t destination[platform::kMaxPath] = {};
    char16_t title[platform::kMaxPath + 16] = {};
    CommandLine kind = app::ReadCommandLine(c.commandLine.c_str(), path);
    if (kind == CommandLine::kFile) {
      app::DeriveDestination(path, fallback, destination);
      app::MainWindowTitle(path, u"Tessaron", title, std::size(title));
    }
    EXPECT_EQ(kind, c.kind) << c.commandLine;
    EXPECT_TRUE(path == c.path && destination == c.destination && title == c.title) << c.commandLine;
  }
  // The derivation on its own also takes quotes off, keeps a text without
  // a backslash whole and falls back to the first character of string 3,
  // though the program hands it none of these.
  const std::pair<std::u16string, std::u16string> device[] = {
      {u"\"\\x\\a.dat\"", u"\\x"}, {u"a.dat", u"a.dat"}, {u"\"\"", u"Р"}};
  for (const auto& [commandLine, expected] : device) {
    char16_t destination[platform::kMaxPath];
    app::DeriveDestination(commandLine.c_str(), fallback, destination);
    EXPECT_TRUE(destination == expected);
  }
}

TEST(Screen, LayoutScaleFollowsTheShorterSide) {
  const struct {
    const char* size;
    int scale;  // -1: not a size
  } cases[] = {
      {"240x320", 1}, {"320x240", 1}, {"480x640", 2}, {"480X800", 2}, {"640x480", 2},
      {"479x640", 1}, {"720x1280", 3}, {"239x320", 0},  // guarded by the screen metrics
      {"", -1}, {"480", -1}, {"x640", -1}, {"480x", -1}, {"0x640", -1}, {"480x640x", -1},
      {"99999x1", -1}, {"-1x5", -1}, {"480 x 640", -1}, {"480x640 ", -1},
  };
  for (const auto& c : cases) {
    int width = 0;
    int height = 0;
    bool parsed = platform::ParseScreenSize(c.size, &width, &height);
    EXPECT_EQ(parsed ? platform::LayoutScale(width, height) : -1, c.scale) << c.size;
  }
  // On a desktop: twice its own scale, as large a multiple as fits either
  // way, never under quarter VGA.
  const int desktops[][5] = {  // width, height, dpi; the screen it shows
      {1920, 1080, 96, 480, 640}, {1920, 1080, 192, 720, 960}, {1920, 600, 96, 240, 320},
      {400, 1080, 96, 240, 320}, {100, 100, 144, 240, 320}, {3840, 2160, 144, 720, 960}};
  for (const auto& d : desktops) {
    int width = 0;
    int height = 0;
    platform::DeviceScreenOnDesktop(d[0], d[1], d[2], &width, &height);
    EXPECT_TRUE(width == d[3] && height == d[4]) << d[0] << "x" << d[1] << " at " << d[2] << ": " << width;
  }
  // Only a text one line high gets the room to the dialog's right edge.
  using platform::ControlClass;
  const auto oneLine = [](ControlClass kind, int height) {
    return platform::IsOneLineText({1, kind, u"x", 0, 4, 4, 40, height, 0});
  };
  EXPECT_TRUE(oneLine(ControlClass::kStatic, 8) && !oneLine(ControlClass::kStatic, 16) &&
              !oneLine(ControlClass::kProgressBar, 8));
}

namespace {

bool HasCyrillic(const char16_t* text) {
  for (; *text != u'\0'; ++text) if (*text >= 0x400 && *text < 0x530) return true;
  return false;
}

// The placeholders of a text in order ("% s" counts as "%s").
std::u16string Placeholders(const std::u16string& text) {
  std::u16string found;
  for (std::size_t at = text.find(u'%'); at != std::u16string::npos; at = text.find(u'%', at + 1)) {
    std::size_t next = at + 1 < text.size() && text[at + 1] == u' ' ? at + 2 : at + 1;
    if (next < text.size()) found += text[next];
  }
  return found;
}

}  // namespace

// The English resources stand in for the Russian ones one for one: every
// text, with the same placeholders in the same order (the library fills
// them in), every soft key's command and every dialog control.
TEST(EnglishResources, MatchTheRussianOnes) {
  const platform::StringTable& russian = res::kProgramStrings;
  ASSERT_NE(russian.english, nullptr);
  EXPECT_EQ(russian.english->count, russian.count);
  for (std::size_t i = 0; i < russian.count; ++i) {
    std::uint32_t id = russian.entries[i].id;
    char16_t english[512];
    platform::SetResourceLanguage(platform::Language::kEnglish);
    ASSERT_GT(platform::LoadString(&russian, id, english), 0u) << id;
    bool isName = id == res::kIdsTitle || id == res::kIdsClassName || id == res::kIdsBrowse;
    EXPECT_EQ(std::u16string(english) == russian.entries[i].text, isName) << id;
    EXPECT_EQ(Placeholders(english), Placeholders(russian.entries[i].text)) << id;
    EXPECT_FALSE(HasCyrillic(english)) << id;
  }
  auto both = [](auto find, int id) {
    platform::SetResourceLanguage(platform::Language::kRussian);
    auto* original = find(id);
    platform::SetResourceLanguage(platform::Language::kEnglish);
    return std::make_pair(original, find(id));
  };
  auto [menu, englishMenu] = both(res::FindMenu, res::kMenuSoftKeys);
  ASSERT_EQ(englishMenu->count, menu->count);
  for (std::size_t i = 0; i < menu->count; ++i) {
    EXPECT_TRUE(englishMenu->items[i].command == menu->items[i].command && !HasCyrillic(englishMenu->items[i].text)) << i;
  }
  for (int id : {res::kDialogAbout, res::kDialogProgress}) {
    auto [dialog, english] = both(res::FindDialog, id);
    ASSERT_EQ(english->count, dialog->count) << id;
    for (std::size_t i = 0; i < dialog->count; ++i) {
      const platform::DialogItem& item = english->items[i];
      EXPECT_TRUE(item.id == dialog->items[i].id && item.x == dialog->items[i].x && item.width == dialog->items[i].width) << id;
      EXPECT_TRUE(item.text == nullptr || !HasCyrillic(item.text)) << id;
    }
  }
  platform::SetResourceLanguage(platform::Language::kRussian);
}

// Runs of reports, each row one report; a fresh row starts a new run. The
// item line changes only when the text differs; the bar moves only when
// (done - last position) x 100, wrapping in 32 bits, exceeds the total, to
// done / (total x 0.01) in single precision.
TEST(ProgressArithmetic, Runs) {
  const struct {
    bool fresh;
    std::uint32_t done, total;
    const char16_t* text;
    bool setText, moved;
    std::uint32_t percent;
  } rows[] = {
      {true, 0, 0, u"Обрабатываемые файлы", true, false, 0},
      {false, 0, 0, u"Обрабатываемые файлы", false, false, 0},  // the same text
      {false, 0, 0, nullptr, false, false, 0},
      {false, 0, 0, u"Обрабатываемые файлы ", true, false, 0},
      {false, 5, 0, u"a", true, false, 0},  // total 0 never moves the bar...
      {false, 0, 50, nullptr, false, false, 0},  // ...nor the last position
      // Total 50: every step forward is more than a hundredth.
      {false, 1, 50, nullptr, false, true, 2}, {false, 2, 50, nullptr, false, true, 4},
      {false, 2, 50, nullptr, false, false, 0},  // done equal to the last position
      {false, 50, 50, nullptr, false, true, 100},
      // Total 5000: only more than 50 ahead of the last position.
      {true, 50, 5000, nullptr, false, false, 0}, {false, 51, 5000, nullptr, false, true, 1},
      {false, 101, 5000, nullptr, false, false, 0}, {false, 102, 5000, nullptr, false, true, 2},
      // Decryption's last block, its closing (1, 1) where (1 - 3) x 100
      // wraps, and unpacking's first report (0, total), which wraps too: the
      // bar goes back to 0.
      {true, 3, 4, u"Обрабатываемые файлы", true, true, 75},
      {false, 1, 1, u"Полная обработка файлов", true, true, 100},
      {false, 0, 1880, u"\\out\\Tessaron sample", true, true, 0},
      // Unless the last position is exactly 1, when (1, 1) moves nothing.
      {true, 1, 2, nullptr, false, true, 50}, {false, 1, 1, nullptr, false, false, 0},
      // 356182046 x 100 wraps to 1258466232, above the total; in single
      // precision the percentage is 87 where exact arithmetic gives 86.
      {true, 356182046, 409404653, nullptr, false, true, 87},
      // 1226852777 x 100 wraps below the total: no move at almost half.
      {true, 1226852777, 2610325119u, nullptr, false, false, 0},
      // Far beyond its total (a package that understates it): the largest
      // position rather than an undefined conversion.
      {true, 4000000000u, 1, nullptr, false, true, 0xFFFFFFFFu},
  };
  job::ProgressState state;
  int row = 0;
  for (const auto& r : rows) {
    ++row;
    if (r.fresh) state = {};
    job::ProgressStep step = job::AdvanceProgress(&state, r.done, r.total, r.text);
    EXPECT_EQ(step.setText, r.setText) << "row " << row;
    EXPECT_EQ(step.movePosition, r.moved) << "row " << row;
    if (r.moved) {
      EXPECT_EQ(step.percent, r.percent) << "row " << row;
    }
  }
  // A text longer than the buffer is kept cut, and never counts as the same.
  std::u16string longText(300, u'x');
  EXPECT_TRUE(job::AdvanceProgress(&state, 0, 0, longText.c_str()).setText);
  EXPECT_EQ(std::u16string(state.lastText).size(), platform::kMaxPath - 1);
  EXPECT_TRUE(job::AdvanceProgress(&state, 0, 0, longText.c_str()).setText);
}
