#include "verify/openpgp/pgp_verify.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "pgp_kit.h"

namespace upd::test {
namespace {

class PgpGenuineTest : public KitTest {};

// Every digest gpg offers with RSA, and both DSA sizes (DSA-1024 has a 160-bit
// q under a SHA-256 digest, so only the digest's leftmost bits count).
TEST_F(PgpGenuineTest, CertifiedKeyBlockVerifiesAndFramesTheContent) {
  const struct {
    const char* file;
    const char* signer;
  } kCases[] = {
      {"update-sha1.signed", "update"},
      {"update-sha224.signed", "update"},
      {"update-sha256.signed", "update"},
      {"update-sha384.signed", "update"},
      {"update-sha512.signed", "update"},
      {"dsa-sha256.signed", "dsa"},
      {"dsa-sha512.signed", "dsa"},
      {"dsa1024-sha256.signed", "dsa1024"},
      {"tamper/reframe-new.signed", "update"},
      {"tamper/reframe-new4.signed", "update"},
      {"tamper/reframe-old2.signed", "update"},
      {"tamper/reframe-old4.signed", "update"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.file);
    const Outcome out = Run(c.file);
    EXPECT_EQ(out.result, kPgpOk);
    EXPECT_EQ(out.key_index, kPgpKeyBlockKeySelected);
    EXPECT_EQ(out.value, kit().signer(c.signer).created);
    EXPECT_EQ(out.window, kit().content());
  }
}

TEST_F(PgpGenuineTest, LocateOnlyFindsTheSameWindowWithoutChecking) {
  std::vector<uint8_t> flipped = kit().content();
  flipped[17] ^= 0x01;  // the byte pgp_tamper.py flip-content changes
  const struct {
    const char* file;
    const std::vector<uint8_t>& window;
  } kCases[] = {
      {"update-sha256.signed", kit().content()}, {"uncertified-sha256.signed", kit().content()},
      {"repo-sha256.signed", kit().content()},   {"tamper/flip-signature.signed", kit().content()},
      {"tamper/flip-content.signed", flipped},
  };
  call_.locate_only = true;
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.file);
    const Outcome out = Run(c.file);
    EXPECT_EQ(out.result, kPgpNotVerified);
    EXPECT_EQ(out.window, c.window);
  }
}

// The user ID, the blocked list and the minimum time decide over a key block
// whose certification is genuine.
TEST_F(PgpGenuineTest, KeyBlockRefusals) {
  const KitSigner& update = kit().signer("update");
  const std::vector<uint8_t> update_id = KeyIdBytes(update.key_id_hex);
  const std::vector<uint8_t> other_id = KeyIdBytes(kit().signer("repo").key_id_hex);
  const uint8_t* blocked_ids[] = {other_id.data(), update_id.data()};
  const PGP_KEY_ID_LIST blocked{2, blocked_ids};
  const PGP_KEY_ID_LIST others{1, blocked_ids};
  const int64_t later = static_cast<int64_t>(update.created) + 1;
  const int64_t same = static_cast<int64_t>(update.created);
  const int64_t none = 0;
  struct Case {
    const char* name;
    const char* file;
    std::string user_id;
    const PGP_KEY_ID_LIST* blocked;
    const int64_t* minimum_time;
    uint32_t result;
  };
  const Case kCases[] = {
      {"repository key for update", "repo-sha256.signed", kUpdateUserId, nullptr, nullptr,
       kPgpUserIdMismatch},
      {"update key for repository", "update-sha256.signed", kRepoUserId, nullptr, nullptr,
       kPgpUserIdMismatch},
      {"repository key for repository", "repo-sha512.signed", kRepoUserId, nullptr, nullptr,
       kPgpOk},
      {"user ID one byte short", "update-sha256.signed",
       std::string(kUpdateUserId).substr(0, sizeof(kUpdateUserId) - 2), nullptr, nullptr,
       kPgpUserIdMismatch},
      {"empty expected user ID", "update-sha256.signed", "", nullptr, nullptr, kPgpUserIdMismatch},
      {"blocked key", "update-sha256.signed", kUpdateUserId, &blocked, nullptr, kPgpKeyBlocked},
      {"other key blocked", "update-sha256.signed", kUpdateUserId, &others, nullptr, kPgpOk},
      {"created before the minimum", "update-sha256.signed", kUpdateUserId, nullptr, &later,
       kPgpKeyTooOld},
      {"created at the minimum", "update-sha256.signed", kUpdateUserId, nullptr, &same, kPgpOk},
      {"minimum time 0", "update-sha256.signed", kUpdateUserId, nullptr, &none, kPgpOk},
      {"no one-pass, other user ID", "tamper/no-onepass.signed", kRepoUserId, nullptr, nullptr,
       kPgpUserIdMismatch},
      {"blocked wins over age", "update-sha256.signed", kUpdateUserId, &blocked, &later,
       kPgpKeyBlocked},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    Call call = call_;
    call.user_id = c.user_id;
    call.blocked = c.blocked;
    call.minimum_time = c.minimum_time;
    const Outcome out = Verify(kit().File(c.file), call);
    EXPECT_EQ(out.result, c.result);
    if (c.result == kPgpOk) {
      EXPECT_EQ(out.window, kit().content());
      continue;
    }
    // A refusal is reported at the literal data with the refused key's time.
    EXPECT_EQ(out.key_index, kPgpKeyBlockKeySelected);
    EXPECT_EQ(out.value, kit().signer(c.file[0] == 'r' ? "repo" : "update").created);
    EXPECT_EQ(out.offset, 0u);
    EXPECT_EQ(out.length, 0u);
  }
}

