#include "platform/util/channel_names.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

TEST(ChannelNames, DevelSwitchThenChannelWord) {
  const struct {
    uint32_t devel;
    uint32_t channel;
    const char* name;
    const char* short_name;
  } kCases[] = {
      {0, 0, "production", "production"},
      {0, 1, "pre-release", "pre-release"},
      {0, 2, "deferred", "production"},
      {0, 3, "production", "production"},
      {0, 0xFFFFFFFF, "production", "production"},
      {1, 1, "devel", "devel"},
      {7, 2, "devel", "devel"},
  };
  auto settings = std::make_unique<UPDATER_SETTINGS>();
  for (const auto& c : kCases) {
    settings->develChannel = c.devel;
    settings->releaseChannel = c.channel;
    EXPECT_STREQ(GetChannelName(settings.get()), c.name) << c.devel << "/" << c.channel;
    EXPECT_STREQ(GetChannelNameShort(settings.get()), c.short_name) << c.devel << "/" << c.channel;
  }
}

TEST(TestSourceFlags, KindTwoLooksOnlyAtFlagA) {
  const struct {
    uint32_t a;
    uint32_t b;
    uint32_t kind;
    bool result;
  } kCases[] = {
      {0, 0, 2, true},  {0, 0, 1, true},  {0, 0, 0, true},  {0, 5, 2, true},
      {0, 5, 1, false}, {0, 5, 3, false}, {1, 0, 2, false}, {1, 0, 1, false},
  };
  auto settings = std::make_unique<UPDATER_SETTINGS>();
  for (const auto& c : kCases) {
    settings->sourceFlagA = c.a;
    settings->sourceFlagB = c.b;
    EXPECT_EQ(TestSourceFlags(settings.get(), c.kind), c.result)
        << c.a << "/" << c.b << " kind " << c.kind;
  }
}

}  // namespace
