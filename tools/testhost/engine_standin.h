#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "testhost/engine_host.h"
#include "testhost/event_host.h"
#include "updater.h"

namespace upd::testhost {

// A stand-in for the host's scanning engine, serving ENGINE_DISPATCH over
// files of its own small formats. Each starts with one text line and LF:
//   module: "TESTMOD name=<name> type=<u32> platform=<u32> build=<u32>
//            version=<text to the end of the line>", any bytes after it;
//   patch:  "TESTPATCH from=<build>", then the complete new module file;
//   pico:   "PICO id=<u32> seq=<u32>".
// 3018 opens a module file, 3029 gives its type, platform and name, 3022 its
// version and build, 3020 closes it; 3011 applies a patch (the base module's
// build must equal "from"; "from=0" needs no base) and writes the new module
// to the output path; 3042 gives a pico file's id and sequence number.
// Anything it does not accept answers kEngineRefused.
//
// Test hook for killing a host at a known point: when the environment names
// a function in UPD_STANDIN_PAUSE_CALL (e.g. "3011") and a marker path in
// UPD_STANDIN_PAUSE_FILE, the first call of that function writes the marker
// (the process id and a newline) and waits while it exists, then is served
// as usual; a test removes the marker to let the call go on, or kills the
// process while it waits.

inline constexpr uint32_t kEngineRefused = 42;
inline constexpr char kPauseCallVariable[] = "UPD_STANDIN_PAUSE_CALL";
inline constexpr char kPauseFileVariable[] = "UPD_STANDIN_PAUSE_FILE";

struct ModuleFacts {
  std::string name;
  uint32_t type = 0;
  uint32_t platform = 0;
  uint32_t build = 0;
  std::string version;
};

// UTF-16 text (the engine's paths and names) as UTF-8; null gives "".
std::string Utf16ToUtf8(const char16_t* text);

std::string ModuleFileText(const ModuleFacts& facts, std::string_view payload = {});
std::string PatchFileText(uint32_t from_build, std::string_view new_module_file);
std::string PicoFileText(uint32_t id, uint32_t sequence);

// What the engine was asked for; a well-behaved library leaves every pair
// balanced: each open module closed, each engine it obtained released.
struct EngineCounts {
  size_t opens = 0;
  size_t closes = 0;
  size_t folder_requests = 0;  // event 26
  size_t folder_releases = 0;  // event 27
  size_t requests = 0;         // event 28
  size_t releases = 0;         // event 29

  bool Balanced() const {
    return opens == closes && folder_requests == folder_releases && requests == releases;
  }
};

class EngineStandIn {
 public:
  EngineStandIn();
  ~EngineStandIn();
  EngineStandIn(const EngineStandIn&) = delete;
  EngineStandIn& operator=(const EngineStandIn&) = delete;

  ENGINE_DISPATCH dispatch() const { return engine_.dispatch(); }

  // The next `count` calls of engine function `id` answer `result` without
  // doing anything.
  void Refuse(uint32_t id, uint32_t result, uint32_t count = 1);

  // Events 26 and 28 hand the engine out, 27 and 29 take it back; answers
  // true with the event's answer for those, false for any other event.
  bool HandleEvent(uint32_t event, void* data, uint32_t* answer);
  // The same through an event host's events 26 to 29.
  void ServeThrough(EventHost& host);

  const EngineCounts& counts() const { return counts_; }
  const std::vector<EngineCall>& calls() const { return engine_.calls(); }

 private:
  struct OpenModule;

  uint32_t Serve(const EngineCall& call);
  uint32_t Open(const EngineCall& call);
  uint32_t Close(const EngineCall& call);
  uint32_t Type(const EngineCall& call);
  uint32_t Version(const EngineCall& call);
  uint32_t ApplyPatch(const EngineCall& call);
  uint32_t Pico(const EngineCall& call);
  OpenModule* Find(uint64_t handle);
  void PauseIfAsked(uint32_t id);

  EngineHost engine_;
  // Function id -> {result, calls left}.
  std::map<uint32_t, std::pair<uint32_t, uint32_t>> refusals_;
  std::map<const void*, std::unique_ptr<OpenModule>> open_;
  EngineCounts counts_;
  // The pause hook: the function it stops at (0: none) and its marker.
  uint32_t pause_call_ = 0;
  std::string pause_file_;
};

}  // namespace upd::testhost
