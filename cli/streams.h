// What kva reads and writes: a file named on the command line, or, for the
// argument "-", standard input where a command reads and standard output
// where it writes (a file named "-" is reached as "./-").
#pragma once

#include <cstdint>
#include <string>

#include "cli/paths.h"
#include "cli/staged_output.h"
#include "platform/files.h"
#include "securefile/byte_stream.h"

namespace cli {

inline bool IsStandardStream(const std::string& argument) { return argument == "-"; }

// A command's input. The first bytes can be looked at before they are read
// (Peek), to tell a container from a package.
class Input final : public securefile::ByteReader {
 public:
  static constexpr std::uint32_t kPeekBytes = 32;

  // Opens the regular file `argument` names, or standard input for "-".
  // Prints the problem when it cannot.
  bool Open(const std::string& argument);
  // For messages: the argument as given, or "standard input".
  const std::string& Name() const { return name_; }
  bool IsStandard() const { return standard_; }
  const DevicePath& Path() const { return path_; }
  platform::File& File() { return *file_; }

  // Whether the input's size is known: a file, or standard input
  // redirected from one (or made sized by Buffer).
  bool SizeKnown() const { return sized_; }
  // The size from the input's start; for an input of unknown size, the
  // bytes read so far.
  std::uint64_t Size() const { return sized_ ? size_ : passed_ + peeked_; }
  // Bytes from the reading position to the end (0 when not known).
  std::uint64_t Remaining() const { return sized_ && size_ > passed_ ? size_ - passed_ : 0; }

  // Reads up to `size` (at most kPeekBytes) bytes ahead into `bytes`;
  // later reads return them again.
  std::uint32_t Peek(unsigned char* bytes, std::uint32_t size);
  // Passes over `size` bytes: seeks in a file, reads through a stream.
  // False when the input ends before.
  bool Pass(std::uint64_t size);
  // Back to the start of a named file, for a second pass.
  bool Rewind();
  // Reads and counts what is left, for a stream whose size was not known.
  std::uint64_t PassToEnd();
  // Copies the rest of standard input into private scratch space that has
  // no name (File::CreateScratch: it lives only as long as it is open), so
  // that the size is known and it can be read from the start. Prints the
  // problem.
  bool Buffer();

  bool Read(void* buffer, std::uint32_t size, std::uint32_t* got) override;

 private:
  platform::File opened_;
  platform::File buffered_;  // standard input's copy, once Buffer made one
  platform::File* file_ = &opened_;
  DevicePath path_;
  std::string name_;
  bool standard_ = false;
  unsigned char peek_[kPeekBytes] = {};
  std::uint32_t peeked_ = 0;  // bytes read ahead, not yet handed out
  std::uint64_t passed_ = 0;  // bytes handed out or passed over
  bool sized_ = false;
  std::uint64_t size_ = 0;
};

// A command's output: a file that appears only when complete (see
// StagedOutput), or standard output, never when that is a terminal.
class Output final : public securefile::ByteWriter {
 public:
  // Reserves the file `argument` names (an existing one is replaced only
  // with `replace`), or takes standard output for "-". Prints the problem;
  // *status is the exit code then: standard output on a terminal is a
  // usage error.
  bool Open(const std::string& argument, bool replace, int* status);
  bool IsStandard() const { return standard_; }
  const DevicePath& Path() const { return path_; }
  // The file being written (standard output, or the file that takes the
  // output's name when complete), which packing must never pack into
  // itself.
  platform::File& File() { return standard_ ? file_ : staged_.File(); }

  bool Write(const void* data, std::uint32_t size) override { return File().Write(data, size); }
  // Flushes and closes; a file then takes its name. Prints the problem.
  bool Finish();
  // Says that writing failed (a file is then never given its name).
  void ReportFailure() const;

 private:
  StagedOutput staged_;
  platform::File file_;  // standard output
  DevicePath path_;
  std::string name_;
  bool standard_ = false;
};

}  // namespace cli
