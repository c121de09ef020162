#include "updater/engine/lists/update_groups.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/util/crc32.h"
#include "testhost/event_host.h"

namespace {

using upd::testhost::EventHost;

uint32_t CrcOf(const std::string& name) { return Crc32(name.data(), name.size(), 0); }

std::vector<unsigned int> Values(const CGroupList& groups) {
  return std::vector<unsigned int>(groups.begin(), groups.end());
}

TEST(UpdateGroups, ParseKeepsEachNameOnceByItsCrc) {
  CGroupList groups;
  ParseGroupList(groups, "engine,beta,,engine, beta,Engine,");
  EXPECT_EQ(Values(groups), (std::vector<unsigned int>{CrcOf("engine"), CrcOf("beta"),
                                                       CrcOf(" beta"), CrcOf("Engine")}));
  ParseGroupList(groups, "beta,gamma");
  EXPECT_EQ(groups.GetSize(), 5);
  EXPECT_EQ(groups[4], CrcOf("gamma"));
  ParseGroupList(groups, "");
  EXPECT_EQ(groups.GetSize(), 5);
}

// A name whose CRC is all ones is neither stored nor matched.
TEST(UpdateGroups, TheAllOnesCrcNamesNoGroup) {
  // Four bytes whose CRC-32 is 0xFFFFFFFF.
  const std::string all_ones(4, '\xFF');
  ASSERT_EQ(CrcOf(all_ones), 0xFFFFFFFFu);
  CGroupList groups;
  ParseGroupList(groups, all_ones + ",engine");
  EXPECT_EQ(Values(groups), (std::vector<unsigned int>{CrcOf("engine")}));
  EXPECT_FALSE(IsInGroupList(groups, all_ones));
}

TEST(UpdateGroups, AComponentIsInTheListWhenOneOfItsNamesIs) {
  CGroupList groups;
  ParseGroupList(groups, "engine,beta");
  const struct {
    const char* text;
    bool in;
  } cases[] = {
      {"engine", true},
      {"x,beta", true},
      {"alpha,,engine", true},
      {" engine", false},
      {"ENGINE", false},
      {"engine ", false},
      {"", false},
      {",", false},
      {"alpha", false},
      {"engine;beta", false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(IsInGroupList(groups, c.text), c.in) << '"' << c.text << '"';
  EXPECT_FALSE(IsInGroupList(CGroupList(), "engine"));
}

TEST(UpdateGroups, TheHostNamesItsGroupsThroughEvent19) {
  EventHost host;
  std::vector<uint8_t> seen;
  host.OnEvent(UPD_EVENT_UPDATE_GROUPS, [&](uint32_t, void* data) {
    seen.assign(static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + UPD_GROUP_LIST_SIZE);
    std::strcpy(static_cast<char*>(data), "engine,beta");
    return 0u;
  });
  CGroupList groups;
  QueryHostGroupList(groups, host.settings());
  ASSERT_EQ(host.events().size(), 1u);
  EXPECT_EQ(host.events()[0].user, host.settings()->userData);
  EXPECT_EQ(seen, std::vector<uint8_t>(UPD_GROUP_LIST_SIZE, 0));
  EXPECT_EQ(Values(groups), (std::vector<unsigned int>{CrcOf("engine"), CrcOf("beta")}));
}

// A host that fills the whole buffer without a NUL is read to its end only.
TEST(UpdateGroups, AHostTextWithoutEndIsReadWithinTheBuffer) {
  EventHost host;
  const std::string text = "g," + std::string(UPD_GROUP_LIST_SIZE - 2, 'x');
  host.OnEvent(UPD_EVENT_UPDATE_GROUPS, [&](uint32_t, void* data) {
    std::memcpy(data, text.data(), UPD_GROUP_LIST_SIZE);
    return 0u;
  });
  CGroupList groups;
  QueryHostGroupList(groups, host.settings());
  EXPECT_EQ(Values(groups), (std::vector<unsigned int>{CrcOf("g"), CrcOf(text.substr(2))}));
}

TEST(UpdateGroups, WithoutSettingsOrCallbackTheHostIsNotAsked) {
  EventHost host;
  CGroupList groups;
  QueryHostGroupList(groups, nullptr);
  host.settings()->eventCallback = nullptr;
  QueryHostGroupList(groups, host.settings());
  EXPECT_EQ(groups.GetSize(), 0);
  EXPECT_TRUE(host.events().empty());
}

}  // namespace
