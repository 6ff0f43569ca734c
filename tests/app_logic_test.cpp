// The application's plain functions: the command line and the destination
// derived from it, the screen's layout scale and the main window's control
// rectangles, dialog units, and the progress callback's arithmetic.
#include <gtest/gtest.h>
#include <unistd.h>

#include "app/command_line.h"
#include "app/layout.h"
#include "job/progress.h"
#include "platform/language.h"
#include "platform/qt/dialog_builder.h"
#include "platform/screen.h"
#include "platform/string_table.h"
#include "res/resource_ids.h"
#include "res/resources.h"
#include "res/string_table.h"
#include "tests/test_support.h"

namespace fs = std::filesystem;

namespace {

std::u16string Destination(const std::u16string& commandLine) {
  char16_t fallback[2];
  platform::LoadString(res::ProgramInstance(), res::kIdsDecryptInto, fallback);
  char16_t destination[platform::kMaxPath];
  app::DeriveDestination(commandLine.c_str(), fallback, destination);
  return destination;
}

// Runs the command-line conversion on `arguments` (without the program's
// name); returns the device text, or "<refused>".
std::u16string CommandLine(std::vector<std::string> arguments) {
  std::vector<char*> argv{const_cast<char*>("tessaron")};
  for (std::string& argument : arguments) argv.push_back(argument.data());
  char16_t commandLine[platform::kMaxPath];
  if (!app::CommandLineFromArguments(static_cast<int>(argv.size()), argv.data(), commandLine)) {
    return u"<refused>";
  }
  return commandLine;
}

}  // namespace

TEST(Destination, IsTheFolderThatHoldsTheFile) {
  EXPECT_EQ(Destination(u"\\My Documents\\a.dat"), u"\\My Documents");
  EXPECT_EQ(Destination(u"\\a.dat"), u"\\") << "a file in the root";
  EXPECT_EQ(Destination(u"\\"), u"\\");
  EXPECT_EQ(Destination(u"a.dat"), u"a.dat") << "no backslash: the whole text";
  EXPECT_EQ(Destination(u"\\x\\\\a.dat"), u"\\x\\") << "cut at the last backslash only";
}

TEST(Destination, IgnoresSurroundingQuotes) {
  EXPECT_EQ(Destination(u"\"\\My Documents\\a.dat\""), u"\\My Documents");
  EXPECT_EQ(Destination(u"\"\\My Documents\\a.dat"), u"\\My Documents") << "leading only";
  EXPECT_EQ(Destination(u"\\My Documents\\a.dat\""), u"\\My Documents") << "trailing only";
  EXPECT_EQ(Destination(u"\"\\a.dat\""), u"\\");
  // Only one quote comes off each end.
  EXPECT_EQ(Destination(u"\"\"\\a\\b\"\""), u"\"\\a");
}

TEST(Destination, EmptyCommandLineGivesTheFallbackCharacter) {
  EXPECT_EQ(Destination(u""), u"Р") << "the first character of string 3";
  EXPECT_EQ(Destination(u"\""), u"Р") << "a lone quote leaves nothing";
  EXPECT_EQ(Destination(u"\"\""), u"Р");
}

