#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "repository/appupdate/app_update_fixture.h"
#include "repository/client/repository_host_records.h"

namespace upd::test {
namespace {

constexpr UPD_ERROR kNothingToDo = 0x500C;

// One call of UpdCheckForAppUpdate; the result array is the host's.
class AppCheckCall {
 public:
  explicit AppCheckCall(const testhost::AllocatorHost& allocator) {
    params.cbSize = sizeof params;
    HostStringInit(&params.agreementProduct, &DefaultResultAllocator);
    HostStringInit(&params.agreementName, &DefaultResultAllocator);
    result.cbSize = sizeof result;
    result.updates.allocator = allocator.allocator();
  }
  ~AppCheckCall() {
    HostStringFree(&params.agreementProduct);
    HostStringFree(&params.agreementName);
    for (uint64_t i = 0; i < result.updates.count; ++i) {
      APP_UPDATE_INFO& info = Info(i);
      for (HOST_STRING* s : {&info.id, &info.version, &info.documentUrl, &info.agreementHash,
                             &info.documentHash, &info.changelogUrl, &info.agreementName,
                             &info.agreementVersion, &info.effectiveDate}) {
        HostStringFree(s);
      }
    }
    if (result.updates.elements != nullptr) result.updates.allocator->Free(result.updates.elements);
  }
  AppCheckCall(const AppCheckCall&) = delete;
  AppCheckCall& operator=(const AppCheckCall&) = delete;

  APP_UPDATE_INFO& Info(uint64_t i) { return static_cast<APP_UPDATE_INFO*>(result.updates.elements)[i]; }

  APP_UPDATE_CHECK_PARAMS params{};
  APP_UPDATE_CHECK_RESULT result{};
};


class AppUpdateCheckTest : public AppUpdateFixture {
 protected:
  UPD_ERROR Check(AppCheckCall& call) {
    call.params.context = context_;
    call.params.settings = host_.settings();
    return LIB(UpdCheckForAppUpdate)(&call.params, &call.result);
  }

