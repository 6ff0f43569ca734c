// kva's entry point on Windows, which hands the command line over as
// UTF-16; the options and every path in them are UTF-8 from here on, as on
// Linux.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/exit_codes.h"
#include "platform/device_path.h"
#include "platform/wide_string.h"

int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> arguments;
  for (int i = 0; i < argc; ++i) {
    const auto* wide = reinterpret_cast<const char16_t*>(argv[i]);
    const std::size_t length = platform::WideLength(wide);
    std::string utf8(length * 3 + 1, '\0');
    if (!platform::Utf16ToUtf8(wide, length, utf8.data(), utf8.size())) {
      std::fprintf(stderr, "kva: argument %d is not valid Unicode text\n", i);
      return cli::kExitUsage;
    }
    utf8.resize(std::char_traits<char>::length(utf8.c_str()));
    arguments.push_back(utf8);
  }
  std::vector<char*> pointers;
  for (std::string& argument : arguments) pointers.push_back(argument.data());
  pointers.push_back(nullptr);
  return cli::RunKva(argc, pointers.data());
}
