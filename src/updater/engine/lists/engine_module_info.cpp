#include "updater/engine/lists/engine_module_info.h"

#include <string>

#include "platform/util/charset.h"
#include "platform/util/engine_bridge.h"
#include "platform/util/strings.h"
#include "platform/util/text_helpers.h"
#include "updater/engine/common/component_tables.h"

namespace {

// Flags of the engine's open call for reading a module's facts.
constexpr uint32_t kOpenModuleFlags = 0x900;

// Closes an open module handle on every way out.
class ModuleHandle {
 public:
  explicit ModuleHandle(const ENGINE_DISPATCH* engine) : engine_(engine) {}
  ~ModuleHandle() {
    if (handle_ != nullptr) static_cast<void>(EngineCall3020(engine_, handle_));
  }
  ModuleHandle(const ModuleHandle&) = delete;
  ModuleHandle& operator=(const ModuleHandle&) = delete;

  EngineHandle* Out() { return &handle_; }
  [[nodiscard]] EngineHandle Get() const { return handle_; }

 private:
  const ENGINE_DISPATCH* engine_;
  EngineHandle handle_ = nullptr;
};

}  // namespace

bool ReadModuleInfoFromEngine(CListBase& list, const ENGINE_DISPATCH* engine,
                              _COMPONENT_INFO* record) {
  if (record == nullptr) return false;
  const std::u16string path = NarrowToU16String(record->localFile.c_str(), kStrToNul);
  ModuleHandle module(engine);
  const uint32_t opened =
      EngineCall3018(engine, 0, 0, kOpenModuleFlags, path.c_str(), 0, module.Out());
  if (opened != 0 || module.Get() == nullptr) return false;

  uint32_t type = 0;
  uint32_t platform = 0;
  const char16_t* name = nullptr;
  if (EngineCall3029(engine, module.Get(), &type, &platform, &name) != 0 || name == nullptr) {
    return false;
  }
  const char16_t* version = nullptr;
  uint32_t build = 0;
  if (EngineCall3022(engine, module.Get(), &version, 0, &build, 0, 0, 0) != 0 ||
      version == nullptr) {
    return false;
  }

  static_cast<void>(Utf16ToLocal(name, record->module, sizeof record->module));
  if (Is64BitPlatform(platform) && !StrEndsWith(record->module, "64")) {
    SafeStrCat(record->module, sizeof record->module, "64");
  }
  static_cast<void>(Utf16ToLocal(version, record->version, sizeof record->version));
  record->build = build;
  record->platform = platform;
  record->engineType = type;
  record->category = kCategoryEngine;
  record->level = kLevelFull;
  record->listKind = kListPlain;
  record->flags |= kComponentModuleFile;
  list.Add(*record);
  return true;
}
