// Running commands in the Windows build (under Wine), without a shell.
//
// The tests' commands take a few forms, understood here: `PROGRAM ARGS`,
// `cd DIR && PROGRAM ARGS`, and either with `2>&1` at the end. The program
// `openssl` is the Linux one, which Wine starts like any other program;
// arguments that are paths on drive Z: (Wine's view of the Linux root) are
// handed to it as Linux paths. Output goes through temporary files.
#include <gtest/gtest.h>
#include <windows.h>

#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "tests/test_support.h"

namespace fs = std::filesystem;

namespace test_support {
namespace {

std::wstring Wide(const std::string& utf8) {
  if (utf8.empty()) return {};
  int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), length);
  return wide;
}

// The quoting rules Windows programs split their command line by: quotes
// around the argument, a quote inside it escaped, and backslashes doubled
// only where a quote follows them.
template <typename Char>
std::basic_string<Char> Quote(const std::basic_string<Char>& text) {
  std::basic_string<Char> quoted(1, Char('"'));
  std::size_t backslashes = 0;
  for (Char c : text) {
    if (c == Char('\\')) {
      ++backslashes;
      continue;
    }
    quoted.append(c == Char('"') ? 2 * backslashes + 1 : backslashes, Char('\\'));
    backslashes = 0;
    quoted += c;
  }
  quoted.append(2 * backslashes, Char('\\'));
  return quoted + Char('"');
}

// Z:\work\x as the Linux program sees it: /work/x.
std::wstring LinuxPath(std::wstring argument) {
  bool onZ = argument.size() >= 3 && (argument[0] == L'Z' || argument[0] == L'z') &&
             argument[1] == L':' && (argument[2] == L'\\' || argument[2] == L'/');
  if (!onZ) return argument;
  argument.erase(0, 2);
  for (wchar_t& c : argument) if (c == L'\\') c = L'/';
  return argument;
}

// An inheritable temporary file that goes away when its last handle closes.
HANDLE TemporaryFile() {
  wchar_t folder[MAX_PATH + 1];
  wchar_t name[MAX_PATH];
  if (GetTempPathW(MAX_PATH + 1, folder) == 0 || GetTempFileNameW(folder, L"tst", 0, name) == 0) {
    return INVALID_HANDLE_VALUE;
  }
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  return CreateFileW(name, GENERIC_READ | GENERIC_WRITE,
                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &inherit, CREATE_ALWAYS,
                     FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
}

// CreateProcessW, tried again when Wine gives up starting the program with
// ERROR_INTERNAL_ERROR: seen only on a loaded machine (the suite beside
// other busy processes), a start or two in some thirty runs of the kva tests.
bool StartProcess(std::wstring commandLine, bool inheritHandles, DWORD flags, const std::wstring& folder,
                  STARTUPINFOW* startup, PROCESS_INFORMATION* process) {
  for (int attempt = 0;; ++attempt) {
    if (CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, inheritHandles, flags, nullptr,
                       folder.empty() ? nullptr : folder.c_str(), startup, process)) {
      return true;
    }
    if (GetLastError() != ERROR_INTERNAL_ERROR || attempt == 4) return false;
    Sleep(200);
  }
}

struct Launch {
  std::vector<std::wstring> arguments;
  std::wstring folder;           // working folder; empty: the test's own
  bool mergeErrors = false;      // standard error into the output too
  bool feedInput = false;
  std::string input;             // standard input when feedInput, else NUL
  bool withoutConsole = false;
};

