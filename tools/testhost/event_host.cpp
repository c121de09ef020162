#include "testhost/event_host.h"

#include <algorithm>

namespace upd::testhost {
namespace {

// Record sizes of the events the library raises.
const std::map<uint32_t, size_t>& KnownRecordSizes() {
  static const std::map<uint32_t, size_t> sizes = {
      {UPD_EVENT_STATUS, sizeof(UPD_STATUS_EVENT)},
      {UPD_EVENT_FILE, sizeof(UPD_FILE_EVENT)},
      {UPD_EVENT_PHASE, 4},
      {UPD_EVENT_INSTALL_RESULT, 4},
      {UPD_EVENT_USER_AGENT, 528},
      {UPD_EVENT_CONFIRM_DOWNLOAD, sizeof(UPD_CONFIRM_DOWNLOAD_EVENT)},
      {UPD_EVENT_SERVER_ALLOWED, 8 + UPD_PATH_SIZE},
      {UPD_EVENT_ENGINE_FOR_FOLDER, sizeof(UPD_ENGINE_FOLDER_EVENT)},
      {UPD_EVENT_ENGINE_FOR_FOLDER_END, sizeof(UPD_ENGINE_RELEASE_EVENT)},
      {UPD_EVENT_ENGINE, sizeof(UPD_ENGINE_REQUEST_EVENT)},
      {UPD_EVENT_ENGINE_END, sizeof(UPD_ENGINE_RELEASE_EVENT)},
      {UPD_EVENT_DEAL_ID, 128},
      {UPD_EVENT_OS_INFO, 208},
      {UPD_EVENT_PACKAGES_DOWNLOADED, 256},
      {UPD_EVENT_INSTALL_PACKAGE, sizeof(const char*)},
  };
  return sizes;
}

const std::map<uint32_t, size_t>& KnownMirrorRecordSizes() {
  static const std::map<uint32_t, size_t> sizes = {
      {MIRROR_EVENT_ERROR, 4},
      {MIRROR_EVENT_PCU_STAGED, 4228},
      {MIRROR_EVENT_GET_UPDATE_HASH, 20},
  };
  return sizes;
}

// UTF-16 units of the event 26 folder buffer.
constexpr size_t kFolderUnits = UPD_PATH_SIZE;

RecordedEvent Record(uint32_t event, void* data, void* user, size_t size) {
  RecordedEvent recorded;
  recorded.event = event;
  recorded.has_data = data != nullptr;
  recorded.user = user;
  if (data != nullptr && size > 0) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    recorded.record.assign(bytes, bytes + size);
  }
  return recorded;
}

}  // namespace

std::u16string RecordedEvent::Folder() const {
  const auto end = std::find(folder_buffer.begin(), folder_buffer.end(), u'\0');
  return std::u16string(folder_buffer.begin(), end);
}

EventHost::EventHost()
    : settings_(std::make_unique<UPDATER_SETTINGS>()),
      mirror_(std::make_unique<MIRROR_SETTINGS>()) {
  settings_->eventCallback = &EventHost::Callback;
  settings_->userData = this;
  settings_->mirrorSettings = mirror_.get();
  mirror_->callback = &EventHost::Mirror;
  mirror_->callbackContext = this;
}

EventHost::~EventHost() = default;

void EventHost::Answer(uint32_t event, uint32_t result) {
  handlers_[event] = [result](uint32_t, void*) { return result; };
}

void EventHost::OnEvent(uint32_t event, Handler handler) { handlers_[event] = std::move(handler); }

void EventHost::ProvideEngine(uint32_t event, ENGINE_DISPATCH dispatch) {
  handlers_[event] = [dispatch](uint32_t id, void* data) -> uint32_t {
    if (data == nullptr) return 0;
    ENGINE_DISPATCH* target = id == UPD_EVENT_ENGINE_FOR_FOLDER
                                  ? static_cast<UPD_ENGINE_FOLDER_EVENT*>(data)->dispatch
                                  : static_cast<UPD_ENGINE_REQUEST_EVENT*>(data)->dispatch;
    if (target != nullptr) *target = dispatch;
    return 0;
  };
}

void EventHost::AnswerMirror(uint32_t code, uint32_t result) { mirror_answers_[code] = result; }

void EventHost::SetRecordSize(uint32_t event, size_t size) { record_sizes_[event] = size; }

std::vector<RecordedEvent> EventHost::EventsOf(uint32_t event) const {
  std::vector<RecordedEvent> matching;
  for (const RecordedEvent& e : events_) {
    if (e.event == event) matching.push_back(e);
  }
  return matching;
}

void EventHost::Clear() {
  events_.clear();
  mirror_events_.clear();
}

uint32_t EventHost::Callback(uint32_t event, void* data, void* user) {
  return static_cast<EventHost*>(user)->Handle(event, data, user);
}

uint32_t EventHost::Mirror(uint32_t code, void* data, void* context) {
  return static_cast<EventHost*>(context)->HandleMirror(code, data, context);
}

uint32_t EventHost::Handle(uint32_t event, void* data, void* user) {
  size_t size = 0;
  if (const auto own = record_sizes_.find(event); own != record_sizes_.end()) {
    size = own->second;
  } else if (const auto known = KnownRecordSizes().find(event); known != KnownRecordSizes().end()) {
    size = known->second;
  }
  RecordedEvent recorded = Record(event, data, user, size);
  if (event == UPD_EVENT_ENGINE_FOR_FOLDER && data != nullptr) {
    const auto* folder = static_cast<const UPD_ENGINE_FOLDER_EVENT*>(data)->folder;
    if (folder != nullptr) recorded.folder_buffer.assign(folder, folder + kFolderUnits);
  }
  events_.push_back(std::move(recorded));
  const auto handler = handlers_.find(event);
  return handler == handlers_.end() ? 0 : handler->second(event, data);
}

uint32_t EventHost::HandleMirror(uint32_t code, void* data, void* context) {
  const auto known = KnownMirrorRecordSizes().find(code);
  const size_t size = known == KnownMirrorRecordSizes().end() ? 0 : known->second;
  mirror_events_.push_back(Record(code, data, context, size));
  const auto answer = mirror_answers_.find(code);
  return answer == mirror_answers_.end() ? 0 : answer->second;
}

}  // namespace upd::testhost
