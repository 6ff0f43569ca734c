// kva's progress line: what it shows (a pure function of the bytes, the
// time and the terminal's width), and that it is drawn and cleared on a
// terminal but never written anywhere else.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "cli/progress.h"
#include "tests/test_support.h"

namespace fs = std::filesystem;
using namespace test_support;

namespace {

std::string Q(const fs::path& path) { return ShellQuote(path.string()); }

TEST(ProgressLine, BarBytesRateAndTimeLeft) {
  struct Case {
    const char* label;
    std::uint64_t done, total;
    double seconds;
    int width;
    const char* line;
  };
  const Case cases[] = {
      // 12.3 of 27 MiB in 1.5 s: 8.2 MiB/s, 1.8 s left (rounded up).
      {"Decrypting", 12897485, 28311552, 1.5, 79,
       "Decrypting  45% [=======>         ] 12.3 MiB / 27.0 MiB   8.2 MiB/s   0:02 left"},
      // Too early for a rate; 1000 bytes are already shown in KiB.
      {"Sealing", 0, 1000, 0.1, 79,
       "Sealing   0% [>                    ]      0 B / 1.0 KiB     --- B/s   -:-- left"},
      {"Opening", 3221225472, 3221225472, 30, 79,
       "Opening 100% [=====================]  3.0 GiB / 3.0 GiB   102 MiB/s   0:00 left"},
      // An hour left; too narrow for a bar, which is left out.
      {"Packing", 1048576, 3601ull * 1048576, 1, 57,
       "Packing   0%  1.0 MiB / 3.5 GiB   1.0 MiB/s  1:00:00 left"},
      {"Packing", 0, 0, 2, 60, "Packing 100%      0 B / 0 B     --- B/s   -:-- left"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(cli::FormatProgressLine(c.label, c.done, c.total, c.seconds, c.width), c.line);
  }
  // Whatever the terminal's width, the line fills it and never wraps.
  for (int width = -1; width <= 200; ++width) {
    std::string line = cli::FormatProgressLine("Encrypting", 5 << 20, 9 << 20, 3, width);
    ASSERT_LE(line.size(), static_cast<std::size_t>(std::max(width, 0))) << line;
    if (line.find('[') != std::string::npos) {
      ASSERT_EQ(line.size(), static_cast<std::size_t>(width));
    }
  }
}

// A run long enough to be drawn (Triple DES over 24 MiB, most of a
// second), once on a pseudo-terminal and once into a pipe.
TEST(ProgressLine, DrawnAndClearedOnATerminalOnly) {
  fs::path dir = ScratchDir();
  WriteFile(dir / "big", std::string(24 << 20, 'x'));
  WriteFile(dir / "pw", "pw\n");
  std::string encrypt = "encrypt --cipher 2 -f --password-file " + Q(dir / "pw") + " " +
                        Q(dir / "big") + " " + Q(dir / "big.kva");

  std::string onTerminal;
  std::string command = ToolPath("kva").string() + " " + encrypt;
  ASSERT_EQ(RunCommand("script -qec " + ShellQuote(command) + " /dev/null </dev/null", &onTerminal),
            0)
      << onTerminal;
  EXPECT_NE(onTerminal.find("\rEncrypting "), std::string::npos) << onTerminal;
  EXPECT_NE(onTerminal.find(" / 24.0 MiB "), std::string::npos) << onTerminal;
  EXPECT_NE(onTerminal.find("MiB/s"), std::string::npos) << onTerminal;
  EXPECT_EQ(onTerminal.substr(onTerminal.rfind('\r')), "\r\033[K") << "cleared at the end";

  KvaRun piped = Kva(encrypt);
  EXPECT_EQ(piped.status, 0);
  EXPECT_EQ(piped.output, "") << "nothing when standard error is not a terminal";
}

}  // namespace
