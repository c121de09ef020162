#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <vector>

#include "updater.h"

namespace upd::testhost {

// One call of the engine entry: the function id and its arguments, each
// widened to 64 bits (32-bit arguments are read as 32 bits and zero-extended).
struct EngineCall {
  uint32_t id = 0;
  std::vector<uint64_t> args;

  template <typename T>
  T* Pointer(size_t index) const {
    return reinterpret_cast<T*>(static_cast<uintptr_t>(args.at(index)));
  }
};

// The host's scanning engine as the library sees it: an ENGINE_DISPATCH whose
// entry (Microsoft x64 convention) records each call and answers by script.
// The entry receives no pointer of its own, so it reaches the engine host
// that was created last on the calling thread.
class EngineHost {
 public:
  // Scripted answer; may write through the call's out pointers.
  using Handler = std::function<uint32_t(const EngineCall& call)>;

  explicit EngineHost(uint64_t host_word = 0x5EED);
  ~EngineHost();
  EngineHost(const EngineHost&) = delete;
  EngineHost& operator=(const EngineHost&) = delete;

  ENGINE_DISPATCH dispatch() const { return {host_word_, &EngineHost::Entry}; }

  void Answer(uint32_t id, uint32_t result);
  void OnCall(uint32_t id, Handler handler);

  const std::vector<EngineCall>& calls() const { return calls_; }
  void Clear() { calls_.clear(); }

  static uint32_t UPD_MSABI Entry(uint32_t id, ...);

 private:
  uint32_t Handle(const EngineCall& call);

  uint64_t host_word_;
  EngineHost* previous_;
  std::map<uint32_t, Handler> handlers_;
  std::vector<EngineCall> calls_;
};

}  // namespace upd::testhost
