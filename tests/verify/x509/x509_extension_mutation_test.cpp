// Byte mutations inside the extensions of real certificates, read by every
// typed decoder: no fault, no leak (under the sanitizers), and the readers
// keep their documented results.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "support/der_testing.h"
#include "support/temp_dir.h"
#include "verify/asn1/asn1_tags.h"
#include "verify/x509/basic_constraints_extension.h"
#include "verify/x509/crl_distribution_points_extension.h"
#include "verify/x509/dns_pattern.h"
#include "verify/x509/general_name.h"
#include "verify/x509/key_identifier_extensions.h"
#include "verify/x509/key_usage_extension.h"
#include "verify/x509/x509_extension.h"

namespace {

// Split into shards that ctest runs in parallel under the sanitizers.
constexpr int kMutations = 48000;
constexpr int kShards = 4;
constexpr uint8_t kTagExtensions = Asn1ContextTag(3);

struct Range {
  size_t begin;
  size_t end;
};

struct Sample {
  std::string der;
  std::vector<Range> extensions;  // each Extension element within der
};

ASN1* FindExtensions(ASN1& certificate) {
  if (!certificate.HasChild(0)) return nullptr;
  ASN1& tbs = *certificate.GetChild(0);
  for (int64_t i = 0; i < tbs.GetChildCount(); ++i) {
    ASN1* tagged = tbs.GetChildIfTag(i, kTagExtensions);
    if (tagged != nullptr && tagged->HasChild(0)) return tagged->GetChild(0);
  }
  return nullptr;
}

std::vector<Sample> Samples() {
  std::vector<Sample> samples;
  for (const auto& f : upd::test::PkitsFiles("certs", ".crt")) {
    Sample s{upd::test::ReadFile(f), {}};
    CountedPtr<ASN1> root = ASN1::Parse(upd::test::BytesOf(s.der), true);
    if (root.IsEmpty()) continue;
    ASN1* extensions = FindExtensions(*root);
    if (extensions == nullptr || extensions->GetChildCount() == 0) continue;
    for (int64_t i = 0; i < extensions->GetChildCount(); ++i) {
      const ByteArray& element = extensions->GetChild(i)->Encoding();
      const size_t begin = static_cast<size_t>(element.GetData() - root->Encoding().GetData());
      s.extensions.push_back({begin, begin + static_cast<size_t>(element.GetLength())});
    }
    samples.push_back(std::move(s));
  }
  return samples;
}

// Runs every typed reader on the extension, whatever its OID.
void ReadAllWays(const X509Extension& extension) {
  SubjectKeyIdentifierExtension ski(extension);
  AuthorityKeyIdentifierExtension aki(extension);
  ByteArray key;
  if (ski.GetKeyIdentifier(key)) {
    EXPECT_EQ(ski.GetStatus() & kKeyIdentifierInvalid, 0u);
  }
  (void)aki.GetKeyIdentifier(key);
  BasicConstraintsExtension constraints(extension);
  if (constraints.Decode()) {
    EXPECT_GE(constraints.GetPathLenConstraint(), -1);
  }
  KeyUsageExtension usage(extension);
  if (usage.Decode()) {
    EXPECT_EQ(usage.GetBits() & 0x7F, 0);
  }
  CRLDistributionPointsExtension points(extension);
  for (int64_t i = 0; i < points.GetCount(); ++i) {
    const DistributionPoint* point = points.GetAt(i);
    if (point == nullptr) continue;
    for (int64_t j = 0; j < point->GetCount(); ++j) (void)point->GetAt(j)->Matches("a.example.org");
  }
  CountedPtr<ASN1> names = extension.ParseContent();
  DistributionPoint list;
  if (!names.IsEmpty() && list.AddNames(*names)) {
    for (int64_t j = 0; j < list.GetCount(); ++j) {
      const GeneralName& name = *list.GetAt(j);
      ASSERT_NE(name.GetText(), nullptr);
      if (name.GetType() == GeneralName::kDnsName) {
        (void)IsValidDnsPattern(name.GetText());
        (void)MatchDnsPattern("host.example.org", name.GetText());
      }
    }
  }
}

class X509ExtensionMutationTest : public testing::TestWithParam<int> {};

TEST_P(X509ExtensionMutationTest, MutatedExtensionsNeverFault) {
  const std::vector<Sample> samples = Samples();
  ASSERT_GT(samples.size(), 300u) << "python3-cryptography-vectors is missing";
  std::mt19937 rng(7 + GetParam());
  int collections = 0;
  for (int i = 0; i < kMutations / kShards; ++i) {
    const Sample& sample = samples[rng() % samples.size()];
    std::string der = sample.der;
    const size_t target = rng() % sample.extensions.size();
    const Range range = sample.extensions[target];
    const int flips = 1 + static_cast<int>(rng() % 3);
    for (int f = 0; f < flips; ++f) {
      const size_t at = range.begin + rng() % (range.end - range.begin);
      der[at] = static_cast<char>(rng() % 3 == 0 ? der[at] ^ (1 << (rng() % 8)) : rng());
    }
    CountedPtr<ASN1> root = ASN1::Parse(upd::test::BytesOf(der), true);
    if (root.IsEmpty()) continue;
    ASN1* extensions = FindExtensions(*root);
    if (extensions == nullptr) continue;
    CountedPtr<X509ExtensionCollection> collection = X509ExtensionCollection::Create(*extensions);
    if (collection.IsEmpty()) continue;
    ++collections;
    // Every reader on the mutated extension (when the list still holds it).
    if (collection->GetCount() <= static_cast<int64_t>(target)) continue;
    ReadAllWays(*collection->GetAt(static_cast<int64_t>(target)));
    if (HasFatalFailure()) return;
  }
  EXPECT_GT(collections, kMutations / kShards / 10);
}

INSTANTIATE_TEST_SUITE_P(Shards, X509ExtensionMutationTest, testing::Range(0, kShards));

}  // namespace