TEST_F(PgpGenuineTest, WithoutExpectedUserIdAnyCertifiedKeyPasses) {
  call_.with_user_id = false;
  EXPECT_EQ(Run("repo-sha256.signed").result, kPgpOk);
  EXPECT_EQ(Run("uncertified-sha256.signed").result, kPgpNoKey);
}

// The attack files of the kit. Whatever else they give, none may give 0 with a
// window other than the genuine content.
TEST_F(PgpGenuineTest, TamperedAndSplicedFiles) {
  const struct {
    const char* file;
    uint32_t result;
  } kCases[] = {
      {"uncertified-sha256.signed", kPgpNoKey},
      {"uncertified-sha512.signed", kPgpNoKey},
      {"tamper/flip-content.signed", kPgpMismatch},
      {"tamper/flip-signature.signed", kPgpMismatch},
      {"tamper/flip-left16.signed", kPgpMismatch},
      {"tamper/piped.signed", kPgpMalformed},
      {"tamper/compressed.signed", kPgpMalformed},
      {"tamper/keyblock-after-onepass.signed", kPgpMalformed},
      {"tamper/no-onepass.signed", kPgpMalformed},
      {"tamper/no-keyblock.signed", kPgpNoKey},
      {"tamper/no-literal.signed", kPgpMalformed},
      {"tamper/no-signature.signed", kPgpNotVerified},
      {"tamper/keyblock-version-2.signed", kPgpNoKey},
      {"tamper/skipped-keyblock-last.signed", kPgpNoKey},
      {"tamper/oversize-onepass.signed", kPgpMalformed},
      {"tamper/hide-in-block.signed", kPgpMalformed},
      {"tamper/keyblock-second-key.signed", kPgpMalformed},
      {"tamper/keyblock-overrun.signed", kPgpMalformed},
      {"tamper/keyblock-other-tag.signed", kPgpOk},
      {"tamper/keyblock-v3-key-last.signed", kPgpNoKey},
      {"tamper/long-name.signed", kPgpUnreadable},
      {"tamper/overlong-literal.signed", kPgpMalformed},
      {"tamper/mpi-overrun.signed", kPgpMalformed},
      {"tamper/area-overrun.signed", kPgpMalformed},
      {"tamper/trailing-byte.signed", kPgpMalformed},
      {"tamper/replace-key-uncertified.signed", kPgpNotVerified},
      {"tamper/replace-key-repo.signed", kPgpNotVerified},
      {"tamper/replace-key-late.signed", kPgpNotVerified},
      {"tamper/foreign-literal.signed", kPgpNotVerified},
      {"tamper/self-signature.signed", kPgpMismatch},
      {"tamper/foreign-signature.signed", kPgpOk},
      {"tamper/two-literals.signed", kPgpOk},
      {"tamper/late-keyblock.signed", kPgpOk},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.file);
    const Outcome out = Run(c.file);
    EXPECT_EQ(out.result, c.result);
    if (out.result == kPgpOk) {
      EXPECT_EQ(out.window, kit().content());
    } else if (out.result != kPgpNotVerified) {
      EXPECT_EQ(out.offset, 0u);
      EXPECT_EQ(out.length, 0u);
    }
  }
}