// The path the program decrypts, deletes on "Нет", and derives the
// destination from: absolute, in device spelling, without the quotes a
// shell or file manager puts around a path with blanks.
TEST(CommandLine, BecomesTheFilesAbsoluteDevicePath) {
  std::u16string here = test_support::DevicePath(fs::current_path());
  std::string longest = "/" + std::string(258, 'a');  // 259 units
  const struct {
    std::vector<std::string> arguments;
    std::u16string path;
  } cases[] = {
      {{"/My Documents/a.dat"}, u"\\My Documents\\a.dat"},
      {{"a.kva"}, here + u"\\a.kva"},
      {{"./x/../a.kva"}, here + u"\\a.kva"},
      // The path is the whole command line: separate arguments are one path.
      {{"/My", "Documents/a.dat"}, u"\\My Documents\\a.dat"},
      {{"\"/a b/c.kva\""}, u"\\a b\\c.kva"},
      {{"\"c.kva\""}, here + u"\\c.kva"},
      {{"\"c.kva"}, here + u"\\c.kva"},
      {{"c.kva\""}, here + u"\\c.kva"},
      {{"\"/a", "b.kva\""}, u"\\a b.kva"},
      // One quote comes off each end, no more.
      {{"\"\"/a\"\""}, here + u"\\\"\\a\""},
      {{longest}, std::u16string(u"\\") + std::u16string(258, u'a')},
      {{"\"" + longest + "\""}, std::u16string(u"\\") + std::u16string(258, u'a')},
      // Refused, never cut or guessed at: nothing to decrypt, too long, no
      // device spelling.
      {{}, u"<refused>"},
      {{""}, u"<refused>"},
      {{"\""}, u"<refused>"},
      {{"\"\""}, u"<refused>"},
      {{longest + "a"}, u"<refused>"},
      {{"/" + std::string(1000, 'a')}, u"<refused>"},
      {{"/a\\b.kva"}, u"<refused>"},
      {{"/\xFF.kva"}, u"<refused>"},
  };
  for (const auto& c : cases) {
    std::string shown;
    for (const std::string& argument : c.arguments) shown += "[" + argument + "]";
    EXPECT_EQ(CommandLine(c.arguments), c.path) << shown;
  }
}

TEST(LayoutScale, FollowsTheShorterSide) {
  EXPECT_EQ(platform::LayoutScale(240, 320), 1);
  EXPECT_EQ(platform::LayoutScale(320, 240), 1);
  EXPECT_EQ(platform::LayoutScale(480, 640), 2);
  EXPECT_EQ(platform::LayoutScale(480, 800), 2);
  EXPECT_EQ(platform::LayoutScale(640, 480), 2);
  EXPECT_EQ(platform::LayoutScale(479, 640), 1);
  EXPECT_EQ(platform::LayoutScale(720, 1280), 3);
  EXPECT_EQ(platform::LayoutScale(239, 320), 0) << "guarded by the screen metrics, not here";
}

TEST(LayoutScale, ScreenSizeText) {
  int width = 0;
  int height = 0;
  ASSERT_TRUE(platform::ParseScreenSize("240x320", &width, &height));
  EXPECT_EQ(width, 240);
  EXPECT_EQ(height, 320);
  EXPECT_TRUE(platform::ParseScreenSize("480X800", &width, &height));
  for (const char* bad : {"", "480", "x640", "480x", "0x640", "480x640x", "99999x1", "-1x5",
                          "480 x 640", "480x640 "}) {
    EXPECT_FALSE(platform::ParseScreenSize(bad, &width, &height)) << bad;
  }
}

TEST(MainWindowLayout, ControlRectanglesAtScaleOneAndTwo) {
  using app::ControlRect;
  EXPECT_EQ(
      app::MainWindowControlRects(1),
      (std::array<ControlRect, 4>{ControlRect{10, 20, 220, 40}, ControlRect{10, 44, 200, 64},
                                  ControlRect{10, 74, 220, 94}, ControlRect{10, 98, 200, 118}}));
  EXPECT_EQ(
      app::MainWindowControlRects(2),
      (std::array<ControlRect, 4>{ControlRect{20, 40, 440, 80}, ControlRect{20, 88, 400, 128},
                                  ControlRect{20, 148, 440, 188}, ControlRect{20, 196, 400, 236}}));
}

TEST(DialogUnits, TemplatesFitTheScreenAtEveryScale) {
  // The 156 x 129 templates and their widest control (the bar, 7 + 142).
  for (int scale : {1, 2, 3}) {
    QRect frame = platform::qt::DialogUnitsToPixels(0, 0, 156, 129, scale);
    EXPECT_LE(frame.width(), 240 * scale);
    EXPECT_LE(frame.height(), 320 * scale - 52 * scale) << "below a title bar, above the keys";
    QRect bar = platform::qt::DialogUnitsToPixels(7, 38, 142, 10, scale);
    EXPECT_LE(bar.right(), 240 * scale);
  }
  // Rounded to the nearest pixel: 7 x 6 / 4 = 10.5 and 7 x 13 / 8 = 11.375.
  EXPECT_EQ(platform::qt::DialogUnitsToPixels(7, 7, 129, 8, 1), QRect(11, 11, 194, 13));
  EXPECT_EQ(platform::qt::DialogUnitsToPixels(7, 7, 129, 8, 2), QRect(21, 23, 387, 26));
}

