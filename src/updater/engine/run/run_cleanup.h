#pragma once

struct EngineServices;
struct UpdateRun;

// Empties the per-run state of a context (download cache purge, component
// lists, server selection, installed record, mirror lists, INI profile
// cache) on every path out of a module update or mirror run, an exception
// included. The phase and the lock are the export's call's.
class RunCleanup {
 public:
  RunCleanup(UpdateRun& run, EngineServices& services) : run_(run), services_(services) {}
  ~RunCleanup();
  RunCleanup(const RunCleanup&) = delete;
  RunCleanup& operator=(const RunCleanup&) = delete;

 private:
  UpdateRun& run_;
  EngineServices& services_;
};