// A key block after the one-pass packet: the later verdict is reported at the
// literal data as key -2 with the key's time, where nothing was hashed yet.
TEST_F(PgpGenuineTest, KeyBlockAfterOnePassReportsTheKeyBlockKey) {
  const Outcome out = Run("tamper/keyblock-after-onepass.signed");
  EXPECT_EQ(out.result, kPgpMalformed);
  EXPECT_EQ(out.key_index, kPgpKeyBlockKeySelected);
  EXPECT_EQ(out.value, kit().signer("update").created);
}

TEST_F(PgpGenuineTest, EveryProperPrefixFails) {
  for (const char* name : {"update-sha256.signed", "dsa1024-sha256.signed"}) {
    SCOPED_TRACE(name);
    const std::vector<uint8_t> file = kit().File(name);
    ASSERT_EQ(Verify(file, call_).result, kPgpOk);
    for (size_t n = 0; n < file.size(); ++n) {
      const Outcome out =
          Verify({file.begin(), file.begin() + static_cast<std::ptrdiff_t>(n)}, call_);
      ASSERT_NE(out.result, kPgpOk) << "prefix of " << n << " bytes";
      if (out.result == kPgpNotVerified) {
        ASSERT_EQ(out.window, kit().content());
      }
    }
  }
}

// Bytes after the checked signature are outside the window and do not count.
TEST_F(PgpGenuineTest, BytesAfterTheSignatureAreIgnored) {
  std::vector<uint8_t> file = kit().File("update-sha256.signed");
  file.push_back(0x00);
  const Outcome out = Verify(file, call_);
  EXPECT_EQ(out.result, kPgpOk);
  EXPECT_EQ(out.window, kit().content());
}

// Signing keys passed directly: the message needs no key block.
TEST_F(PgpGenuineTest, DirectSigningKeys) {
  KitKey update(kit().File("update.pgp"));
  KitKey repo(kit().File("repo.pgp"));
  ASSERT_TRUE(update.ok() && repo.ok());
  update.record()->value = 77;
  _PGP_PUBLIC_KEY* both[] = {repo.record(), update.record()};
  const PGP_KEY_LIST signing{2, both};
  Call call;
  call.signing = &signing;
  call.with_user_id = false;
  Outcome out = Verify(kit().File("update-sha256.gpg"), call);
  EXPECT_EQ(out.result, kPgpOk);
  EXPECT_EQ(out.key_index, 1);
  EXPECT_EQ(out.value, 77u);
  EXPECT_EQ(out.window, kit().content());

  // The repository key signed other content: its one-pass packet names the
  // first key, and the signature is checked against it.
  out = Verify(kit().File("repo-evil.gpg"), call);
  EXPECT_EQ(out.result, kPgpOk);
  EXPECT_EQ(out.key_index, 0);
  EXPECT_EQ(out.window, kit().File("evil.bin"));

  // A blocked ID keeps its one-pass packet from selecting the key.
  const std::vector<uint8_t> id = KeyIdBytes(kit().signer("update").key_id_hex);
  const uint8_t* ids[] = {id.data()};
  const PGP_KEY_ID_LIST blocked{1, ids};
  call.blocked = &blocked;
  EXPECT_EQ(Verify(kit().File("update-sha256.gpg"), call).result, kPgpNoKey);
}

