#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "support/der_testing.h"
#include "support/temp_dir.h"
#include "verify/asn1/asn1.h"
#include "verify/asn1/asn1_integer.h"
#include "verify/asn1/asn1_time.h"
#include "verify/asn1/oid.h"
#include "verify/asn1/oid_text.h"

namespace {

// Enough mutations to reach the length, depth and OID corners many times
// over, split into shards that ctest runs in parallel under the sanitizers.
constexpr int kMutations = 240000;
constexpr int kShards = 8;
constexpr int kPerShard = kMutations / kShards;

std::vector<std::string> Corpus() {
  std::vector<std::string> corpus;
  for (const auto& f : upd::test::PkitsFiles("certs", ".crt")) {
    corpus.push_back(upd::test::ReadFile(f));
  }
  // Indefinite forms, which no certificate carries.
  corpus.push_back(
      upd::test::Unhex("30 80 31 80 04 01 aa 00 00 30 03 02 01 01 a0 80 06 03 2a 86 48"
                       " 00 00 00 00"));
  return corpus;
}

std::string Mutate(const std::string& input, std::mt19937& rng) {
  static const uint8_t kInteresting[] = {0x00, 0x01, 0x7f, 0x80, 0x81, 0x82,
                                         0x83, 0x84, 0x85, 0xff, 0x30, 0x06};
  std::string out = input;
  const int steps = 1 + static_cast<int>(rng() % 4);
  for (int s = 0; s < steps && !out.empty(); ++s) {
    const size_t at = rng() % out.size();
    switch (rng() % 6) {
      case 0:
        out[at] = static_cast<char>(out[at] ^ (1 << (rng() % 8)));
        break;
      case 1:
        out[at] = static_cast<char>(kInteresting[rng() % sizeof kInteresting]);
        break;
      case 2:
        out[at] = static_cast<char>(rng());
        break;
      case 3:
        out.resize(at + 1);
        break;
      case 4:
        out.insert(at, 1 + rng() % 3, static_cast<char>(kInteresting[rng() % sizeof kInteresting]));
        break;
      default: {
        const size_t length = std::min<size_t>(out.size() - at, 1 + rng() % 64);
        out.insert(rng() % out.size(), out.substr(at, length));
        break;
      }
    }
  }
  return out;
}

void RunReaders(const ASN1& node) {
  Oid oid;
  std::unique_ptr<wchar_t[]> wide;
  int64_t time = 0;
  uint32_t number = 0;
  switch (node.GetTag()) {
    case 0x06:
      (void)OidToText(node, oid);
      (void)OidToWideText(node, wide);
      break;
    case 0x17:
    case 0x18:
      (void)ParseAsn1Time(node, time);
      break;
    case 0x02:
      (void)Asn1IntegerToUInt32(node, number);
      break;
    default:
      break;
  }
}

// Visits every decoded node (iteratively), runs the readers when asked and checks
// that each child lies inside its parent's value.
bool Exercise(ASN1& root, bool decode_lazily, bool run_readers) {
  std::vector<ASN1*> pending{&root};
  while (!pending.empty()) {
    ASN1* node = pending.back();
    pending.pop_back();
    if (decode_lazily && !node->EnsureDecoded(false)) continue;
    if (run_readers) RunReaders(*node);
    (void)node->GetEncodedLength(true);
    const uint8_t* value = node->Value().GetData();
    const int64_t value_length = node->GetValueLength();
    for (int64_t i = 0; i < node->GetChildCount(); ++i) {
      ASN1* child = node->GetChild(i);
      const uint8_t* begin = child->Encoding().GetData();
      const int64_t length = child->Encoding().GetLength();
      if (begin < value || begin + length > value + value_length) return false;
      pending.push_back(child);
    }
  }
  return true;
}

class Asn1MutationTest : public testing::TestWithParam<int> {};

TEST_P(Asn1MutationTest, MutatedCertificatesNeverFault) {
  const std::vector<std::string> corpus = Corpus();
  ASSERT_GT(corpus.size(), 400u) << "python3-cryptography-vectors is missing";
  std::mt19937 rng(20261209 + GetParam());
  int parsed = 0;
  int compared = 0;
  for (int i = 0; i < kPerShard; ++i) {
    const std::string input = Mutate(corpus[rng() % corpus.size()], rng);
    const ByteArray bytes = upd::test::BytesOf(input);
    CountedPtr<ASN1> eager = ASN1::Parse(bytes, true);
    CountedPtr<ASN1> lazy = ASN1::Parse(bytes, false);
    if (lazy.IsEmpty()) {
      ASSERT_TRUE(eager.IsEmpty()) << upd::test::ToHex(bytes.AsSpan());
      continue;
    }
    ASSERT_TRUE(Exercise(*lazy, true, true)) << upd::test::ToHex(bytes.AsSpan());
    if (eager.IsEmpty()) continue;
    ++parsed;
    ASSERT_TRUE(Exercise(*eager, false, false)) << upd::test::ToHex(bytes.AsSpan());
    // Decoding step by step must give the tree decoded at once.
    if (i % 16 == 0) {
      ASSERT_EQ(upd::test::DumpTree(*lazy), upd::test::DumpTree(*eager))
          << upd::test::ToHex(bytes.AsSpan());
      ++compared;
    }
    ASN1 copy;
    ASSERT_EQ(copy.CopyFrom(*eager), 1);
    ASSERT_EQ(copy.Equals(*eager), 1);
  }
  // The loop must have reached deep into real structures, not only refusals.
  EXPECT_GT(parsed, kPerShard / 10);
  EXPECT_GT(compared, 0);
}

INSTANTIATE_TEST_SUITE_P(Shards, Asn1MutationTest, testing::Range(0, kShards));

}  // namespace
