#pragma once

struct UPDATER_CONTEXT;

// Empties the per-run state of a context (download cache purge, component
// lists, server selection, installed record, mirror lists, INI profile
// cache) on every path out of a module update or mirror run, an exception
// included. The phase and the lock are the ContextCall's.
class RunCleanup {
 public:
  explicit RunCleanup(UPDATER_CONTEXT& context) : context_(context) {}
  ~RunCleanup();
  RunCleanup(const RunCleanup&) = delete;
  RunCleanup& operator=(const RunCleanup&) = delete;

 private:
  UPDATER_CONTEXT& context_;
};
