#include "job/temporary_package.h"

#include "platform/process_end.h"

namespace job {
namespace {

platform::File package;

}  // namespace

platform::File* ReserveTempFile() {
  RemoveTempFile();
  return package.CreateScratch(kTempFilePrefix) ? &package : nullptr;
}

void RemoveTempFile() {
  if (package.IsOpen()) package.Close();
}

void RemoveTempFileAndEndAtOnce(int exitCode) {
  // Not closed here: the worker may be writing it on its own thread, and
  // a file with no name (or deleted when its handle goes) needs nothing.
  platform::EndProcessAtOnce(exitCode);
}

}  // namespace job
