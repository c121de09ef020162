#include "platform/util/engine_bridge.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/os/os_error.h"
#include "platform/os/os_file.h"
#include "testhost/engine_host.h"

namespace {

using upd::testhost::EngineCall;
using upd::testhost::EngineHost;
using Args = std::vector<uint64_t>;

uint64_t Address(const void* pointer) { return reinterpret_cast<uintptr_t>(pointer); }

TEST(EngineBridge, EachWrapperPassesItsIdAndArgumentsInOrder) {
  EngineHost engine;
  const ENGINE_DISPATCH pair = engine.dispatch();
  const char16_t path[] = u"/m/em001.dat";
  const char16_t patch[] = u"/p";
  const char16_t output[] = u"/o";
  void* handle = nullptr;
  uint32_t type = 0;
  uint32_t platform = 0;
  uint32_t build = 0;
  uint32_t id = 0;
  uint32_t sequence = 0;
  const char16_t* name = nullptr;
  const char16_t* version = nullptr;
  void* const kHandle = reinterpret_cast<void*>(0x7000);

  EXPECT_EQ(EngineCall3018(&pair, 0, 0, 0x900, path, 0, &handle), 0u);
  EXPECT_EQ(EngineCall3029(&pair, kHandle, &type, &platform, &name), 0u);
  EXPECT_EQ(EngineCall3022(&pair, kHandle, &version, 0, &build, 0, 0, 0), 0u);
  EXPECT_EQ(EngineCall3020(&pair, kHandle), 0u);
  EXPECT_EQ(EngineCall3011(&pair, nullptr, patch, output, 16), 0u);
  EXPECT_EQ(EngineCall3042(&pair, path, &id, &sequence), 0u);
  // Distinct values in every slot show that nothing is shifted or dropped.
  EXPECT_EQ(EngineCall3018(&pair, 0xA1, 0xA2, 0xA3, path, 0xA5A5A5A5A5, &handle), 0u);
  EXPECT_EQ(EngineCall3022(&pair, kHandle, &version, 0xB3, &build, 0xB5, 0xB6, 0xB7), 0u);

  const struct {
    uint32_t id;
    Args args;
  } kExpected[] = {
      {3018, {0, 0, 0x900, Address(path), 0, Address(&handle)}},
      {3029, {0x7000, Address(&type), Address(&platform), Address(&name)}},
      {3022, {0x7000, Address(&version), 0, Address(&build), 0, 0, 0}},
      {3020, {0x7000}},
      {3011, {0, Address(patch), Address(output), 16}},
      {3042, {Address(path), Address(&id), Address(&sequence)}},
      {3018, {0xA1, 0xA2, 0xA3, Address(path), 0xA5A5A5A5A5, Address(&handle)}},
      {3022, {0x7000, Address(&version), 0xB3, Address(&build), 0xB5, 0xB6, 0xB7}},
  };
  ASSERT_EQ(engine.calls().size(), std::size(kExpected));
  for (size_t i = 0; i < std::size(kExpected); ++i) {
    EXPECT_EQ(engine.calls()[i].id, kExpected[i].id) << i;
    EXPECT_EQ(engine.calls()[i].args, kExpected[i].args) << i;
  }
}

TEST(EngineBridge, ResultsAndOutValuesComeBackFromTheEngine) {
  EngineHost engine;
  static const char16_t kName[] = u"em002";
  void* const kHandle = reinterpret_cast<void*>(0x4242);
  engine.OnCall(ENGINE_FN_OPEN_MODULE, [&](const EngineCall& call) -> uint32_t {
    *call.Pointer<void*>(5) = kHandle;
    return 0;
  });
  engine.OnCall(ENGINE_FN_MODULE_TYPE, [](const EngineCall& call) -> uint32_t {
    *call.Pointer<uint32_t>(1) = 3;
    *call.Pointer<uint32_t>(2) = 1;
    *call.Pointer<const char16_t*>(3) = kName;
    return 0;
  });
  engine.OnCall(ENGINE_FN_PICO_ID, [](const EngineCall& call) -> uint32_t {
    *call.Pointer<uint32_t>(1) = 77;
    *call.Pointer<uint32_t>(2) = 12;
    return 0;
  });
  engine.Answer(ENGINE_FN_APPLY_PATCH, 6911);
  const ENGINE_DISPATCH pair = engine.dispatch();

  void* handle = nullptr;
  EXPECT_EQ(EngineCall3018(&pair, 0, 0, 0x900, u"/m", 0, &handle), 0u);
  EXPECT_EQ(handle, kHandle);
  uint32_t type = 0;
  uint32_t platform = 0;
  const char16_t* name = nullptr;
  EXPECT_EQ(EngineCall3029(&pair, handle, &type, &platform, &name), 0u);
  EXPECT_EQ(type, 3u);
  EXPECT_EQ(platform, 1u);
  EXPECT_EQ(name, kName);
  uint32_t id = 0;
  uint32_t sequence = 0;
  EXPECT_EQ(EngineCall3042(&pair, u"/p/12.pic", &id, &sequence), 0u);
  EXPECT_EQ(id, 77u);
  EXPECT_EQ(sequence, 12u);
  EXPECT_EQ(EngineCall3011(&pair, u"/b", u"/p", u"/o", 0), 6911u);
}

TEST(EngineBridge, MissingEntryGives7015AndCallsNothing) {
  EngineHost engine;
  const ENGINE_DISPATCH no_entry{0x99, nullptr};
  void* handle = nullptr;
  uint32_t word = 0;
  const char16_t* text = nullptr;
  EXPECT_EQ(EngineCall3020(&no_entry, nullptr), kEngineNoEntry);
  EXPECT_EQ(EngineCall3018(&no_entry, 0, 0, 0x900, u"/m", 0, &handle), kEngineNoEntry);
  EXPECT_EQ(EngineCall3029(&no_entry, nullptr, &word, &word, &text), kEngineNoEntry);
  EXPECT_EQ(EngineCall3022(&no_entry, nullptr, &text, 0, &word, 0, 0, 0), kEngineNoEntry);
  EXPECT_EQ(EngineCall3011(&no_entry, nullptr, u"/p", u"/o", 0), kEngineNoEntry);
  EXPECT_EQ(EngineCall3042(&no_entry, u"/p", &word, &word), kEngineNoEntry);
  EXPECT_EQ(EngineCall3020(nullptr, nullptr), kEngineNoEntry);
  EXPECT_TRUE(engine.calls().empty());
  EXPECT_EQ(MapEngineError(kEngineNoEntry), 0x3001u);
}

TEST(MapEngineError, FullTable) {
  OsSetOwnError(kOsFailure);  // not disk full
  const struct {
    uint32_t result;
    UPD_ERROR error;
  } kCases[] = {
      {0, 0},           {1, 0x4001},          {5999, 0x4001}, {6000, 0x1012}, {6001, 0x1105},
      {6002, 0x1011},   {6003, 0x3101},       {6004, 0x4001}, {6903, 0x4001}, {6904, 0x101D},
      {6905, 0x4001},   {6907, 0x4001},       {6908, 0x1017}, {6909, 0x4001}, {6910, 0x1017},
      {6911, 0x1101},   {6912, 0x4001},       {7001, 0x4001}, {7002, 0x3101}, {7003, 0x1016},
      {7004, 0x1013},   {7005, 0x1017},       {7006, 0x4001}, {7008, 0x4001}, {7009, 2},
      {7010, 0x1301},   {7011, 0x4001},       {7013, 0x4001}, {7014, 0x1101}, {7015, 0x3001},
      {7016, 0x1011},   {7017, 0x4001},       {7019, 0x4001}, {7020, 0x1011}, {7021, 0x4001},
      {100000, 0x4001}, {0xFFFFFFFF, 0x4001},
  };
  for (const auto& c : kCases) EXPECT_EQ(MapEngineError(c.result), c.error) << c.result;
}

// The write failures read as a full disk right after a write that failed on
// a full device.
TEST(MapEngineError, WriteFailuresAfterAFullDevice) {
  OS_FILE* full = OsFileOpen("/dev/full", nullptr, kOsAccessWrite, kOsOpenExisting);
  ASSERT_NE(full, nullptr);
  const char data[8192] = {};
  const bool failed = OsFileWrite(full, data, sizeof data) < 0 || OsFileFlush(full) != 0;
  ASSERT_TRUE(failed);
  ASSERT_EQ(OsGetLastError(), kOsDiskFull);
  for (uint32_t result : {6908u, 6910u, 7005u}) EXPECT_EQ(MapEngineError(result), 0x1020u);
  EXPECT_EQ(MapEngineError(7004), 0x1013u);
  OsFileClose(full);
}

}  // namespace
