// Every allocation of the decoder, the encoder and the text conversions fails
// in turn: each operation must report it by its result, leak nothing and
// leave no half-built value behind.
#define UPD_DEFINE_ALLOC_FAILURE
#include <gtest/gtest.h>

#include <string>

#include "support/alloc_failure.h"
#include "support/der_testing.h"
#include "support/temp_dir.h"
#include "verify/asn1/asn1.h"
#include "verify/asn1/oid.h"
#include "verify/asn1/oid_text.h"

namespace {

using upd::test::FailNthAllocation;

// Runs op with 0, 1, 2 ... allocations allowed until it no longer meets a
// failure; check(result) runs after every attempt. Returns the attempts.
template <class Op, class Check>
int64_t EveryFailurePoint(Op op, Check check) {
  for (int64_t allowed = 0;; ++allowed) {
    bool failed_somewhere = false;
    auto result = [&] {
      FailNthAllocation scope(allowed);
      auto r = op();
      failed_somewhere = scope.Seen() > allowed;
      return r;
    }();
    check(result, failed_somewhere);
    if (!failed_somewhere) return allowed + 1;
  }
}

TEST(Asn1AllocationFailureTest, ParseReportsEveryFailure) {
  const ByteArray input =
      upd::test::BytesOf(upd::test::ReadFile(upd::test::PkitsDir() + "/certs/GoodCACert.crt"));
  ASSERT_FALSE(input.IsEmpty());
  CountedPtr<ASN1> reference = ASN1::Parse(input, true);
  ASSERT_FALSE(reference.IsEmpty());
  const std::string expected = upd::test::DumpTree(*reference);
  for (const bool decode_all : {true, false}) {
    const int64_t attempts =
        EveryFailurePoint([&] { return ASN1::Parse(input, decode_all); },
                          [&](const CountedPtr<ASN1>& root, bool failed) {
                            if (failed) {
                              EXPECT_TRUE(root.IsEmpty());
                            } else {
                              ASSERT_FALSE(root.IsEmpty());
                              if (decode_all) {
                                EXPECT_EQ(upd::test::DumpTree(*root), expected);
                              }
                            }
                          });
    EXPECT_GT(attempts, 2);
  }
}

TEST(Asn1AllocationFailureTest, CopyEncodeAndTextReportEveryFailure) {
  CountedPtr<ASN1> root =
      ASN1::Parse(upd::test::Hex("30 0f 06 06 2a 86 48 86 f7 0d 30 80 02 01 05 00 00"), true);
  ASSERT_FALSE(root.IsEmpty());
  EveryFailurePoint(
      [&] {
        ASN1 copy;
        int ok = copy.CopyFrom(*root);
        if (ok) ok = copy.AddChild(ASN1(0x05));
        if (ok) ok = copy.GetEncoded().IsEmpty() ? 0 : 1;
        return ok;
      },
      [](int ok, bool failed) { EXPECT_EQ(ok, failed ? 0 : 1); });
  EveryFailurePoint(
      [&] {
        Oid oid;
        if (!OidToText(*root->GetChild(0), oid)) return std::string("<fail>");
        return std::string(oid.GetText());
      },
      [](const std::string& text, bool failed) {
        EXPECT_EQ(text, failed ? "<fail>" : "1.2.840.113549");
      });
  const ByteArray original = upd::test::Hex("aa");
  EveryFailurePoint(
      [&] {
        ByteArray out = original;  // shares: no allocation
        const int ok = TextToOid("1.2.840.113549", out);
        return ok ? upd::test::ToHex(out.AsSpan()) : "<fail>" + upd::test::ToHex(out.AsSpan());
      },
      [](const std::string& text, bool failed) {
        EXPECT_EQ(text, failed ? "<fail>aa" : "06062a864886f70d");
      });
}

TEST(Asn1AllocationFailureTest, ByteArrayKeepsItsViewWhenCopiesFail) {
  const ByteArray source = upd::test::Hex("00 11 22 33 44 55");
  EveryFailurePoint(
      [&] {
        ByteArray a = upd::test::Hex("aa bb");
        const int ok = a.AssignTail(source, 2) && a.Append(2, "\x01\x02");
        return ok ? upd::test::ToHex(a.AsSpan()) : "<fail>";
      },
      [](const std::string& text, bool failed) {
        EXPECT_EQ(text, failed ? "<fail>" : "223344550102");
      });
  ByteArray kept = upd::test::Hex("aa bb");
  {
    FailNthAllocation none(0);
    EXPECT_EQ(kept.AssignCopy(source), 0);
    EXPECT_EQ(kept.AssignTail(source, 1), 0);
    ByteArray fresh;
    EXPECT_EQ(fresh.Assign(2, "xy"), 0);
    EXPECT_EQ(fresh.GetArray(), nullptr);
  }
  EXPECT_EQ(upd::test::ToHex(kept.AsSpan()), "aabb");
}

}  // namespace
