#pragma once

// The gpg-made signing kit, made once per test executable into a temporary
// folder, and small helpers to run the verifier over its files.

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "support/temp_dir.h"
#include "verify/common/input_stream.h"
#include "verify/openpgp/pgp_key.h"
#include "verify/openpgp/pgp_packet_reader.h"
#include "verify/openpgp/pgp_packet_tags.h"
#include "verify/openpgp/pgp_verify.h"

namespace upd::test {

inline constexpr char kUpdateUserId[] = "Wexa Update Signing Certificate";
inline constexpr char kRepoUserId[] = "Wexa Repository Signing Certificate";

inline std::vector<uint8_t> Bytes(const std::string& s) { return {s.begin(), s.end()}; }

// A key read from the first public-key packet of an exported key file, and
// the record the update engine would build for it.
class KitKey {
 public:
  explicit KitKey(const std::vector<uint8_t>& file) {
    MemoryInputStream memory;
    BinaryInputStream stream;
    if (file.empty() || memory.Open(file.data(), file.size()) != 0) return;
    (void)stream.Attach(&memory);
    uint64_t remaining = 0;
    while (stream.GetRemaining(&remaining) == 0 && remaining > 0) {
      PgpBodyReader enclosing(&stream, remaining);
      PgpPacketHeader header;
      if (PgpReadPacketHeader(&enclosing, &header) != kPgpOk) return;
      PgpBodyReader body(&stream, header.body_length);
      if (header.tag == kPgpTagPublicKey) {
        ok_ = PgpReadPublicKey(&body, header, &read_) == kPgpOk;
        break;
      }
      if (body.SkipRest() != kPgpOk) return;
    }
    const _PGP_MPI* m = read_.key.mpi;
    PgpSetPublicKey(&record_, read_.key.kind, read_.key.key_id, &read_.key.value, m[0].bits,
                    m[0].data, m[1].bits, m[1].data, m[2].bits, m[2].data, m[3].bits, m[3].data);
  }
  bool ok() const { return ok_; }
  _PGP_PUBLIC_KEY* record() { return &record_; }
  const PgpKeyBlockKey& read() const { return read_; }

 private:
  bool ok_ = false;
  PgpKeyBlockKey read_;
  _PGP_PUBLIC_KEY record_;
};

struct KitSigner {
  std::string key_id_hex;
  uint64_t created = 0;
};

class Kit {
 public:
  static Kit& Get() {
    static Kit kit;
    return kit;
  }
  bool ok() const { return ok_; }
  std::string Path(const std::string& name) const { return dir_ + "/" + name; }
  std::vector<uint8_t> File(const std::string& name) const { return Bytes(ReadFile(Path(name))); }
  const std::vector<uint8_t>& content() const { return content_; }
  const KitSigner& signer(const std::string& name) { return signers_[name]; }
  KitKey& certifier() { return *certifier_; }

 private:
  // Tests run in processes of their own; the script makes the kit once.
  Kit() {
    const std::string command = "bash '" + SourcePath("tools/testpki/pgp_kit_cached.sh") + "' '" +
                                BinaryPath("testpki") + "'";
    std::string out;
    ok_ = RunCommand(command, &out) == 0;
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
    dir_ = out;
    if (!ok_ || dir_.empty()) return;
    content_ = File("content.bin");
    std::istringstream info(ReadFile(Path("keyinfo.txt")));
    std::string name;
    KitSigner s;
    while (info >> name >> s.key_id_hex >> s.created) signers_[name] = s;
    certifier_ = std::make_unique<KitKey>(File("certifier.pgp"));
    ok_ = certifier_->ok() && content_.size() > 0;
  }

  std::string dir_;
  bool ok_ = false;
  std::vector<uint8_t> content_;
  std::map<std::string, KitSigner> signers_;
  std::unique_ptr<KitKey> certifier_;
};

// What one verification reported.
struct Outcome {
  uint32_t result = 0xFFFF;
  uint64_t offset = 0xDEAD;
  uint64_t length = 0xDEAD;
  int64_t key_index = -100;
  uint64_t value = 0xBEEF;
  std::vector<uint8_t> window;  // the bytes at offset..offset + length
};

// The inputs of a call as the update engine makes it, each one changeable.
struct Call {
  const PGP_KEY_LIST* certifying = nullptr;
  const PGP_KEY_LIST* signing = nullptr;
  const PGP_KEY_ID_LIST* blocked = nullptr;
  std::string user_id = kUpdateUserId;
  bool with_user_id = true;
  const int64_t* minimum_time = nullptr;
  bool locate_only = false;
};

inline Outcome Verify(const std::vector<uint8_t>& file, const Call& call) {
  MemoryInputStream memory;
  BinaryInputStream stream;
  (void)stream.Attach(&memory);
  if (!file.empty()) (void)memory.Open(file.data(), file.size());
  const PGP_USER_ID expected{static_cast<uint32_t>(call.user_id.size()),
                             reinterpret_cast<const uint8_t*>(call.user_id.data())};
  Outcome out;
  out.result =
      PgpVerifySignedStream(&stream, call.locate_only, call.certifying, call.signing, call.blocked,
                            call.with_user_id ? &expected : nullptr, call.minimum_time, &out.offset,
                            &out.length, &out.key_index, &out.value);
  if (out.offset <= file.size() && out.length <= file.size() - out.offset) {
    out.window.assign(file.begin() + static_cast<std::ptrdiff_t>(out.offset),
                      file.begin() + static_cast<std::ptrdiff_t>(out.offset + out.length));
  }
  return out;
}

// The kit's certifier as the only certifying key, as the update engine calls.
class KitTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(Kit::Get().ok()) << "the signing kit could not be made (gpg missing?)";
    keys_[0] = Kit::Get().certifier().record();
    certifying_ = {1, keys_};
    call_.certifying = &certifying_;
  }
  Kit& kit() { return Kit::Get(); }
  Outcome Run(const std::string& name) { return Verify(kit().File(name), call_); }

  _PGP_PUBLIC_KEY* keys_[1] = {};
  PGP_KEY_LIST certifying_;
  Call call_;
};

inline std::vector<uint8_t> KeyIdBytes(const std::string& hex) {
  std::vector<uint8_t> out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) {
    out.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  }
  return out;
}

}  // namespace upd::test
