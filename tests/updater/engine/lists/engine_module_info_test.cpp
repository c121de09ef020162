#include "updater/engine/lists/engine_module_info.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/util/strings.h"
#include "testhost/engine_host.h"

namespace {

using upd::testhost::EngineCall;
using upd::testhost::EngineHost;

void* const kHandle = reinterpret_cast<void*>(0x4D0D);

// What the engine answers for one module file.
struct Module {
  uint32_t open_result = 0;
  void* handle = kHandle;
  uint32_t type_result = 0;
  uint32_t type = 3;
  uint32_t platform = 1;
  const char16_t* name = u"em001";
  uint32_t version_result = 0;
  const char16_t* version = u"1.0.2";
  uint32_t build = 1234;
};

// An engine host that answers as module says and keeps the path it was
// asked to open.
class ModuleEngine {
 public:
  explicit ModuleEngine(const Module& module) : module_(module) {
    engine_.OnCall(ENGINE_FN_OPEN_MODULE, [this](const EngineCall& call) {
      opened_path_ = call.Pointer<const char16_t>(3);
      *call.Pointer<void*>(5) = module_.handle;
      return module_.open_result;
    });
    engine_.OnCall(ENGINE_FN_MODULE_TYPE, [this](const EngineCall& call) {
      *call.Pointer<uint32_t>(1) = module_.type;
      *call.Pointer<uint32_t>(2) = module_.platform;
      *call.Pointer<const char16_t*>(3) = module_.name;
      return module_.type_result;
    });
    engine_.OnCall(ENGINE_FN_MODULE_VERSION, [this](const EngineCall& call) {
      *call.Pointer<const char16_t*>(1) = module_.version;
      *call.Pointer<uint32_t>(3) = module_.build;
      return module_.version_result;
    });
  }

  const ENGINE_DISPATCH* dispatch() {
    dispatch_ = engine_.dispatch();
    return &dispatch_;
  }
  std::vector<uint32_t> CallIds() const {
    std::vector<uint32_t> ids;
    for (const EngineCall& call : engine_.calls()) ids.push_back(call.id);
    return ids;
  }
  const EngineHost& host() const { return engine_; }
  const std::u16string& opened_path() const { return opened_path_; }

 private:
  Module module_;
  EngineHost engine_;
  ENGINE_DISPATCH dispatch_{};
  std::u16string opened_path_;
};

_COMPONENT_INFO ModuleFile(const char* path) {
  _COMPONENT_INFO record;
  SafeStrCopy(record.name, sizeof record.name, "kept");
  record.localFile = path;
  record.flags = kComponentPresent;
  record.level = std::nullopt;
  record.listKind = kListContinuous;
  return record;
}

TEST(ReadModuleInfoFromEngine, AppendsTheModuleTheEngineDescribes) {
  const struct {
    const char16_t* name;
    uint32_t platform;
    const char* module;
  } cases[] = {
      {u"em001", 1, "em00164"}, {u"loader64", 1, "loader64"}, {u"em002", 0, "em002"},
      {u"em003", 3, "em00364"}, {u"em004", 2, "em004"},       {u"\u00e9m005", 1, "\xC3\xA9m00564"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.module);
    ModuleEngine engine({.platform = c.platform, .name = c.name});
    CListBase list;
    _COMPONENT_INFO record = ModuleFile("/opt/modules/\xC3\xA9m001.dat");
    ASSERT_TRUE(ReadModuleInfoFromEngine(list, engine.dispatch(), &record));
    EXPECT_EQ(engine.CallIds(), (std::vector<uint32_t>{3018, 3029, 3022, 3020}));
    EXPECT_EQ(engine.host().calls()[0].args[2], 0x900u);
    EXPECT_EQ(engine.opened_path(), u"/opt/modules/\u00e9m001.dat");
    EXPECT_EQ(engine.host().calls()[3].args[0], reinterpret_cast<uintptr_t>(kHandle));
    ASSERT_EQ(list.GetSize(), 1);
    const _COMPONENT_INFO& added = list[0];
    EXPECT_STREQ(added.module, c.module);
    EXPECT_STREQ(added.version, "1.0.2");
    EXPECT_EQ(added.build, 1234u);
    EXPECT_EQ(added.platform, c.platform);
    EXPECT_EQ(added.engineType, 3u);
    EXPECT_EQ(added.category, kCategoryEngine);
    EXPECT_EQ(added.level, 0);
    EXPECT_EQ(added.listKind, kListPlain);
    EXPECT_EQ(added.flags, kComponentPresent | kComponentModuleFile);
    EXPECT_STREQ(added.name, "kept");
    EXPECT_EQ(added.localFile, "/opt/modules/\xC3\xA9m001.dat");
    EXPECT_STREQ(record.module, c.module);
  }
}

// A module name of 63 characters has no room left for "64".
TEST(ReadModuleInfoFromEngine, ALongNameIsCutToTheField) {
  const std::u16string name(70, u'm');
  ModuleEngine engine({.name = name.c_str()});
  CListBase list;
  _COMPONENT_INFO record = ModuleFile("/m/em.dat");
  ASSERT_TRUE(ReadModuleInfoFromEngine(list, engine.dispatch(), &record));
  EXPECT_EQ(std::string(list[0].module), std::string(63, 'm'));
}

// The handle is closed on every way out once the engine gave one.
TEST(ReadModuleInfoFromEngine, FailuresAppendNothingAndCloseWhatWasOpened) {
  const struct {
    const char* what;
    Module module;
    std::vector<uint32_t> calls;
  } cases[] = {
      {"open fails", {.open_result = 7003, .handle = nullptr}, {3018}},
      {"open gives no handle", {.handle = nullptr}, {3018}},
      {"open fails but leaves a handle", {.open_result = 6002}, {3018, 3020}},
      {"type call fails", {.type_result = 6001}, {3018, 3029, 3020}},
      {"no name", {.name = nullptr}, {3018, 3029, 3020}},
      {"version call fails", {.version_result = 6001}, {3018, 3029, 3022, 3020}},
      {"no version", {.version = nullptr}, {3018, 3029, 3022, 3020}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ModuleEngine engine(c.module);
    CListBase list;
    _COMPONENT_INFO record = ModuleFile("/m/em001.dat");
    EXPECT_FALSE(ReadModuleInfoFromEngine(list, engine.dispatch(), &record));
    EXPECT_EQ(engine.CallIds(), c.calls);
    EXPECT_EQ(list.GetSize(), 0);
  }
}

TEST(ReadModuleInfoFromEngine, WithoutAnEngineNothingIsRead) {
  CListBase list;
  _COMPONENT_INFO record = ModuleFile("/m/em001.dat");
  EXPECT_FALSE(ReadModuleInfoFromEngine(list, nullptr, &record));
  const ENGINE_DISPATCH empty{};
  EXPECT_FALSE(ReadModuleInfoFromEngine(list, &empty, &record));
  EXPECT_EQ(list.GetSize(), 0);
}

}  // namespace