namespace {

bool HasCyrillic(const char16_t* text) {
  for (; *text != u'\0'; ++text) {
    if (*text >= 0x400 && *text < 0x530) return true;
  }
  return false;
}

}  // namespace

// The English resources stand in for the Russian ones one for one: every
// text, with the same placeholders in the same order (the library fills
// them in), every menu command and every dialog control.
TEST(EnglishResources, MatchTheRussianOnes) {
  const platform::StringTable& russian = res::kProgramStrings;
  ASSERT_NE(russian.english, nullptr);
  auto placeholders = [](std::u16string text) {
    std::u16string found;
    for (std::size_t at = text.find(u'%'); at != std::u16string::npos; at = text.find(u'%', at + 1)) {
      std::size_t next = at + 1 < text.size() && text[at + 1] == u' ' ? at + 2 : at + 1;
      if (next < text.size()) found += text[next];
    }
    return found;
  };
  for (std::size_t i = 0; i < russian.count; ++i) {
    std::uint32_t id = russian.entries[i].id;
    SCOPED_TRACE(id);
    char16_t text[512];
    platform::SetResourceLanguage(platform::Language::kEnglish);
    ASSERT_GT(platform::LoadString(&russian, id, text), 0u);
    std::u16string english = text;
    platform::SetResourceLanguage(platform::Language::kRussian);
    platform::LoadString(&russian, id, text);
    EXPECT_EQ(placeholders(english), placeholders(text));
    bool isName = id == res::kIdsTitle || id == res::kIdsClassName;
    EXPECT_EQ(english == text, isName) << "translated, but for the window's names";
    EXPECT_FALSE(HasCyrillic(english.c_str())) << "no Russian left";
  }
  EXPECT_EQ(russian.english->count, russian.count);

  for (int id : {res::kMenuSoftKeys, res::kMenuBlankSoftKeys, res::kDialogAbout,
                 res::kDialogProgress}) {
    SCOPED_TRACE(id);
    platform::SetResourceLanguage(platform::Language::kRussian);
    const platform::MenuResource* menu = res::FindMenu(id);
    const platform::DialogTemplate* dialog = res::FindDialog(id);
    platform::SetResourceLanguage(platform::Language::kEnglish);
    if (menu != nullptr) {
      const platform::MenuResource* english = res::FindMenu(id);
      ASSERT_EQ(english->count, menu->count);
      for (std::size_t i = 0; i < menu->count; ++i) {
        EXPECT_EQ(english->items[i].command, menu->items[i].command);
      }
    }
    if (dialog != nullptr) {
      const platform::DialogTemplate* english = res::FindDialog(id);
      ASSERT_EQ(english->count, dialog->count);
      for (std::size_t i = 0; i < dialog->count; ++i) {
        EXPECT_EQ(english->items[i].id, dialog->items[i].id);
        EXPECT_EQ(english->items[i].x, dialog->items[i].x);
        EXPECT_EQ(english->items[i].width, dialog->items[i].width);
        if (english->items[i].text != nullptr) {
          EXPECT_FALSE(HasCyrillic(english->items[i].text));
        }
      }
    }
  }
  platform::SetResourceLanguage(platform::Language::kRussian);
}

namespace {

struct Step {
  bool text;
  bool moved;
  std::uint32_t percent;
};

Step Report(job::ProgressState* state, std::uint32_t done, std::uint32_t total,
            const char16_t* text = nullptr) {
  job::ProgressStep step = job::AdvanceProgress(state, done, total, text);
  return {step.setText, step.movePosition, step.percent};
}

}  // namespace

