#include "updater/engine/session/host_fetch_config.h"

#include <cstring>
#include <string>

#include "platform/util/host_bridge.h"
#include "platform/util/host_records.h"

namespace {

// A text field of the record: never read past the field, whether or not the
// host ended it with a NUL.
template <size_t N>
std::string Field(const char (&field)[N]) {
  return std::string(field, strnlen(field, N));
}

}  // namespace

void CHostFetchEvents::Status(uint32_t word, uint32_t kind, uint64_t value) const {
  NotifyHostStatus(word, &host_, kind, value);
}

void CHostFetchEvents::File(uint32_t word, uint32_t kind, uint64_t value, const char* name) const {
  NotifyHostFile(word, &host_, kind, value, name);
}

void CHostFetchEvents::AskUserAgent(HOST_STRING* agent) const {
  if (!HasHostCallback(&host_)) return;
  UPD_USER_AGENT_EVENT record{};
  const MIRROR_SETTINGS* mirror = host_.mirrorSettings;
  record.mirrorEnabled = mirror != nullptr && mirror->enabled != 0 ? 1 : 0;
  record.userAgent = agent;
  (void)host_.eventCallback(UPD_EVENT_USER_AGENT, &record, host_.userData);
  if (agent->length != 0) return;
  // The host wrote its text into the block instead.
  (void)HostStringAppend(agent, strnlen(record.text, sizeof record.text), record.text);
}

bool CHostFetchEvents::RefusesServer(UPD_SERVER_ADDRESS_EVENT* event) const {
  return HasHostCallback(&host_) &&
         host_.eventCallback(UPD_EVENT_SERVER_ALLOWED, event, host_.userData) == 1;
}

FetchConfig FetchConfigOf(const UPDATER_SETTINGS* host) {
  FetchConfig config;
  if (host == nullptr) return config;
  config.proxy.enabled = host->proxyEnabled != 0;
  config.proxy.host = Field(host->proxyHost);
  config.proxy.port = host->proxyPort;
  config.proxy.user = Field(host->proxyUserName);
  config.proxy.password = Field(host->proxyPassword);
  config.proxy.direct_retry = host->proxyDirectRetry != 0;
  config.server_user = Field(host->serverUserName);
  config.server_password = Field(host->serverPassword);
  config.spread_control = host->spreadControl != 0;
  if (HasHostCallback(host)) config.events = std::make_shared<const CHostFetchEvents>(*host);
  return config;
}
