#include "host_events.h"

#include <arpa/inet.h>
#include <sys/socket.h>

#include <algorithm>
#include <cstring>
#include <sstream>

namespace updhost {
namespace {

// Width of the progress bar in characters.
constexpr int kBarWidth = 40;

// A NUL-terminated text inside a fixed buffer of the library's record.
std::string FixedText(const char* text, size_t size) {
  return std::string(text, strnlen(text, size));
}

std::string AddressText(const UPD_SERVER_ADDRESS& entry) {
  char text[INET6_ADDRSTRLEN] = {};
  if (entry.family == AF_INET && entry.length == 4) {
    inet_ntop(AF_INET, entry.address, text, sizeof text);
  } else if (entry.family == AF_INET6 && entry.length == 16) {
    inet_ntop(AF_INET6, entry.address, text, sizeof text);
  }
  return text;
}

}  // namespace

HostEvents::HostEvents(const HostOptions& options, FILE* out, bool progress_bar)
    : options_(options), out_(out), progress_bar_(progress_bar) {}

HostEvents::~HostEvents() { EndProgress(); }

uint32_t HostEvents::Callback(uint32_t event, void* data, void* user) {
  return static_cast<HostEvents*>(user)->Handle(event, data);
}

void HostEvents::EndProgress() {
  if (!bar_open_) return;
  std::fputc('\n', out_);
  std::fflush(out_);
  bar_open_ = false;
}

void HostEvents::Line(const std::string& text) {
  EndProgress();
  std::fprintf(out_, "%s\n", text.c_str());
  std::fflush(out_);
}

void HostEvents::Progress(uint32_t event, const void* data) {
  if (event == UPD_EVENT_STATUS) {
    bar_total_ = static_cast<const UPD_STATUS_EVENT*>(data)->value;
    bar_done_ = 0;
  } else {
    bar_done_ += static_cast<const UPD_FILE_EVENT*>(data)->value;
  }
  const uint64_t total = std::max<uint64_t>(bar_total_, 1);
  const uint64_t done = std::min(bar_done_, total);
  const int filled = static_cast<int>(done * kBarWidth / total);
  std::fprintf(out_, "\r[%.*s%*s] %3d%%", filled, "########################################",
               kBarWidth - filled, "", static_cast<int>(done * 100 / total));
  std::fflush(out_);
  bar_open_ = true;
}

uint32_t HostEvents::UserAgent(UPD_USER_AGENT_EVENT* record) {
  std::snprintf(record->text, sizeof record->text, "%s", options_.user_agent.c_str());
  Line("event 15 mirror " + std::to_string(record->mirrorEnabled));
  return 0;
}

uint32_t HostEvents::ServerAddress(const UPD_SERVER_ADDRESS_EVENT* record) {
  std::string addresses;
  bool refused = false;
  const UPD_SERVER_ADDRESS_LIST* list = record->addresses;
  const uint64_t count = list != nullptr ? list->count : 0;
  for (uint64_t i = 0; i < count; ++i) {
    const auto* entries = reinterpret_cast<const UPD_SERVER_ADDRESS*>(list + 1);
    const std::string text = AddressText(entries[i]);
    if (text.empty()) continue;
    addresses += (addresses.empty() ? "" : ",") + text;
    refused |= options_.refuse_address && text == *options_.refuse_address;
  }
  const uint32_t answer = refused ? 1 : 0;
  Line("event 23 url " + FixedText(record->url, sizeof record->url) + " addresses " +
       (addresses.empty() ? "-" : addresses) + " answer " + std::to_string(answer));
  return answer;
}

uint32_t HostEvents::ConfirmDownload(const UPD_CONFIRM_DOWNLOAD_EVENT* record) {
  const uint32_t answer = options_.refuse_large ? 0 : 1;
  Line("event 20 size " + std::to_string(record->size) + " word1 " +
       std::to_string(record->confirmWord1) + " word2 " + std::to_string(record->confirmWord2) +
       " answer " + std::to_string(answer));
  return answer;
}

uint32_t HostEvents::Handle(uint32_t event, void* data) {
  uint32_t answer = 0;
  if (engine_.HandleEvent(event, data, &answer)) {
    std::string line = "event " + std::to_string(event);
    if (event == UPD_EVENT_ENGINE_FOR_FOLDER && data != nullptr) {
      line += " folder " +
              upd::testhost::Utf16ToUtf8(static_cast<const UPD_ENGINE_FOLDER_EVENT*>(data)->folder);
    }
    Line(line);
    return answer;
  }
  if (data == nullptr) {
    Line("event " + std::to_string(event));
    return 0;
  }
  std::ostringstream line;
  line << "event " << event;
  switch (event) {
    case UPD_EVENT_STATUS:
    case UPD_EVENT_FILE:
      if (progress_bar_) {
        Progress(event, data);
        return 0;
      }
      if (event == UPD_EVENT_STATUS) {
        const auto* record = static_cast<const UPD_STATUS_EVENT*>(data);
        line << " kind " << record->kind << " value " << record->value << " word " << record->word;
      } else {
        const auto* record = static_cast<const UPD_FILE_EVENT*>(data);
        line << " kind " << record->kind << " value " << record->value << " word " << record->word
             << " name " << FixedText(record->name, sizeof record->name);
      }
      break;
    case UPD_EVENT_PHASE:
      line << " phase " << *static_cast<const uint32_t*>(data);
      break;
    case UPD_EVENT_INSTALL_RESULT:
      line << " value " << *static_cast<const uint32_t*>(data);
      break;
    case UPD_EVENT_USER_AGENT:
      return UserAgent(static_cast<UPD_USER_AGENT_EVENT*>(data));
    case UPD_EVENT_UPDATE_GROUPS:
      std::snprintf(static_cast<char*>(data), UPD_GROUP_LIST_SIZE, "%s", options_.groups.c_str());
      line << " groups " << options_.groups;
      break;
    case UPD_EVENT_CONFIRM_DOWNLOAD:
      return ConfirmDownload(static_cast<const UPD_CONFIRM_DOWNLOAD_EVENT*>(data));
    case UPD_EVENT_SERVER_ALLOWED:
      return ServerAddress(static_cast<const UPD_SERVER_ADDRESS_EVENT*>(data));
    case UPD_EVENT_PACKAGES_DOWNLOADED:
      line << " root " << FixedText(static_cast<const char*>(data), UPD_SERVER_ROOT_SIZE);
      break;
    case UPD_EVENT_INSTALL_PACKAGE:
      if (const char* path = static_cast<const UPD_INSTALL_PACKAGE_EVENT*>(data)->packagePath) {
        line << " package " << path;
      }
      answer = options_.install_answer;
      break;
    default:
      break;
  }
  Line(line.str());
  return answer;
}

}  // namespace updhost
