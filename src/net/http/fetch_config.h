#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "net/tls/transfer_pace.h"
#include "updater.h"

// The host events a fetch raises, in the shape the host sees them. The
// engine implements it over the host's callback; a test may record them.
class IFetchEvents {
 public:
  virtual ~IFetchEvents() = default;
  IFetchEvents(const IFetchEvents&) = delete;
  IFetchEvents& operator=(const IFetchEvents&) = delete;

  // Event 2 {kind, value, word}: a transfer starts.
  virtual void Status(uint32_t word, uint32_t kind, uint64_t value) const = 0;
  // Event 3 {kind, value, name, word}: value more bytes of name arrived.
  virtual void File(uint32_t word, uint32_t kind, uint64_t value, const char* name) const = 0;
  // Event 15: the host's User-Agent into agent, which is empty on entry and
  // stays empty when the host has none.
  virtual void AskUserAgent(HOST_STRING* agent) const = 0;
  // Event 23: the host refuses the server of event (its answer is exactly 1).
  [[nodiscard]] virtual bool RefusesServer(UPD_SERVER_ADDRESS_EVENT* event) const = 0;

 protected:
  IFetchEvents() = default;
};

// A proxy the fetches go through.
struct FetchProxy {
  bool enabled = false;
  std::string host;
  uint32_t port = 0;
  // Answers the proxy's challenges (407).
  std::string user;
  std::string password;
  // After the proxy failed, try once without it (and skip it for the rest
  // of the run when it was unreachable).
  bool direct_retry = false;
};

// What a fetch is configured with for one call. The default goes directly,
// without credentials, and raises no events.
struct FetchConfig {
  FetchProxy proxy;
  // Answer the server's challenges (401).
  std::string server_user;
  std::string server_password;
  // Requests carry "yes" in the spread-control header.
  bool spread_control = false;
  // The slowest each exchange may move; none: kTransferMinimumRate.
  std::optional<MinimumRate> minimum_rate;
  // Null: no events, and the User-Agent is left out.
  std::shared_ptr<const IFetchEvents> events;
};