TEST_F(PgpGenuineTest, ArgumentsAndKeyLists) {
  const std::vector<uint8_t> file = kit().File("update-sha256.signed");
  MemoryInputStream memory;
  BinaryInputStream stream;
  ASSERT_EQ(memory.Open(file.data(), file.size()), 0u);
  ASSERT_EQ(stream.Attach(&memory), 0u);
  uint64_t offset = 5;
  uint64_t length = 5;
  EXPECT_EQ(PgpVerifySignedStream(nullptr, false, &certifying_, nullptr, nullptr, nullptr, nullptr,
                                  &offset, &length, nullptr, nullptr),
            kPgpMissingArgument);
  EXPECT_EQ(offset, 0u);
  EXPECT_EQ(length, 0u);
  EXPECT_EQ(PgpVerifySignedStream(&stream, false, nullptr, nullptr, nullptr, nullptr, nullptr,
                                  &offset, &length, nullptr, nullptr),
            kPgpMissingArgument);
  EXPECT_EQ(PgpVerifySignedStream(&stream, false, &certifying_, nullptr, nullptr, nullptr, nullptr,
                                  nullptr, &length, nullptr, nullptr),
            kPgpMissingArgument);

  _PGP_PUBLIC_KEY incomplete = *keys_[0];
  incomplete.mpi[1].data = nullptr;
  _PGP_PUBLIC_KEY* bad[] = {keys_[0], &incomplete};
  _PGP_PUBLIC_KEY* missing[] = {nullptr};
  const PGP_KEY_LIST lists[] = {{0, keys_}, {2, bad}, {1, missing}};
  for (const PGP_KEY_LIST& list : lists) {
    EXPECT_EQ(PgpVerifySignedStream(&stream, false, &list, nullptr, nullptr, nullptr, nullptr,
                                    &offset, &length, nullptr, nullptr),
              kPgpBadKeyList);
    EXPECT_EQ(PgpVerifySignedStream(&stream, false, &certifying_, &list, nullptr, nullptr, nullptr,
                                    &offset, &length, nullptr, nullptr),
              kPgpBadKeyList);
  }
  // An empty stream has no bytes left at once.
  MemoryInputStream empty;
  BinaryInputStream over_empty;
  ASSERT_EQ(over_empty.Attach(&empty), 0u);
  EXPECT_EQ(PgpVerifySignedStream(&over_empty, false, &certifying_, nullptr, nullptr, nullptr,
                                  nullptr, &offset, &length, nullptr, nullptr),
            kPgpMalformed);
}

// Positions count from where the stream stood on entry.
TEST_F(PgpGenuineTest, OffsetCountsFromTheStreamsStart) {
  std::vector<uint8_t> file(100, 0xAB);
  const std::vector<uint8_t> message = kit().File("update-sha256.signed");
  file.insert(file.end(), message.begin(), message.end());
  MemoryInputStream memory;
  BinaryInputStream stream;
  ASSERT_EQ(memory.Open(file.data(), file.size()), 0u);
  ASSERT_EQ(stream.Attach(&memory), 0u);
  ASSERT_EQ(stream.Seek(100, kSeekBegin), 0u);
  const PGP_USER_ID expected{sizeof(kUpdateUserId) - 1,
                             reinterpret_cast<const uint8_t*>(kUpdateUserId)};
  uint64_t offset = 0;
  uint64_t length = 0;
  ASSERT_EQ(PgpVerifySignedStream(&stream, false, &certifying_, nullptr, nullptr, &expected,
                                  nullptr, &offset, &length, nullptr, nullptr),
            kPgpOk);
  EXPECT_EQ(std::vector<uint8_t>(message.begin() + static_cast<std::ptrdiff_t>(offset),
                                 message.begin() + static_cast<std::ptrdiff_t>(offset + length)),
            kit().content());
}

}  // namespace
}  // namespace upd::test
