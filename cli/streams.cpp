#include "cli/streams.h"

#include <algorithm>
#include <cstring>

#include "cli/command_support.h"
#include "cli/exit_codes.h"
#include "cli/messages.h"
#include "platform/console.h"
#include "platform/secure_zero.h"

namespace cli {

bool Input::Open(const std::string& argument) {
  standard_ = IsStandardStream(argument);
  name_ = standard_ ? "standard input" : argument;
  if (standard_) {
    if (!opened_.OpenStandardInput()) {
      PrintError("cannot read standard input: " + LastErrorText());
      return false;
    }
  } else {
    std::uint64_t size = 0;
    if (!ResolvePath(argument, &path_) || !CheckInputFile(path_, argument, &size)) return false;
    if (!opened_.OpenRead(path_.text)) {
      PrintError("cannot read " + Quoted(argument) + ": " + LastErrorText());
      return false;
    }
  }
  sized_ = opened_.SizeKnown();
  size_ = opened_.OpenedSize();
  return true;
}

std::uint32_t Input::Peek(unsigned char* bytes, std::uint32_t size) {
  size = std::min(size, kPeekBytes);
  while (peeked_ < size) {
    std::uint32_t got = 0;
    if (!file_->Read(peek_ + peeked_, size - peeked_, &got) || got == 0) break;
    peeked_ += got;
  }
  std::uint32_t given = std::min(size, peeked_);
  std::memcpy(bytes, peek_, given);
  return given;
}

bool Input::Read(void* buffer, std::uint32_t size, std::uint32_t* got) {
  auto* out = static_cast<unsigned char*>(buffer);
  std::uint32_t early = std::min(size, peeked_);
  std::memcpy(out, peek_, early);
  std::memmove(peek_, peek_ + early, peeked_ - early);
  peeked_ -= early;
  std::uint32_t rest = 0;
  bool ok = early == size || file_->Read(out + early, size - early, &rest);
  *got = early + rest;
  passed_ += *got;
  return ok;
}

bool Input::Pass(std::uint64_t size) {
  std::uint32_t early = static_cast<std::uint32_t>(std::min<std::uint64_t>(size, peeked_));
  unsigned char discard[4096];
  std::uint32_t got = 0;
  Read(discard, early, &got);
  size -= early;
  if (size == 0) return true;
  // What was read ahead is used up: the file stands where reading does.
  if (!standard_ && sized_) {
    // A named file seeks: passing over a file's content costs nothing.
    if (passed_ > size_ || size > size_ - passed_) return false;
    passed_ += size;
    return file_->Seek(passed_);
  }
  while (size > 0) {
    std::uint32_t step = static_cast<std::uint32_t>(std::min<std::uint64_t>(size, sizeof discard));
    if (!Read(discard, step, &got) || got != step) return false;
    size -= step;
  }
  return true;
}

bool Input::Rewind() {
  peeked_ = 0;
  passed_ = 0;
  return !standard_ && file_->Seek(0);
}

std::uint64_t Input::PassToEnd() {
  unsigned char discard[4096];
  std::uint32_t got = 0;
  while (file_->Read(discard, sizeof discard, &got) && got > 0) passed_ += got;
  return Size();
}

bool Input::Buffer() {
  if (sized_) return true;
  // Scratch space that nobody else can open, and that goes with the
  // process however it ends.
  platform::File& spool = buffered_;
  if (!spool.CreateScratch(u"kva-input-")) {
    PrintError("cannot keep standard input in a temporary file: " + LastErrorText());
    return false;
  }
  platform::WipedBuffer<platform::File::kBufferSize / 4> block;  // a container, or plaintext
  std::uint64_t start = passed_;
  std::uint32_t got = 0;
  bool read = true;
  bool written = true;
  // A container holds less than 4 GiB: reading stops soon after that.
  while (written && passed_ - start <= 0xFFFFFFFFu && (read = Read(block.items, sizeof block.items, &got)) &&
         got > 0) {
    written = spool.Write(block.items, got);
  }
  if (!read) {
    PrintError("cannot read standard input: " + LastErrorText());
    return false;
  }
  if (!written || !spool.Seek(0)) {
    PrintError("cannot keep standard input in a temporary file (is the disk full?)");
    return false;
  }
  // From here on the copy is read, from its start (where standard input
  // stood), through the handle that wrote it.
  opened_.Close();
  file_ = &buffered_;
  sized_ = true;
  size_ = passed_;
  passed_ = start;
  return true;
}

bool Output::Open(const std::string& argument, bool replace, int* status) {
  *status = kExitFailure;
  standard_ = IsStandardStream(argument);
  name_ = standard_ ? "standard output" : argument;
  if (standard_) {
    if (platform::OutputIsTerminal()) {
      PrintError("refusing to write binary data to a terminal: redirect standard output, or name a file");
      *status = kExitUsage;
      return false;
    }
    if (!file_.OpenStandardOutput()) {
      PrintError("cannot write to standard output: " + LastErrorText());
      return false;
    }
    return true;
  }
  std::string error;
  if (!ResolvePath(argument, &path_)) return false;
  if (!staged_.Reserve(path_, argument, replace, &error)) {
    PrintError(error);
    return false;
  }
  return true;
}

void Output::ReportFailure() const {
  PrintError("cannot write " + (standard_ ? name_ : Quoted(name_)) + " (is the disk full?)");
}

bool Output::Finish() {
  if (standard_) {
    if (file_.Close()) return true;
    ReportFailure();
    return false;
  }
  if (!staged_.File().Flush()) {
    ReportFailure();
    return false;
  }
  std::string error;
  if (!staged_.Commit(&error)) {
    PrintError(error);
    return false;
  }
  return true;
}

}  // namespace cli
