// The file logic that is the same on every host: the buffering of File and
// file identity. The raw reads, writes and seeks come from host.h.
#include <algorithm>
#include <cstring>
#include <new>

#include "platform/files.h"
#include "platform/secure_zero.h"
#include "platform/shared/host.h"

namespace platform {

File::~File() {
  if (IsOpen()) Close();
}

bool File::Adopt(HostHandle descriptor, int access) {
  if (descriptor < 0) return false;
  if (buffer_ == nullptr) buffer_.reset(new (std::nothrow) unsigned char[kBufferSize]);
  if (buffer_ == nullptr) {
    host::Close(descriptor);
    host::SetError(host::OutOfMemoryError());
    return false;
  }
  descriptor_ = descriptor;
  access_ = access;
  buffered_ = Buffered::kNothing;
  failed_ = false;
  uncommitted_ = false;
  staging_ = -1;
  described_ = false;
  begin_ = 0;
  end_ = 0;
  used_ = 0;
  return true;
}

void File::Describe(std::uint64_t size, const FileId& id) {
  described_ = true;
  openedSize_ = size;
  id_ = id;
}

bool File::Read(void* buffer, std::uint32_t size, std::uint32_t* got) {
  *got = 0;
  if (!IsOpen() || (access_ & kReadOnly) == 0 || failed_) return false;
  // What was written must be out before the same file is read.
  if (buffered_ == Buffered::kWrites && !Flush()) return false;
  auto* out = static_cast<unsigned char*>(buffer);
  std::size_t wanted = size;
  while (wanted > 0) {
    if (begin_ == end_) {
      // Large reads bypass the buffer; small ones refill it.
      bool direct = wanted >= kBufferSize;
      long long filled = host::ReadSome(descriptor_, direct ? out : buffer_.get(),
                                        direct ? wanted : kBufferSize);
      if (filled < 0) {
        failed_ = true;
        return false;
      }
      if (filled == 0) break;
      if (direct) {
        out += filled;
        wanted -= static_cast<std::size_t>(filled);
        *got += static_cast<std::uint32_t>(filled);
        continue;
      }
      begin_ = 0;
      end_ = static_cast<std::size_t>(filled);
      used_ = std::max(used_, end_);
      buffered_ = Buffered::kReadAhead;
    }
    std::size_t take = end_ - begin_ < wanted ? end_ - begin_ : wanted;
    std::memcpy(out, buffer_.get() + begin_, take);
    begin_ += take;
    out += take;
    wanted -= take;
    *got += static_cast<std::uint32_t>(take);
  }
  return true;
}

bool File::Write(const void* buffer, std::uint32_t size) {
  if (!IsOpen() || (access_ & kWriteOnly) == 0 || failed_) return false;
  if (buffered_ == Buffered::kReadAhead) {
    // The host's position is past what was read: writing here would land
    // elsewhere. A Seek settles where the writing goes.
    if (begin_ != end_) return false;
    buffered_ = Buffered::kNothing;
    begin_ = end_ = 0;
  }
  const auto* data = static_cast<const unsigned char*>(buffer);
  std::size_t remaining = size;
  if (end_ + remaining > kBufferSize) {
    if (!Flush()) return false;
    if (remaining >= kBufferSize) {
      if (!host::WriteAll(descriptor_, data, remaining)) {
        failed_ = true;
        return false;
      }
      return true;
    }
  }
  std::memcpy(buffer_.get() + end_, data, remaining);
  end_ += remaining;
  used_ = std::max(used_, end_);
  buffered_ = Buffered::kWrites;
  return true;
}

bool File::Flush() {
  if (!IsOpen()) return false;
  if (buffered_ != Buffered::kWrites || end_ == 0) return !failed_;
  bool ok = !failed_ && host::WriteAll(descriptor_, buffer_.get(), end_);
  end_ = 0;
  buffered_ = Buffered::kNothing;
  if (!ok) failed_ = true;
  return ok;
}

void File::ForgetFailure() {
  begin_ = end_ = 0;
  buffered_ = Buffered::kNothing;
  failed_ = false;
}

bool File::Seek(std::uint64_t position) {
  if (!IsOpen() || !Flush()) return false;
  begin_ = end_ = 0;
  buffered_ = Buffered::kNothing;
  return host::Seek(descriptor_, position);
}

bool File::SeekToEnd() {
  if (!IsOpen() || !Flush()) return false;
  begin_ = end_ = 0;
  buffered_ = Buffered::kNothing;
  return host::SeekToEnd(descriptor_);
}

// (A file opened only for reading is refused by the system itself.)
bool File::Truncate(std::uint64_t length) {
  if (!IsOpen() || !Flush()) return false;
  return host::Truncate(descriptor_, length);
}

bool File::Close() {
  if (!IsOpen()) return false;
  bool ok = Flush();
  if (uncommitted_) DropUncommitted();
  if (!host::Close(descriptor_) && (access_ & kWriteOnly) != 0) ok = false;
  descriptor_ = -1;
  access_ = 0;
  buffered_ = Buffered::kNothing;
  failed_ = false;
  begin_ = end_ = 0;
  // What passed through the buffer may have been plaintext.
  SecureZero(buffer_.get(), used_);
  used_ = 0;
  buffer_.reset();
  return ok;
}

bool GetFileId(const File& file, FileId* id) {
  if (file.described_) {
    *id = file.id_;
    return true;
  }
  return file.IsOpen() && host::GetOpenFileId(file.Descriptor(), id);
}

bool IsSameFile(const File& file, const char16_t* path) {
  FileId open;
  FileId named;
  return GetFileId(file, &open) && GetFileId(path, &named) && open == named;
}

bool IsSameFile(const char16_t* a, const char16_t* b) {
  FileId first;
  FileId second;
  return GetFileId(a, &first) && GetFileId(b, &second) && first == second;
}

}  // namespace platform