  // The newest package (with its agreement and change log) and an older
  // one; a product "tools.a" with its own update.
  void PublishSuite() {
    Resource newest;
    newest.id = "suite.pkg";
    newest.versionId = kBase + 7;
    newest.version = "1.0.0.7";
    newest.path = "pkg/7.bin";
    newest.content = "seven";
    newest.extra = R"(, "eula": "terms", "changelog": "notes")";
    Resource older = newest;
    older.id = "suite.old";
    older.versionId = kBase + 3;
    older.version = "1.0.0.3";
    older.extra.clear();
    Publish(kProduct, {older, newest},
            R"(, "terms": {"collection": {"id": "terms", "path": "eula/2026", "format": 322,)"
            R"( "hash": "AGR-1", "version": "3.1.0", "tags": ["suite-terms"]}},)"
            R"( "notes": {"document": {"path": "notes/7.html"}})");
    web_.PutFile("repo/suite/pkg/eula/2026/manifest.erm",
                 R"([{"document": {"format": 136, "language": ["en_US"], "path": "en.html",)"
                 R"( "hash": "DOC-EN", "effective_date": "2026-03-01"}}])");
    Resource product;
    product.id = "tools.a";
    product.version = "2.0.0.1";
    product.versionId = (int64_t{2} << 48) + 1;
    product.path = "a.bin";
    product.content = "a";
    Publish("tools.a", {product});
  }
};

TEST_F(AppUpdateCheckTest, TheNewestUpdateAndTheProductsAreAppendedBehindTheHostsOwn) {
  PublishSuite();
  host_.settings()->repositoryFlags = 0x51;
  ProductList products;
  products.Add({"tools.a", "1.0.0.0"}).format = 8;
  products.Add({"tools.A", "1.0.0.0"}).format = 8;  // no such folder: the match is exact
  products.Add({"tools.b", "1.0.0.0"}).format = 8;
  const_cast<RepositoryProductRecord*>(
      HostArrayAt<RepositoryProductRecord>(products.Array(), 0))->productWord = 0x77;
  AppCheckCall call(allocator_);
  call.params.products = *products.Array();
  // The host's own element stays in front, untouched.
  APP_UPDATE_INFO own{};
  own.cbSize = 400;
  own.productWord = 0xABCD;
  HostStringInit(&own.id, &DefaultResultAllocator);
  for (HOST_STRING* s : {&own.version, &own.documentUrl, &own.agreementHash, &own.documentHash,
                         &own.changelogUrl, &own.agreementName, &own.agreementVersion,
                         &own.effectiveDate}) {
    HostStringInit(s, &DefaultResultAllocator);
  }
  ASSERT_TRUE(HostArrayPushBack(&call.result.updates, own));

  ASSERT_EQ(Check(call), kUpdOk);
  ASSERT_EQ(uint64_t{call.result.updates.count}, 3u);
  EXPECT_EQ(call.Info(0).productWord, 0xABCDu);
  EXPECT_EQ(Text(call.Info(0).id), "");

  const APP_UPDATE_INFO& update = call.Info(1);
  EXPECT_EQ(update.cbSize, 400u);
  EXPECT_EQ(update.productWord, 0x51u);
  EXPECT_EQ(Text(update.id), "suite.pkg");
  EXPECT_EQ(Text(update.version), "1.0.0.7");
  EXPECT_EQ(update.date, 1700000000);
  EXPECT_EQ(update.size, 5u);
  EXPECT_EQ(Text(update.changelogUrl), web_.Url("/repo/suite/home/notes/7.html"));
  EXPECT_EQ(Text(update.agreementName), "suite-terms");
  EXPECT_EQ(Text(update.agreementVersion), "3.1.0");
  EXPECT_EQ(Text(update.agreementHash), "AGR-1");
  EXPECT_EQ(Text(update.documentHash), "DOC-EN");
  EXPECT_EQ(Text(update.documentUrl), web_.Url("/repo/suite/pkg/eula/2026/en.html"));
  EXPECT_EQ(Text(update.effectiveDate), "2026-03-01");
  EXPECT_EQ(update.agreementLevel, 4u);

  const APP_UPDATE_INFO& product = call.Info(2);
  EXPECT_EQ(product.productWord, 0x77u);
  EXPECT_EQ(Text(product.id), "tools.a");
  EXPECT_EQ(Text(product.version), "2.0.0.1");
  EXPECT_EQ(Text(product.agreementName), "");
  EXPECT_EQ(product.agreementLevel, 0u);

  // One approval of the server for the whole check, the host's identity
  // once; no phase change.
  std::vector<uint32_t> events = EventNumbers();
  std::erase_if(events, [](uint32_t e) {
    return e == UPD_EVENT_STATUS || e == UPD_EVENT_FILE || e == UPD_EVENT_USER_AGENT;
  });
  EXPECT_EQ(events, (std::vector<uint32_t>{23, 30, 31}));
  EXPECT_EQ(EventNumbers().front(), 23u);
}

TEST_F(AppUpdateCheckTest, TheFullQueryReportsEveryUpdate) {
  PublishSuite();
  AppCheckCall call(allocator_);
  call.params.fullQuery = 1;
  ASSERT_EQ(Check(call), kUpdOk);
  std::vector<std::string> ids;
  for (uint64_t i = 0; i < call.result.updates.count; ++i) ids.push_back(Text(call.Info(i).id));
  EXPECT_EQ(ids, (std::vector<std::string>{"suite.old", "suite.pkg"}));
}

TEST_F(AppUpdateCheckTest, NothingOfferedLeavesTheArrayAsItWas) {
  Publish(kProduct, {});
  AppCheckCall call(allocator_);
  call.params.fullQuery = 1;
  EXPECT_EQ(Check(call), kNothingToDo);
  EXPECT_EQ(uint64_t{call.result.updates.count}, 0u);
  EXPECT_EQ(static_cast<void*>(call.result.updates.elements), nullptr);
}

TEST_F(AppUpdateCheckTest, AFailedAppendIsReportedAfterTheLaterRecordsWentIn) {
  PublishSuite();
  ProductList products;
  products.Add({"tools.a", "1.0.0.0"}).format = 8;
  AppCheckCall call(allocator_);
  call.params.products = *products.Array();
  allocator_.FailCall(1);
  EXPECT_EQ(Check(call), kUpdOutOfMemory);
  ASSERT_EQ(uint64_t{call.result.updates.count}, 1u);
  EXPECT_EQ(Text(call.Info(0).id), "tools.a");
}

// The entry hands the client a host that asks through the settings of the
// call: the host's deal chooses what the repository offers.
TEST_F(AppUpdateCheckTest, TheHostsDealReachesTheRepositoryThroughTheEntry) {
  PublishSigned("repo/suite/home/metadata3",
                R"({"root": {"decision_tree": {"switch": {"var": "deal_id", "cases": [)"
                R"({"eq": "D-42", "file": [{"reference": "deal.pkg"}]}]}}},)"
                R"( "deal.pkg": {"application": {"id": "deal.pkg", "format": 8, "version_id": )" +
                    std::to_string(kBase + 5) + R"(, "version": "1.0.0.5"}}})");
  for (const char* deal : {"D-42", "D-7"}) {
    SCOPED_TRACE(deal);
    host_.OnEvent(30, [deal](uint32_t, void* data) {
      std::strcpy(static_cast<RepositoryDealBlock*>(data)->dealId, deal);
      return 0u;
    });
    AppCheckCall call(allocator_);
    call.params.fullQuery = 1;
    const bool offered = std::string(deal) == "D-42";
    EXPECT_EQ(Check(call), offered ? kUpdOk : kNothingToDo);
    ASSERT_EQ(uint64_t{call.result.updates.count}, offered ? 1u : 0u);
    if (offered) {
      EXPECT_EQ(Text(call.Info(0).id), "deal.pkg");
    }
  }
  EXPECT_EQ(host_.EventsOf(30).size(), 2u);
  EXPECT_EQ(host_.EventsOf(31).size(), 2u);
}

TEST_F(AppUpdateCheckTest, EntryChecks) {
  AppCheckCall call(allocator_);
  EXPECT_EQ(LIB(UpdCheckForAppUpdate)(nullptr, &call.result), 0x3001u);
  call.params.context = context_;
  EXPECT_EQ(LIB(UpdCheckForAppUpdate)(&call.params, &call.result), 0x3304u);
  call.params.settings = host_.settings();
  EXPECT_EQ(LIB(UpdCheckForAppUpdate)(&call.params, nullptr), kUpdResultTooSmall);
  call.result.cbSize = 35;
  EXPECT_EQ(LIB(UpdCheckForAppUpdate)(&call.params, &call.result), kUpdResultTooSmall);
  call.result.cbSize = 36;
  LIB(UpdStopUpdates)(context_);
  EXPECT_EQ(LIB(UpdCheckForAppUpdate)(&call.params, &call.result), 0x2107u);
  LIB(UpdResetUpdate)(context_);
  EXPECT_TRUE(host_.events().empty());
}

}  // namespace
}  // namespace upd::test