int Start(const Launch& launch, std::string* out) {
  std::wstring commandLine;
  for (const std::wstring& argument : launch.arguments) {
    if (!commandLine.empty()) commandLine += L' ';
    commandLine += Quote(argument);
  }
  HANDLE output = TemporaryFile();
  HANDLE input = INVALID_HANDLE_VALUE;
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  if (launch.feedInput) {
    input = TemporaryFile();
    DWORD written = 0;
    if (input != INVALID_HANDLE_VALUE) {
      ::WriteFile(input, launch.input.data(), static_cast<DWORD>(launch.input.size()), &written, nullptr);
      SetFilePointer(input, 0, nullptr, FILE_BEGIN);
    }
  } else {
    input = CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                        OPEN_EXISTING, 0, nullptr);
  }
  HANDLE errors = INVALID_HANDLE_VALUE;
  if (!launch.mergeErrors) {
    DuplicateHandle(GetCurrentProcess(), GetStdHandle(STD_ERROR_HANDLE), GetCurrentProcess(),
                    &errors, 0, TRUE, DUPLICATE_SAME_ACCESS);
  }
  int status = -1;
  if (output != INVALID_HANDLE_VALUE && input != INVALID_HANDLE_VALUE) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input;
    startup.hStdOutput = output;
    startup.hStdError = launch.mergeErrors ? output : errors;
    PROCESS_INFORMATION process{};
    if (StartProcess(commandLine, true, launch.withoutConsole ? DETACHED_PROCESS : 0, launch.folder, &startup,
                     &process)) {
      WaitForSingleObject(process.hProcess, INFINITE);
      DWORD code = 0;
      if (GetExitCodeProcess(process.hProcess, &code)) status = static_cast<int>(code);
      CloseHandle(process.hThread);
      CloseHandle(process.hProcess);
    }
    std::string text;
    SetFilePointer(output, 0, nullptr, FILE_BEGIN);
    char buffer[65536];
    DWORD got = 0;
    while (::ReadFile(output, buffer, sizeof buffer, &got, nullptr) && got > 0) text.append(buffer, got);
    if (out != nullptr) *out = text;
  }
  for (HANDLE handle : {output, input, errors}) {
    if (handle != INVALID_HANDLE_VALUE && handle != nullptr) CloseHandle(handle);
  }
  return status;
}

// A Linux program, which Wine starts but neither waits for nor reports the
// exit status of: /bin/sh runs it with its output in files and leaves the
// status in one more, which is awaited here.
int RunLinuxProgram(const std::wstring& program, const Launch& launch, std::string* out) {
  static int counter = 0;
  const char* root = std::getenv("TESSARON_TEST_TMP");
  const fs::path folder = Wide(root != nullptr ? root : "Z:/tmp");
  std::error_code ignored;
  fs::create_directories(folder, ignored);
  std::wstring base = folder.wstring() + L"/linux-program-" +
                      std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++counter);
  auto sh = [](const std::wstring& text) {
    std::wstring quoted = L"'";
    for (wchar_t c : text) quoted += c == L'\'' ? std::wstring(L"'\\''") : std::wstring(1, c);
    return quoted + L"'";
  };
  std::wstring script = launch.folder.empty() ? L"" : L"cd " + sh(LinuxPath(launch.folder)) + L" && ";
  script += sh(program);
  for (std::size_t i = 1; i < launch.arguments.size(); ++i) script += L" " + sh(LinuxPath(launch.arguments[i]));
  script += L" >" + sh(LinuxPath(base + L".out")) +
            (launch.mergeErrors ? L" 2>&1" : L" 2>" + sh(LinuxPath(base + L".err"))) + L"; echo $? >" +
            sh(LinuxPath(base + L".tmp")) + L"; mv " + sh(LinuxPath(base + L".tmp")) + L" " +
            sh(LinuxPath(base + L".status"));
  std::wstring commandLine = L"/bin/sh -c " + Quote(script);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!StartProcess(commandLine, false, 0, L"", &startup, &process)) return -1;
  const fs::path status = base + L".status";
  for (int waited = 0; !fs::exists(status) && waited < 60000; waited += 5) Sleep(5);
  int code = -1;
  if (fs::exists(status)) code = std::atoi(ReadFile(status).c_str());
  if (out != nullptr) *out = ReadFile(base + L".out");
  std::string errors = launch.mergeErrors ? "" : ReadFile(base + L".err");
  std::fputs(errors.c_str(), stderr);
  for (const wchar_t* suffix : {L".out", L".err", L".status"}) fs::remove(base + suffix, ignored);
  return code;
}

// The arguments of a command line, split as Windows programs split theirs.
std::vector<std::wstring> Split(const std::string& command) {
  std::vector<std::wstring> arguments;
  int count = 0;
  LPWSTR* split = CommandLineToArgvW(Wide(command).c_str(), &count);
  if (split == nullptr) return arguments;
  for (int i = 0; i < count; ++i) arguments.emplace_back(split[i]);
  LocalFree(split);
  return arguments;
}

}  // namespace

