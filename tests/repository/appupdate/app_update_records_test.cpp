#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/util/host_records.h"
#include "platform/util/result_allocator.h"
#include "repository/appupdate/app_update_info.h"
#include "repository/appupdate/step_results.h"
#include "testhost/allocator_host.h"

namespace {

using upd::testhost::AllocatorHost;

// Host records are packed: their 8-byte fields are read as copies, never
// bound to references at a 4-byte boundary.
std::string Text(const HOST_STRING& string) { return std::string(HostStringView(&string)); }
const ApiAllocator* Allocator(const HOST_STRING& string) { return string.allocator; }

bool Append(HOST_STRING* string, const std::string& text) {
  return HostStringAppend(string, text.size(), text.data());
}

TEST(AppUpdateInfo, NewRecordIsEmptyWithTheLibrarysAllocator) {
  APP_UPDATE_INFO record;
  std::memset(&record, 0xCC, sizeof record);
  AppUpdateInfoInit(&record);
  EXPECT_EQ(record.cbSize, 400u);
  EXPECT_EQ(record.productWord, 0u);
  EXPECT_EQ(record.severity, 0);
  EXPECT_EQ(uint64_t{record.size}, 0u);
  EXPECT_EQ(record.reserved396, 0u);
  for (const HOST_STRING* string : {&record.id, &record.changelogUrl, &record.effectiveDate}) {
    EXPECT_EQ(uint64_t{string->length}, 0u);
    EXPECT_EQ(uint64_t{string->capacity}, 15u);
    EXPECT_EQ(Allocator(*string), &DefaultResultAllocator);
  }
}

TEST(AppUpdateInfo, PushBackMovesTheRecordWithItsStrings) {
  AllocatorHost host;
  HOST_ARRAY array{nullptr, 0, 0, host.allocator()};
  APP_UPDATE_INFO record;
  AppUpdateInfoInit(&record);
  const std::string url = "https://repository.example/changelog/product/12.0.1.html";
  ASSERT_TRUE(Append(&record.changelogUrl, url));
  ASSERT_TRUE(Append(&record.id, "product"));
  record.size = 1234;
  const char* block = record.changelogUrl.heapText;

  ASSERT_TRUE(AppUpdateInfoArrayPushBack(&array, &record));
  EXPECT_EQ(host.requests(), std::vector<uint64_t>{400});
  EXPECT_EQ(host.null_frees(), 1u) << "an array without a block gives back null";
  EXPECT_EQ(uint64_t{record.changelogUrl.capacity}, 15u) << "the record is new again";
  EXPECT_EQ(uint64_t{record.size}, 0u);

  APP_UPDATE_INFO second;
  AppUpdateInfoInit(&second);
  ASSERT_TRUE(Append(&second.id, "other"));
  ASSERT_TRUE(AppUpdateInfoArrayPushBack(&array, &second));
  EXPECT_EQ(host.requests(), (std::vector<uint64_t>{400, 800}));

  APP_UPDATE_INFO* first = HostArrayAt<APP_UPDATE_INFO>(&array, 0);
  EXPECT_EQ(Text(first->changelogUrl), url);
  EXPECT_EQ(HostStringText(&first->changelogUrl), block) << "the text moved, not copied";
  EXPECT_EQ(Text(first->id), "product");
  EXPECT_EQ(uint64_t{first->size}, 1234u);
  EXPECT_EQ(Text(HostArrayAt<APP_UPDATE_INFO>(&array, 1)->id), "other");
  for (uint64_t i = 0; i < array.count; ++i) {
    AppUpdateInfoDestroy(HostArrayAt<APP_UPDATE_INFO>(&array, i));
  }
}

TEST(AppUpdateInfo, FailedPushBackLeavesRecordAndArray) {
  AllocatorHost host;
  HOST_ARRAY array{nullptr, 0, 0, host.allocator()};
  APP_UPDATE_INFO record;
  AppUpdateInfoInit(&record);
  ASSERT_TRUE(Append(&record.version, "12.0.1234.5678 with a long suffix"));
  const APP_UPDATE_INFO before = record;
  host.FailAfter(0);
  EXPECT_FALSE(AppUpdateInfoArrayPushBack(&array, &record));
  EXPECT_EQ(std::memcmp(&before, &record, sizeof record), 0);
  EXPECT_EQ(uint64_t{array.count}, 0u);
  EXPECT_EQ(static_cast<void*>(array.elements), nullptr);
  AppUpdateInfoDestroy(&record);
}

TEST(AppUpdateInfo, DocumentFieldsAreAllTriedInTheirOrder) {
  AllocatorHost host;
  APP_UPDATE_INFO record;
  AppUpdateInfoInit(&record);
  HOST_STRING* fields[] = {&record.agreementName, &record.agreementVersion, &record.documentUrl,
                           &record.agreementHash, &record.documentHash,     &record.effectiveDate};
  for (HOST_STRING* field : fields) field->allocator = host.allocator();
  const std::string texts[] = {"End-user licence agreement",
                               "version 3.0.0.0 of the text",
                               "https://repository.example/eula/3.html",
                               "0123456789abcdef0123456789abcdef01234567",
                               "fedcba9876543210fedcba9876543210fedcba98",
                               "2024-01-01T00:00:00Z"};
  host.FailCall(3);
  EXPECT_FALSE(FillAppUpdateDocumentFields(texts[0], texts[1], texts[2], texts[3], texts[4],
                                           texts[5], 4, &record));
  for (size_t i = 0; i < std::size(fields); ++i) {
    EXPECT_EQ(Text(*fields[i]), i == 2 ? "" : texts[i]) << "field " << i;
  }
  EXPECT_EQ(record.agreementLevel, 4u);

  AppUpdateInfoDestroy(&record);
  EXPECT_EQ(host.live(), 0u);
  AppUpdateInfoInit(&record);
  EXPECT_TRUE(FillAppUpdateDocumentFields("n", "v", "u", "h", "d", "e", 1, &record));
  EXPECT_EQ(Text(record.documentUrl), "u");
}

struct StepCase {
  const char* name;
  uint8_t skip;
  uint8_t skip2;
  uint64_t products;
  const char* agreement_product;
  std::vector<uint32_t> steps;
};

TEST(StepResults, EntriesFollowWhatTheRunWasAskedFor) {
  const StepCase cases[] = {
      {"everything", 0, 0, 2, "Product", {1, 2, 4, 8}},
      {"application skipped", 1, 0, 2, "Product", {4, 8}},
      {"application skipped the other way", 0, 1, 0, "Product", {8}},
      {"application only", 0, 0, 0, "", {1, 2}},
      {"nothing asked", 1, 1, 0, "", {}},
  };
  for (const StepCase& c : cases) {
    SCOPED_TRACE(c.name);
    AllocatorHost host;
    APP_UPDATE_PARAMS params{};
    params.skipApplication = c.skip;
    params.skipApplication2 = c.skip2;
    params.products.count = c.products;
    HostStringInit(&params.agreementProduct, host.allocator());
    ASSERT_TRUE(Append(&params.agreementProduct, c.agreement_product));
    HOST_ARRAY steps{nullptr, 0, 0, host.allocator()};
    StepResultList list(params, &steps);
    list.AppendStepResult(kUpdNothingToDo);
    ASSERT_EQ(uint64_t{steps.count}, c.steps.size());
    for (size_t i = 0; i < c.steps.size(); ++i) {
      const StepResult* entry = HostArrayAt<StepResult>(&steps, i);
      EXPECT_EQ(entry->cbSize, 12u);
      EXPECT_EQ(entry->code, 0x500Cu);
      EXPECT_EQ(entry->step, c.steps[i]);
    }
  }
}

TEST(StepResults, EntryThatCannotGrowTheListIsDroppedAndTheNextTried) {
  AllocatorHost host;
  APP_UPDATE_PARAMS params{};
  params.products.count = 1;
  HostStringInit(&params.agreementProduct, host.allocator());
  ASSERT_TRUE(Append(&params.agreementProduct, "Product"));
  // Appended after what the host already had there.
  HOST_ARRAY steps{nullptr, 0, 0, host.allocator()};
  StepResultList list(params, &steps);
  list.Append(kUpdOutOfMemory, UPD_STEP_APPLICATION);
  host.FailCall(2);
  list.AppendStepResult(kUpdNotSupported);
  ASSERT_EQ(uint64_t{steps.count}, 4u);
  const uint32_t expected[][2] = {
      {kUpdOutOfMemory, 1}, {kUpdNotSupported, 2}, {kUpdNotSupported, 4}, {kUpdNotSupported, 8}};
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(HostArrayAt<StepResult>(&steps, i)->code, expected[i][0]);
    EXPECT_EQ(HostArrayAt<StepResult>(&steps, i)->step, expected[i][1]);
  }
}

}  // namespace
