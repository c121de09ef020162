#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "pgp_kit.h"

namespace upd::test {
namespace {

// A source that can only be read forward in small pieces and cannot seek or
// tell its position, as a pipe would: skips go through ReadDirect, and the
// window comes from the verifier's own count.
class ForwardOnlyStream final : public IInputStream {
 public:
  explicit ForwardOnlyStream(const std::vector<uint8_t>& bytes) {
    if (!bytes.empty()) (void)memory_.Open(bytes.data(), bytes.size());
  }
  uint32_t Close() override { return memory_.Close(); }
  uint32_t GetRemaining(uint64_t* remaining) override { return memory_.GetRemaining(remaining); }
  uint32_t Read(uint8_t* buffer, uint64_t n, uint64_t* got) override {
    return memory_.Read(buffer, n < kPiece ? n : kPiece, got);
  }
  uint32_t ReadDirect(ReadDirectCallback callback, void* context, uint64_t n,
                      uint64_t* got) override {
    return memory_.ReadDirect(callback, context, n < kPiece ? n : kPiece, got);
  }
  uint32_t Seek(int64_t, uint32_t) override { return kStreamNotSupported; }
  uint32_t GetPosition(uint64_t*) override { return kStreamNotSupported; }

 private:
  static constexpr uint64_t kPiece = 7;
  MemoryInputStream memory_;
};

class PgpStreamKindsTest : public KitTest {};

// Every kit file gives the same answer through a forward-only source as
// through a memory stream.
TEST_F(PgpStreamKindsTest, ForwardOnlySourceGivesTheSameResults) {
  const char* kFiles[] = {
      "update-sha256.signed",
      "dsa1024-sha256.signed",
      "repo-sha256.signed",
      "uncertified-sha256.signed",
      "tamper/keyblock-version-2.signed",
      "tamper/hide-in-block.signed",
      "tamper/oversize-onepass.signed",
      "tamper/replace-key-uncertified.signed",
      "tamper/foreign-signature.signed",
      "tamper/no-signature.signed",
      "tamper/compressed.signed",
      "tamper/reframe-new4.signed",
  };
  const PGP_USER_ID expected{sizeof(kUpdateUserId) - 1,
                             reinterpret_cast<const uint8_t*>(kUpdateUserId)};
  for (const char* name : kFiles) {
    SCOPED_TRACE(name);
    const std::vector<uint8_t> file = kit().File(name);
    const Outcome reference = Run(name);
    ForwardOnlyStream source(file);
    BinaryInputStream stream;
    ASSERT_EQ(stream.Attach(&source), 0u);
    uint64_t offset = 0;
    uint64_t length = 0;
    int64_t key_index = -100;
    uint64_t value = 0xBEEF;
    EXPECT_EQ(PgpVerifySignedStream(&stream, false, &certifying_, nullptr, nullptr, &expected,
                                    nullptr, &offset, &length, &key_index, &value),
              reference.result);
    EXPECT_EQ(offset, reference.offset);
    EXPECT_EQ(length, reference.length);
    EXPECT_EQ(key_index, reference.key_index);
    EXPECT_EQ(value, reference.value);
  }
}

}  // namespace
}  // namespace upd::test