std::string ShellQuote(const std::string& text) { return Quote(text); }

int RunCommand(const std::string& command, std::string* out) {
  Launch launch;
  std::vector<std::wstring>& arguments = launch.arguments = Split(command);
  if (arguments.size() > 3 && arguments[0] == L"cd" && arguments[2] == L"&&") {
    launch.folder = arguments[1];
    arguments.erase(arguments.begin(), arguments.begin() + 3);
  }
  if (!arguments.empty() && arguments.back() == L"2>&1") {
    launch.mergeErrors = true;
    arguments.pop_back();
  }
  if (arguments.empty()) return -1;
  if (arguments[0] == L"openssl") return RunLinuxProgram(L"/usr/bin/openssl", launch, out);
  // Links, which Wine can neither make nor remove.
  if (arguments[0] == L"ln" || arguments[0] == L"rm") return RunLinuxProgram(L"/bin/" + arguments[0], launch, out);
  return Start(launch, out);
}

KvaRun Kva(const std::string& arguments, const std::string& standardInput) {
  Launch launch;
  launch.arguments = Split(ShellQuote(ToolPath("kva").string()) + " " + arguments);
  launch.mergeErrors = true;
  launch.feedInput = !standardInput.empty();
  launch.input = standardInput;
  KvaRun run;
  run.status = Start(launch, &run.output);
  return run;
}

KvaRun KvaWithoutTerminal(const std::string& arguments) {
  Launch launch;
  launch.arguments = Split(ShellQuote(ToolPath("kva").string()) + " " + arguments);
  launch.mergeErrors = true;
  launch.withoutConsole = true;
  KvaRun run;
  run.status = Start(launch, &run.output);
  return run;
}

RunningKva::RunningKva(const std::vector<std::string>& arguments, const std::filesystem::path& log) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE read = nullptr, write = nullptr;
  HANDLE out = CreateFileW(log.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                           CREATE_ALWAYS, 0, nullptr);
  if (!CreatePipe(&read, &write, &inherit, 0)) return;
  SetHandleInformation(write, HANDLE_FLAG_INHERIT, 0);
  std::wstring commandLine = Quote(ToolPath("kva").wstring());
  for (const std::string& argument : arguments) commandLine += L" " + Quote(Wide(argument));
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = read;
  startup.hStdOutput = startup.hStdError = out;
  PROCESS_INFORMATION process{};
  if (StartProcess(commandLine, true, 0, L"", &startup, &process)) {
    CloseHandle(process.hThread);
    process_ = reinterpret_cast<std::intptr_t>(process.hProcess);
    id_ = process.dwProcessId;
  }
  CloseHandle(read);
  CloseHandle(out);
  input_ = reinterpret_cast<std::intptr_t>(write);
}

RunningKva::~RunningKva() {
  if (process_ != 0) TerminateProcess(reinterpret_cast<HANDLE>(process_), 9), Wait();
  Feed("");
}

void RunningKva::Feed(const std::string& input) {
  if (input_ == -1) return;
  DWORD written = 0;
  ::WriteFile(reinterpret_cast<HANDLE>(input_), input.data(), static_cast<DWORD>(input.size()), &written, nullptr);
  CloseHandle(reinterpret_cast<HANDLE>(input_));
  input_ = -1;
}

int RunningKva::Wait() {
  DWORD code = static_cast<DWORD>(-1);
  if (process_ == 0) return -1;
  WaitForSingleObject(reinterpret_cast<HANDLE>(process_), INFINITE);
  GetExitCodeProcess(reinterpret_cast<HANDLE>(process_), &code);
  CloseHandle(reinterpret_cast<HANDLE>(process_));
  process_ = 0;
  return static_cast<int>(code);
}

bool RunningKva::Running() {
  return process_ != 0 && WaitForSingleObject(reinterpret_cast<HANDLE>(process_), 0) == WAIT_TIMEOUT;
}

UnreadableFile::UnreadableFile(const std::filesystem::path& path) {
  WriteFile(path, "locked");
  handle_ = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_NE(handle_, INVALID_HANDLE_VALUE);
}

UnreadableFile::~UnreadableFile() {
  if (handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
}

}  // namespace test_support
