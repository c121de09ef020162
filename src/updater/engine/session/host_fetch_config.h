#pragma once

#include "net/http/fetch_config.h"
#include "updater.h"

// The host's events of a fetch, raised through the callback of its record
// (which must outlive the call it came with, as the record itself does).
class CHostFetchEvents final : public IFetchEvents {
 public:
  explicit CHostFetchEvents(const UPDATER_SETTINGS& host) : host_(host) {}

  void Status(uint32_t word, uint32_t kind, uint64_t value) const override;
  void File(uint32_t word, uint32_t kind, uint64_t value, const char* name) const override;
  void AskUserAgent(HOST_STRING* agent) const override;
  [[nodiscard]] bool RefusesServer(UPD_SERVER_ADDRESS_EVENT* event) const override;

  [[nodiscard]] const UPDATER_SETTINGS& host() const { return host_; }

 private:
  const UPDATER_SETTINGS& host_;
};

// The configuration of the fetches of one call, from the host's record
// (null: the default, direct and silent). Events only when the record has a
// callback.
[[nodiscard]] FetchConfig FetchConfigOf(const UPDATER_SETTINGS* host);
