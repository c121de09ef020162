#include "updater/engine/package/package_stream.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "platform/os/os_file.h"
#include "support/sign_kit.h"
#include "support/temp_dir.h"
#include "updater/engine/package/update_package.h"

namespace upd::test {
namespace {

std::string RandomBytes(size_t n, uint32_t seed) {
  std::mt19937 random(seed);
  std::string out(n, '\0');
  for (char& c : out) c = static_cast<char>(random());
  return out;
}

// Everything observed, checked to arrive in file order without gaps.
class Recorder final : public IPackageByteObserver {
 public:
  void Observe(uint64_t offset, std::span<const uint8_t> bytes) override {
    EXPECT_EQ(offset, seen.size());
    seen.append(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  }
  std::string seen;
};

uint32_t Collect(IInputStream*, void* context, const uint8_t* data, uint64_t, uint64_t n,
                 uint64_t* consumed) {
  auto* out = static_cast<std::string*>(context);
  out->append(reinterpret_cast<const char*>(data), n);
  *consumed = n;
  return kStreamOk;
}

// Takes half of the first chunk it is shown, which ends the read there.
uint32_t TakeHalf(IInputStream*, void* context, const uint8_t* data, uint64_t, uint64_t n,
                  uint64_t* consumed) {
  auto* out = static_cast<std::string*>(context);
  *consumed = n / 2;
  out->append(reinterpret_cast<const char*>(data), n / 2);
  return kStreamOk;
}

class PackageStreamTest : public ::testing::Test {
 protected:
  OS_FILE* Open(const std::string& name) {
    file_ = OsFileOpen(dir_.file(name).c_str(), nullptr, kOsAccessRead, kOsOpenExisting);
    return file_;
  }
  void TearDown() override { (void)OsFileClose(file_); }

  TempDir dir_;
  OS_FILE* file_ = nullptr;
};

// Reads of every shape, across window edges of every size, then a read-through:
// the consumer gets the file in order and the observer sees each byte once.
TEST_F(PackageStreamTest, ReadsAndObservesEveryByteOnce) {
  const std::string content = RandomBytes(10000, 3);
  WriteFile(dir_.file("data"), content);
  for (const uint64_t window : {uint64_t{1}, uint64_t{7}, uint64_t{4096}, uint64_t{1} << 20}) {
    SCOPED_TRACE(window);
    ASSERT_NE(Open("data"), nullptr);
    PackageFileStream stream(file_, content.size());
    ASSERT_TRUE(stream.Start(window));
    EXPECT_EQ(stream.Window().size(), std::min<uint64_t>(window, content.size()));
    Recorder recorder;
    stream.SetObserver(&recorder);
    std::string consumed(1000, '\0');
    uint64_t got = 0;
    ASSERT_EQ(stream.Read(reinterpret_cast<uint8_t*>(consumed.data()), 1000, &got), kStreamOk);
    EXPECT_EQ(got, 1000u);
    ASSERT_EQ(stream.ReadDirect(Collect, &consumed, 2345, &got), kStreamOk);
    EXPECT_EQ(got, 2345u);
    ASSERT_EQ(stream.ReadDirect(TakeHalf, &consumed, 100, &got), kStreamOk);
    EXPECT_LE(got, 50u);  // half of whatever the window still held
    EXPECT_EQ(consumed, content.substr(0, consumed.size()));
    uint64_t position = 0;
    uint64_t remaining = 0;
    ASSERT_EQ(stream.GetPosition(&position), kStreamOk);
    ASSERT_EQ(stream.GetRemaining(&remaining), kStreamOk);
    EXPECT_EQ(position, consumed.size());
    EXPECT_EQ(remaining, content.size() - consumed.size());
    // Skips cannot seek: they read through, and the observer sees the bytes.
    EXPECT_EQ(stream.Seek(10, kSeekCurrent), kStreamNotSupported);
    ASSERT_EQ(InputStreamSkip(&stream, 3000), kStreamOk);
    ASSERT_EQ(stream.GetPosition(&position), kStreamOk);
    EXPECT_EQ(position, consumed.size() + 3000);
    stream.ReadThrough(9000);
    EXPECT_GE(recorder.seen.size(), 9000u);
    stream.ReadThrough(content.size() + 5);
    EXPECT_EQ(recorder.seen, content);
    EXPECT_FALSE(stream.failed());
    EXPECT_FALSE(stream.short_file());
    (void)OsFileClose(file_);
    file_ = nullptr;
  }
}

// A file shorter than the size it was opened with ends the stream early and
// says so; an empty file of size 0 starts with an empty window.
TEST_F(PackageStreamTest, ShortAndEmptyFiles) {
  WriteFile(dir_.file("short"), "abcdef");
  ASSERT_NE(Open("short"), nullptr);
  PackageFileStream stream(file_, 10);
  ASSERT_TRUE(stream.Start(4));
  uint8_t buffer[10] = {};
  uint64_t got = 0;
  ASSERT_EQ(stream.Read(buffer, sizeof buffer, &got), kStreamOk);
  EXPECT_EQ(got, 6u);
  EXPECT_TRUE(stream.short_file());
  EXPECT_FALSE(stream.failed());
  (void)OsFileClose(file_);

  WriteFile(dir_.file("empty"), "");
  ASSERT_NE(Open("empty"), nullptr);
  PackageFileStream empty(file_, 0);
  ASSERT_TRUE(empty.Start(4));
  EXPECT_TRUE(empty.Window().empty());
  ASSERT_EQ(empty.Read(buffer, sizeof buffer, &got), kStreamOk);
  EXPECT_EQ(got, 0u);
  EXPECT_FALSE(empty.short_file());
}

// The verifier reads a signed package through windows of any size to the same
// verdict and content range as from memory.
TEST_F(PackageStreamTest, VerifierAgreesWithTheMemoryStream) {
  WriteFile(dir_.file("payload"), RandomBytes(50000, 5));
  ASSERT_TRUE(SignKit({"nup", dir_.file("good.nup"), dir_.file("payload"), "filename=a.dat"}));
  ASSERT_TRUE(SignKit({"tamper", "flip-signature", dir_.file("good.nup"), dir_.file("bad.nup")}));
  for (const char* name : {"good.nup", "bad.nup"}) {
    const std::string bytes = ReadFile(dir_.file(name));
    MemoryInputStream memory;
    ASSERT_EQ(memory.Open(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()), kStreamOk);
    uint64_t offset = 0;
    uint64_t length = 0;
    const uint32_t expected = VerifyUpdatePackageSignature(&memory, &offset, &length);
    EXPECT_EQ(expected == 0, std::string(name) == "good.nup");
    for (const uint64_t window : {uint64_t{1}, uint64_t{4099}, uint64_t{1} << 20}) {
      SCOPED_TRACE(std::string(name) + " through " + std::to_string(window));
      ASSERT_NE(Open(name), nullptr);
      PackageFileStream stream(file_, bytes.size());
      ASSERT_TRUE(stream.Start(window));
      uint64_t streamed_offset = 0;
      uint64_t streamed_length = 0;
      EXPECT_EQ(VerifyUpdatePackageSignature(&stream, &streamed_offset, &streamed_length),
                expected);
      EXPECT_EQ(streamed_offset, offset);
      EXPECT_EQ(streamed_length, length);
      (void)OsFileClose(file_);
      file_ = nullptr;
    }
  }
}

}  // namespace
}  // namespace upd::test
