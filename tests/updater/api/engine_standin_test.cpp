#include "testhost/engine_standin.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/util/engine_bridge.h"
#include "platform/util/host_bridge.h"
#include "support/temp_dir.h"

namespace upd::test {
namespace {

using testhost::EngineStandIn;
using testhost::EventHost;
using testhost::kEngineRefused;
using testhost::ModuleFacts;

std::u16string Utf16(const std::string& text) { return std::u16string(text.begin(), text.end()); }

// The stand-in driven through the same engine calls the library makes.
class EngineStandInTest : public ::testing::Test {
 protected:
  std::u16string File(const std::string& name, const std::string& content) {
    WriteFile(dir_.file(name), content);
    return Utf16(dir_.file(name));
  }

  TempDir dir_;
  EngineStandIn engine_;
  const ENGINE_DISPATCH dispatch_ = engine_.dispatch();
};

TEST_F(EngineStandInTest, ModuleFileGivesItsFactsUntilClosed) {
  const ModuleFacts facts{"loader64", 3, 1, 1234, "1.2.3 (beta)"};
  const auto path = File("em001.dat", testhost::ModuleFileText(facts, std::string("\0\1\2", 3)));
  EngineHandle handle = nullptr;
  ASSERT_EQ(EngineCall3018(&dispatch_, 0, 0, 0x900, path.c_str(), 0, &handle), 0u);
  uint32_t type = 0;
  uint32_t platform = 0;
  const char16_t* name = nullptr;
  ASSERT_EQ(EngineCall3029(&dispatch_, handle, &type, &platform, &name), 0u);
  EXPECT_EQ(type, 3u);
  EXPECT_EQ(platform, 1u);
  EXPECT_EQ(testhost::Utf16ToUtf8(name), "loader64");
  const char16_t* version = nullptr;
  uint32_t build = 0;
  ASSERT_EQ(EngineCall3022(&dispatch_, handle, &version, 0, &build, 0, 0, 0), 0u);
  EXPECT_EQ(testhost::Utf16ToUtf8(version), "1.2.3 (beta)");
  EXPECT_EQ(build, 1234u);
  EXPECT_EQ(EngineCall3020(&dispatch_, handle), 0u);
  EXPECT_EQ(EngineCall3029(&dispatch_, handle, &type, &platform, &name), kEngineRefused);
  EXPECT_EQ(engine_.counts().opens, 1u);
  EXPECT_TRUE(engine_.counts().Balanced());
}

TEST_F(EngineStandInTest, FilesOfAnotherFormatAreRefused) {
  const char* contents[] = {
      "",
      "TESTMOD name=a type=3 platform=1 build=5",  // no LF
      "TESTMOD name=a type=3 platform=1 version=1\n",
      "TESTMOD name=a type=x platform=1 build=5 version=1\n",
      "TESTMOD name= type=3 platform=1 build=5 version=1\n",
      "TESTMODX name=a type=3 platform=1 build=5 version=1\n",
      "PICO id=1 seq=2\n",
  };
  for (const char* content : contents) {
    SCOPED_TRACE(content);
    const auto path = File("bad.dat", content);
    EngineHandle handle = nullptr;
    EXPECT_EQ(EngineCall3018(&dispatch_, 0, 0, 0x900, path.c_str(), 0, &handle), kEngineRefused);
  }
  const std::u16string missing = Utf16(dir_.file("missing.dat"));
  EngineHandle handle = nullptr;
  EXPECT_EQ(EngineCall3018(&dispatch_, 0, 0, 0x900, missing.c_str(), 0, &handle), kEngineRefused);
  EXPECT_EQ(engine_.counts().opens, 0u);
}

TEST_F(EngineStandInTest, PatchAppliesOnlyToItsBaseBuild) {
  const std::string v2 = testhost::ModuleFileText({"em", 3, 1, 2, "2"}, "new payload");
  const auto base1 = File("base1.dat", testhost::ModuleFileText({"em", 3, 1, 1, "1"}));
  const auto base3 = File("base3.dat", testhost::ModuleFileText({"em", 3, 1, 3, "3"}));
  const auto patch = File("p.nup", testhost::PatchFileText(1, v2));
  const auto full = File("full.nup", testhost::PatchFileText(0, v2));
  const auto output = Utf16(dir_.file("out.dat"));

  EXPECT_EQ(EngineCall3011(&dispatch_, base3.c_str(), patch.c_str(), output.c_str(), 0),
            kEngineRefused);
  EXPECT_EQ(EngineCall3011(&dispatch_, nullptr, patch.c_str(), output.c_str(), 0x10),
            kEngineRefused);
  EXPECT_FALSE(std::filesystem::exists(dir_.file("out.dat")));
  EXPECT_EQ(EngineCall3011(&dispatch_, base1.c_str(), patch.c_str(), output.c_str(), 0x10), 0u);
  EXPECT_EQ(ReadFile(dir_.file("out.dat")), v2);
  std::filesystem::remove(dir_.file("out.dat"));
  EXPECT_EQ(EngineCall3011(&dispatch_, nullptr, full.c_str(), output.c_str(), 0), 0u);
  EXPECT_EQ(ReadFile(dir_.file("out.dat")), v2);

  const auto not_a_module = File("q.nup", testhost::PatchFileText(0, "payload only"));
  EXPECT_EQ(EngineCall3011(&dispatch_, nullptr, not_a_module.c_str(), output.c_str(), 0),
            kEngineRefused);
}

TEST_F(EngineStandInTest, PicoFileGivesItsIdAndSequence) {
  const auto pico = File("7.pic", testhost::PicoFileText(12, 7) + "data");
  uint32_t id = 0;
  uint32_t sequence = 0;
  EXPECT_EQ(EngineCall3042(&dispatch_, pico.c_str(), &id, &sequence), 0u);
  EXPECT_EQ(id, 12u);
  EXPECT_EQ(sequence, 7u);
  const auto bad = File("8.pic", "PICO id=12\n");
  EXPECT_EQ(EngineCall3042(&dispatch_, bad.c_str(), &id, &sequence), kEngineRefused);
}

TEST_F(EngineStandInTest, ScriptedRefusalsAnswerTheNextCallsOnly) {
  const auto path = File("em.dat", testhost::ModuleFileText({"em", 3, 1, 9, "9"}));
  engine_.Refuse(ENGINE_FN_OPEN_MODULE, 6002, 2);
  EngineHandle handle = nullptr;
  EXPECT_EQ(EngineCall3018(&dispatch_, 0, 0, 0x900, path.c_str(), 0, &handle), 6002u);
  EXPECT_EQ(EngineCall3018(&dispatch_, 0, 0, 0x900, path.c_str(), 0, &handle), 6002u);
  EXPECT_EQ(handle, nullptr);
  EXPECT_EQ(EngineCall3018(&dispatch_, 0, 0, 0x900, path.c_str(), 0, &handle), 0u);
  EXPECT_EQ(EngineCall3020(&dispatch_, handle), 0u);
  EXPECT_EQ(engine_.calls().size(), 4u);
}

TEST_F(EngineStandInTest, EngineEventsHandItOutAndCountThePairs) {
  EventHost host;
  engine_.ServeThrough(host);
  UPDATER_SETTINGS* settings = host.settings();
  ENGINE_DISPATCH pair = NotifyHostEngineForFolder(settings, "/opt/engine");
  EXPECT_EQ(pair.entry, dispatch_.entry);
  EXPECT_NE(pair.hostWord, 0u);
  EXPECT_EQ(host.events().back().Folder(), u"/opt/engine/");
  ENGINE_DISPATCH second = NotifyHostEngine(settings);
  EXPECT_EQ(second.entry, dispatch_.entry);
  EXPECT_FALSE(engine_.counts().Balanced());
  NotifyHostEngineForFolderEnd(settings, &pair);
  NotifyHostEngineEnd(settings, &second);
  EXPECT_TRUE(engine_.counts().Balanced());
  EXPECT_EQ(engine_.counts().folder_requests, 1u);
  EXPECT_EQ(engine_.counts().releases, 1u);
}

}  // namespace
}  // namespace upd::test
