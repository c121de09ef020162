#include "verify/x509/crl_info.h"

#include <gtest/gtest.h>

#include <string>

namespace upd::test {
namespace {

const uint8_t kIssuerA[] = {0x30, 0x03, 0x31, 0x01, 0x41};
const uint8_t kIssuerB[] = {0x30, 0x03, 0x31, 0x01, 0x42};
const uint8_t kSerial1[] = {0x01};
const uint8_t kSerial2[] = {0x00, 0x82};
const uint8_t kSerial3[] = {0x03, 0x03};

ByteArray Bytes(const uint8_t* data, size_t n) {
  ByteArray out;
  EXPECT_TRUE(out.AssignBytes({data, n}));
  return out;
}

class CRLInfoListTest : public ::testing::Test {
 protected:
  ~CRLInfoListTest() override { FreeCRLInfoList(list_); }

  bool Find(const uint8_t* issuer, size_t issuer_length, const uint8_t* serial,
            size_t serial_length, int64_t* when = nullptr) {
    int64_t time = 0;
    const bool found =
        FindRevokedEntry(list_, Bytes(issuer, issuer_length), Bytes(serial, serial_length), &time);
    if (when != nullptr) *when = time;
    return found;
  }

  CRLInfoList list_;
};

TEST_F(CRLInfoListTest, EmptyListFindsNothing) {
  EXPECT_FALSE(Find(kIssuerA, sizeof kIssuerA, kSerial1, sizeof kSerial1));
}

TEST_F(CRLInfoListTest, RecordsWithoutIssuerAreRefused) {
  const CRLRecord no_issuer{0, kIssuerA, 0, nullptr};
  const CRLRecord null_issuer{5, nullptr, 0, nullptr};
  EXPECT_FALSE(AddCRLInfo(list_, &no_issuer));
  EXPECT_FALSE(AddCRLInfo(list_, &null_issuer));
  EXPECT_FALSE(AddCRLInfo(list_, nullptr));
  EXPECT_TRUE(list_.IsEmpty());
}

TEST_F(CRLInfoListTest, EntriesWithoutArrayGiveAnEmptyRecord) {
  const CRLRecord record{sizeof kIssuerA, kIssuerA, 3, nullptr};
  ASSERT_TRUE(AddCRLInfo(list_, &record));
  ASSERT_EQ(list_.GetSize(), 1);
  EXPECT_EQ(list_[0]->GetEntryCount(), 0);
}

TEST_F(CRLInfoListTest, LookupsMatchIssuerAndSerialExactly) {
  const CRLRecordEntry first_entries[] = {
      {sizeof kSerial1, kSerial1, 100},
      {0, kSerial3, 300},  // empty serial: skipped, the others stay
      {sizeof kSerial2, kSerial2, 200},
  };
  const CRLRecordEntry second_entries[] = {{sizeof kSerial3, kSerial3, 400}};
  const CRLRecord first{sizeof kIssuerA, kIssuerA, 3, first_entries};
  const CRLRecord second{sizeof kIssuerA, kIssuerA, 1, second_entries};
  ASSERT_TRUE(AddCRLInfo(list_, &first));
  ASSERT_TRUE(AddCRLInfo(list_, &second));
  EXPECT_EQ(list_[0]->GetEntryCount(), 2);

  int64_t when = 0;
  EXPECT_TRUE(Find(kIssuerA, sizeof kIssuerA, kSerial1, sizeof kSerial1, &when));
  EXPECT_EQ(when, 100);
  EXPECT_TRUE(Find(kIssuerA, sizeof kIssuerA, kSerial2, sizeof kSerial2, &when));
  EXPECT_EQ(when, 200);
  // Listed only in the issuer's second record.
  EXPECT_TRUE(Find(kIssuerA, sizeof kIssuerA, kSerial3, sizeof kSerial3, &when));
  EXPECT_EQ(when, 400);
  // The same serial under another issuer is not revoked.
  EXPECT_FALSE(Find(kIssuerB, sizeof kIssuerB, kSerial1, sizeof kSerial1));
  // Serials are compared as stored: 82 is not 00 82.
  EXPECT_FALSE(Find(kIssuerA, sizeof kIssuerA, kSerial2 + 1, 1));
}

TEST_F(CRLInfoListTest, RecordsAreCopies) {
  uint8_t issuer[sizeof kIssuerA];
  uint8_t serial[] = {0x07};
  std::copy(std::begin(kIssuerA), std::end(kIssuerA), issuer);
  const CRLRecordEntry entries[] = {{1, serial, 1}};
  const CRLRecord record{sizeof issuer, issuer, 1, entries};
  ASSERT_TRUE(AddCRLInfo(list_, &record));
  issuer[4] = 0x5A;
  serial[0] = 0x08;
  const uint8_t seven[] = {0x07};
  EXPECT_TRUE(Find(kIssuerA, sizeof kIssuerA, seven, 1));
}

}  // namespace
}  // namespace upd::test
