#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>

#include "host_events.h"
#include "options.h"
#include "testhost/library_host.h"
#include "updater.h"

namespace updhost {

// An export the loaded library lacks.
class MissingExport : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The host process around one library context: the loaded library, the
// settings record built from the options, the context, the event callback
// with its engine stand-in, and the optional abort from a second thread.
class HostSession {
 public:
  explicit HostSession(const HostOptions& options);
  ~HostSession();
  HostSession(const HostSession&) = delete;
  HostSession& operator=(const HostSession&) = delete;

  // Each returns an error message, empty on success: the library cannot be
  // loaded; an option does not fit its settings field.
  std::string Load();
  std::string PrepareSettings();
  // UpdInitialize4 with the options' folders; false when it answers null.
  bool CreateContext();
  // UpdAbortUpdate from a second thread after --abort-after.
  void StartAbortTimer();

  UPDATER_CONTEXT* context() const { return context_; }
  const HostOptions& options() const { return options_; }
  const UPDATER_SETTINGS* settings() const { return settings_.get(); }
  // For the commands that name the host's product in the settings.
  UPDATER_SETTINGS* mutable_settings() { return settings_.get(); }
  HostEvents& events() { return events_; }

  // The export of that name, typed as updater.h declares it; throws
  // MissingExport when the library lacks it.
  template <typename Function>
  Function Export(const char* name) {
    auto function = library_->Get<Function>(name);
    if (function == nullptr) throw MissingExport(name);
    return function;
  }

 private:
  void StopAbortTimer();

  const HostOptions& options_;
  std::unique_ptr<upd::testhost::LibraryHost> library_;
  std::unique_ptr<UPDATER_SETTINGS> settings_;
  HostEvents events_;
  UPDATER_CONTEXT* context_ = nullptr;
  decltype(&::UpdUninitialize) uninitialize_ = nullptr;

  std::thread abort_thread_;
  std::mutex abort_mutex_;
  std::condition_variable abort_wake_;
  bool finished_ = false;
};

// Calls an export by name with the type updater.h declares.
#define UPDHOST_EXPORT(session, name) (session).Export<decltype(&::name)>(#name)

}  // namespace updhost
