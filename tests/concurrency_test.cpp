// The library's operations on two threads at once. Each call keeps its state
// in its own frame and the cipher library keeps one stream per thread, so two
// runs must neither disturb each other's output nor race; the ThreadSanitizer
// build (ctest --preset tsan) runs this file to show the latter.
#include <gtest/gtest.h>

#include <atomic>
#include <latch>
#include <thread>

#include "platform/files.h"
#include "res/string_table.h"
#include "securefile/securefile.h"
#include "tests/test_support.h"

namespace fs = std::filesystem;
using namespace test_support;

namespace {

// Progress reports of each thread, counted where they are made: a report
// reaching the wrong thread's counter would show up as a wrong total.
thread_local std::uint32_t reportsOnThisThread = 0;
void Count(std::uint32_t, std::uint32_t, const char16_t*) { ++reportsOnThisThread; }

struct Job {
  std::string password;
  int cipher = 0;
  fs::path plain;
  fs::path container;
  fs::path decrypted;
  std::int32_t result = 99;
  std::uint32_t reports = 0;
};

std::int32_t Encrypt(const Job& job) {
  return EncryptContainer(DevicePath(job.plain).c_str(), DevicePath(job.container).c_str(),
                          reinterpret_cast<const unsigned char*>(job.password.data()),
                          static_cast<std::int32_t>(job.password.size()), job.cipher, nullptr,
                          0, nullptr, res::ProgramInstance());
}

std::int32_t Decrypt(const Job& job) {
  return DecryptContainer(DevicePath(job.container).c_str(), DevicePath(job.decrypted).c_str(),
                          reinterpret_cast<const unsigned char*>(job.password.data()),
                          static_cast<std::int32_t>(job.password.size()), Count, 0,
                          res::ProgramInstance());
}

// Runs `work` for each job on a thread of its own, all released together.
template <typename Work>
void RunTogether(std::vector<Job>& jobs, Work work) {
  std::latch start(static_cast<std::ptrdiff_t>(jobs.size()));
  std::vector<std::thread> threads;
  for (Job& job : jobs) {
    threads.emplace_back([&start, &job, &work] {
      reportsOnThisThread = 0;
      start.arrive_and_wait();
      job.result = work(job);
      job.reports = reportsOnThisThread;
    });
  }
  for (std::thread& thread : threads) thread.join();
}

TEST(Concurrency, TwoContainersDecryptedAtOnce) {
  fs::path dir = ScratchDir();
  // Different passwords, ciphers and sizes, so that a key, a cipher context or
  // a chunk count shared by mistake gives wrong bytes on one side.
  std::vector<Job> jobs(2);
  jobs[0] = {"first password", 3, dir / "a.bin", dir / "a.kva", dir / "a.out"};
  jobs[1] = {"второй", 2, dir / "b.bin", dir / "b.kva", dir / "b.out"};
  WriteFile(jobs[0].plain, RandomBytes(768 * 1024 + 17, 1));
  WriteFile(jobs[1].plain, RandomBytes(200 * 1024 + 1000, 2));
  for (const Job& job : jobs) ASSERT_EQ(Encrypt(job), kResultOk);

  RunTogether(jobs, Decrypt);

  for (const Job& job : jobs) {
    SCOPED_TRACE(job.container.filename().string());
    EXPECT_EQ(job.result, kResultOk);
    EXPECT_EQ(ReadFile(job.decrypted), ReadFile(job.plain));
    // One report per full chunk and one at the end.
    EXPECT_EQ(job.reports, fs::file_size(job.plain) / 1024 + 1);
  }
}

TEST(Concurrency, TwoContainersEncryptedAtOnceMatchOneAtATime) {
  fs::path dir = ScratchDir();
  std::vector<Job> jobs(2);
  jobs[0] = {"one", 1, dir / "a.bin", dir / "a.kva", {}};
  jobs[1] = {"two", 3, dir / "b.bin", dir / "b.kva", {}};
  WriteFile(jobs[0].plain, RandomBytes(300 * 1024 + 5, 3));
  WriteFile(jobs[1].plain, RandomBytes(500 * 1024, 4));

  RunTogether(jobs, Encrypt);

  // Encryption is deterministic under one password: the same files made one
  // after the other are the reference.
  for (Job& job : jobs) {
    SCOPED_TRACE(job.container.filename().string());
    EXPECT_EQ(job.result, kResultOk);
    fs::path together = job.container;
    job.container += ".alone";
    ASSERT_EQ(Encrypt(job), kResultOk);
    EXPECT_EQ(ReadFile(together), ReadFile(job.container));
  }
}

TEST(Concurrency, AWrongPasswordOnOneThreadLeavesTheOtherAlone) {
  fs::path dir = ScratchDir();
  std::vector<Job> jobs(2);
  jobs[0] = {"right", 3, dir / "a.bin", dir / "a.kva", dir / "a.out"};
  jobs[1] = {"right", 3, dir / "b.bin", dir / "b.kva", dir / "b.out"};
  WriteFile(jobs[0].plain, RandomBytes(256 * 1024, 5));
  WriteFile(jobs[1].plain, RandomBytes(256 * 1024, 6));
  for (const Job& job : jobs) ASSERT_EQ(Encrypt(job), kResultOk);
  jobs[1].password = "wrong";

  RunTogether(jobs, Decrypt);

  EXPECT_EQ(jobs[0].result, kResultOk);
  EXPECT_EQ(ReadFile(jobs[0].decrypted), ReadFile(jobs[0].plain));
  EXPECT_EQ(jobs[1].result, kResultWrongPassword);
  EXPECT_EQ(fs::file_size(jobs[1].decrypted), 0u);
  EXPECT_EQ(jobs[1].reports, 0u);
}

// Two packages unpacked at once while a third thread runs an immediate
// ending's clean-up over and over: the three share the table of files in
// progress. A file the clean-up catches fails its unpacking; nothing ever
// stays under a hidden name, and an unpacking it did not catch is whole.
TEST(Concurrency, TwoPackagesUnpackedAtOnceWhileAnEndingCleansUp) {
  fs::path dir = ScratchDir();
  std::int32_t results[2] = {99, 99};
  for (int i = 0; i < 2; ++i) {
    for (int f = 0; f < 300; ++f) {
      WriteFile(dir / ("tree" + std::to_string(i)) / std::to_string(f / 30) / std::to_string(f),
                RandomBytes(1000 + f, static_cast<std::uint32_t>(f + 100 * i)));
    }
    std::string tree = "tree" + std::to_string(i);
    ASSERT_EQ(PackPackage(DevicePath(dir / tree).c_str(), DevicePath(dir / (tree + ".pkg")).c_str(),
                          0, 0, nullptr, nullptr, res::ProgramInstance(), nullptr),
              kResultOk);
  }
  std::latch start(3);
  std::atomic<int> running{2};
  std::vector<std::thread> threads;
  for (int i = 0; i < 2; ++i) {
    threads.emplace_back([&, i] {
      std::string name = std::to_string(i);
      start.arrive_and_wait();
      results[i] = UnpackPackage(DevicePath(dir / ("tree" + name + ".pkg")).c_str(),
                                 DevicePath(dir / ("out" + name)).c_str(), nullptr);
      --running;
    });
  }
  threads.emplace_back([&] {
    start.arrive_and_wait();
    while (running > 0) platform::RemoveStagingFilesNow();
  });
  for (std::thread& thread : threads) thread.join();

  for (int i = 0; i < 2; ++i) {
    std::string name = std::to_string(i);
    SCOPED_TRACE(name);
    for (const auto& entry : fs::recursive_directory_iterator(dir / ("out" + name))) {
      EXPECT_NE(entry.path().filename().string().rfind(".kva-", 0), 0u) << entry.path();
    }
    if (results[i] == kResultOk) {
      EXPECT_EQ(RunCommand("diff -r " + ShellQuote((dir / ("tree" + name)).string()) + " " +
                           ShellQuote((dir / ("out" + name) / ("tree" + name)).string())),
                0);
    } else {
      EXPECT_EQ(results[i], kResultFailed);
    }
  }
}

}  // namespace
