#include <cstring>

#include "net/http/http_transport.h"
#include "platform/util/host_bridge.h"
#include "platform/util/host_records.h"

void CHttpTransport::EnsureUserAgent(const UPDATER_SETTINGS* settings) {
  if (user_agent_.length != 0 || !HasHostCallback(settings)) return;
  UPD_USER_AGENT_EVENT record{};
  const MIRROR_SETTINGS* mirror = settings->mirrorSettings;
  record.mirrorEnabled = mirror != nullptr && mirror->enabled != 0 ? 1 : 0;
  record.userAgent = &user_agent_;
  (void)settings->eventCallback(UPD_EVENT_USER_AGENT, &record, settings->userData);
  if (user_agent_.length != 0) return;
  // The host wrote its text into the block instead; an empty answer is
  // asked again with the next request.
  (void)HostStringAppend(&user_agent_, strnlen(record.text, sizeof record.text), record.text);
}
