#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "options.h"
#include "testhost/engine_standin.h"
#include "updater.h"

namespace updhost {

// The host side of the event callback: every event becomes one line on
// standard error ("event N" and its decoded record), answered as the options
// say; the engine events hand out the engine stand-in. When standard error
// is a terminal, the progress events 2 and 3 draw one progress bar instead.
class HostEvents {
 public:
  HostEvents(const HostOptions& options, FILE* out, bool progress_bar);
  ~HostEvents();
  HostEvents(const HostEvents&) = delete;
  HostEvents& operator=(const HostEvents&) = delete;

  static uint32_t Callback(uint32_t event, void* data, void* user);

  const upd::testhost::EngineCounts& engine_counts() const { return engine_.counts(); }
  // Ends a progress bar in progress, so that the next line starts clean.
  void EndProgress();

 private:
  uint32_t Handle(uint32_t event, void* data);
  void Line(const std::string& text);
  void Progress(uint32_t event, const void* data);
  uint32_t UserAgent(UPD_USER_AGENT_EVENT* record);
  uint32_t ServerAddress(const UPD_SERVER_ADDRESS_EVENT* record);
  uint32_t ConfirmDownload(const UPD_CONFIRM_DOWNLOAD_EVENT* record);

  const HostOptions& options_;
  FILE* out_;
  bool progress_bar_;
  bool bar_open_ = false;
  uint64_t bar_total_ = 0;
  uint64_t bar_done_ = 0;
  upd::testhost::EngineStandIn engine_;
};

}  // namespace updhost