TEST(ProgressArithmetic, TextChangesOnlyWhenItDiffers) {
  job::ProgressState state;
  EXPECT_TRUE(Report(&state, 0, 0, u"Обрабатываемые файлы").text);
  EXPECT_FALSE(Report(&state, 0, 0, u"Обрабатываемые файлы").text) << "same text";
  EXPECT_FALSE(Report(&state, 0, 0).text) << "null text";
  EXPECT_TRUE(Report(&state, 0, 0, u"Обрабатываемые файлы ").text);
  EXPECT_EQ(std::u16string(state.lastText), u"Обрабатываемые файлы ");
  // A text longer than the buffer is kept cut, and never counts as the same.
  std::u16string longText(300, u'x');
  EXPECT_TRUE(Report(&state, 0, 0, longText.c_str()).text);
  EXPECT_EQ(std::u16string(state.lastText).size(), platform::kMaxPath - 1);
  EXPECT_TRUE(Report(&state, 0, 0, longText.c_str()).text);
}

TEST(ProgressArithmetic, TotalZeroNeverMovesTheBar) {
  job::ProgressState state;
  Step step = Report(&state, 5, 0, u"a");
  EXPECT_TRUE(step.text);
  EXPECT_FALSE(step.moved);
  EXPECT_EQ(state.lastPosition, 0u);
}

TEST(ProgressArithmetic, BarMovesOncePerHundredthOfTheTotal) {
  job::ProgressState state;
  // Total 50: every step forward is more than a hundredth.
  for (std::uint32_t done = 1; done <= 50; ++done) {
    Step step = Report(&state, done, 50);
    EXPECT_TRUE(step.moved) << done;
    EXPECT_EQ(step.percent, done * 2);
  }
  EXPECT_FALSE(Report(&state, 50, 50).moved) << "done equal to the last position";

  // Total 5000: only more than 50 ahead of the last position.
  state = {};
  EXPECT_FALSE(Report(&state, 50, 5000).moved);
  Step step = Report(&state, 51, 5000);
  EXPECT_TRUE(step.moved);
  EXPECT_EQ(step.percent, 1u);
  EXPECT_FALSE(Report(&state, 101, 5000).moved);
  EXPECT_TRUE(Report(&state, 102, 5000).moved);
}

TEST(ProgressArithmetic, DecryptionEndThenUnpackingStart) {
  job::ProgressState state;
  EXPECT_TRUE(Report(&state, 3, 4, u"Обрабатываемые файлы").moved);
  // The closing (1, 1) of decryption: (1 - 3) x 100 wraps to a huge value.
  Step end = Report(&state, 1, 1, u"Полная обработка файлов");
  EXPECT_TRUE(end.moved);
  EXPECT_EQ(end.percent, 100u);
  // Unpacking's first report (0, total): (0 - 1) x 100 wraps too, so the bar
  // goes back to 0.
  Step start = Report(&state, 0, 1880, u"\\out\\Tessaron sample");
  EXPECT_TRUE(start.moved);
  EXPECT_EQ(start.percent, 0u);

  // Unless the last position is exactly 1, when (1, 1) moves nothing.
  state = {};
  Report(&state, 1, 2);
  EXPECT_FALSE(Report(&state, 1, 1).moved);
}

TEST(ProgressArithmetic, ThirtyTwoBitWrapAndSinglePrecision) {
  job::ProgressState state;
  // 356182046 x 100 wraps to 1258466232, above the total, so the bar moves;
  // in single precision the percentage is 87 where exact arithmetic gives 86.
  Step step = Report(&state, 356182046, 409404653);
  EXPECT_TRUE(step.moved);
  EXPECT_EQ(step.percent, 87u);
  // 1226852777 x 100 wraps to 2426193412, below the total 2610325119: no
  // move, although done is almost half of it.
  state = {};
  EXPECT_FALSE(Report(&state, 1226852777, 2610325119u).moved);
  // A report far beyond its total (a package that understates it) gives
  // the largest position rather than an undefined conversion.
  state = {};
  step = Report(&state, 4000000000u, 1);
  EXPECT_TRUE(step.moved);
  EXPECT_EQ(step.percent, 0xFFFFFFFFu);
}
