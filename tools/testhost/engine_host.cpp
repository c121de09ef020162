#include "testhost/engine_host.h"

#include <string>

namespace upd::testhost {
namespace {

thread_local EngineHost* t_current = nullptr;

// Argument widths after the id, in bytes, of each engine function.
const std::map<uint32_t, std::string>& ArgumentWidths() {
  // '4' a 32-bit word, '8' a 64-bit word or pointer.
  static const std::map<uint32_t, std::string> widths = {
      {ENGINE_FN_APPLY_PATCH, "8884"}, {ENGINE_FN_OPEN_MODULE, "444888"},
      {ENGINE_FN_CLOSE_MODULE, "8"},   {ENGINE_FN_MODULE_VERSION, "8888888"},
      {ENGINE_FN_MODULE_TYPE, "8888"}, {ENGINE_FN_PICO_ID, "888"},
  };
  return widths;
}

}  // namespace

EngineHost::EngineHost(uint64_t host_word) : host_word_(host_word), previous_(t_current) {
  t_current = this;
}

EngineHost::~EngineHost() { t_current = previous_; }

void EngineHost::Answer(uint32_t id, uint32_t result) {
  handlers_[id] = [result](const EngineCall&) { return result; };
}

void EngineHost::OnCall(uint32_t id, Handler handler) { handlers_[id] = std::move(handler); }

uint32_t EngineHost::Handle(const EngineCall& call) {
  calls_.push_back(call);
  const auto handler = handlers_.find(call.id);
  return handler == handlers_.end() ? 0 : handler->second(call);
}

uint32_t UPD_MSABI EngineHost::Entry(uint32_t id, ...) {
  EngineCall call;
  call.id = id;
  const auto widths = ArgumentWidths().find(id);
  __builtin_ms_va_list args;
  __builtin_ms_va_start(args, id);
  if (widths != ArgumentWidths().end()) {
    for (const char width : widths->second) {
      call.args.push_back(width == '4' ? __builtin_va_arg(args, uint32_t)
                                       : __builtin_va_arg(args, uint64_t));
    }
  }
  __builtin_ms_va_end(args);
  // Without an engine host on this thread the engine fails the call.
  if (t_current == nullptr) return 1;
  return t_current->Handle(call);
}

}  // namespace upd::testhost
