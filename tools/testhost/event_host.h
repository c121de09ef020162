#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "updater.h"

namespace upd::testhost {

// One call of the event or mirror callback as the host saw it.
struct RecordedEvent {
  uint32_t event = 0;
  bool has_data = false;        // the data pointer was not null
  void* user = nullptr;         // third argument of the call
  std::vector<uint8_t> record;  // copy of the record, as long as the event's record size
  // Event 26: a copy of the whole UTF-16 folder buffer the record points at.
  std::vector<char16_t> folder_buffer;

  // The record read as T (zero-filled beyond the copied bytes).
  template <typename T>
  T As() const {
    T value{};
    std::memcpy(&value, record.data(), std::min(sizeof value, record.size()));
    return value;
  }
  // Event 26: the folder text up to its NUL.
  std::u16string Folder() const;
};

// The host side of the event callbacks: a System V callback that records
// every call with a copy of its record and answers by script. The host owns
// a zero-filled UPDATER_SETTINGS (and MIRROR_SETTINGS) wired to it.
class EventHost {
 public:
  // Scripted answer; may read and write the live record behind data.
  using Handler = std::function<uint32_t(uint32_t event, void* data)>;

  EventHost();
  ~EventHost();
  EventHost(const EventHost&) = delete;
  EventHost& operator=(const EventHost&) = delete;

  // Settings whose eventCallback and userData lead to this host.
  UPDATER_SETTINGS* settings() { return settings_.get(); }
  // Mirror settings whose callback and callbackContext lead to this host;
  // settings()->mirrorSettings points at them.
  MIRROR_SETTINGS* mirror_settings() { return mirror_.get(); }

  // Answers event with result (0 unless scripted).
  void Answer(uint32_t event, uint32_t result);
  // Answers event through handler.
  void OnEvent(uint32_t event, Handler handler);
  // Events 26 and 28: fills the record's engine pair with dispatch.
  void ProvideEngine(uint32_t event, ENGINE_DISPATCH dispatch);
  // Mirror codes are answered the same way.
  void AnswerMirror(uint32_t code, uint32_t result);
  // Bytes copied from the record of event (known events have their sizes).
  void SetRecordSize(uint32_t event, size_t size);

  const std::vector<RecordedEvent>& events() const { return events_; }
  const std::vector<RecordedEvent>& mirror_events() const { return mirror_events_; }
  std::vector<RecordedEvent> EventsOf(uint32_t event) const;
  void Clear();

  static uint32_t Callback(uint32_t event, void* data, void* user);
  static uint32_t Mirror(uint32_t code, void* data, void* context);

 private:
  uint32_t Handle(uint32_t event, void* data, void* user);
  uint32_t HandleMirror(uint32_t code, void* data, void* context);

  std::unique_ptr<UPDATER_SETTINGS> settings_;
  std::unique_ptr<MIRROR_SETTINGS> mirror_;
  std::map<uint32_t, Handler> handlers_;
  std::map<uint32_t, uint32_t> mirror_answers_;
  std::map<uint32_t, size_t> record_sizes_;
  std::vector<RecordedEvent> events_;
  std::vector<RecordedEvent> mirror_events_;
};

}  // namespace upd::testhost
