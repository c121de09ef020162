#pragma once

#include <cstdint>
#include <string>

#include "repository/client/repository_host_records.h"
#include "updater.h"

class CDownloadSession;
class IPcuInstaller;

// What the host answers the repository client while it chooses updates:
// the deal block (event 30) and the installation's OS record (event 31).
// Each fills the caller's zeroed block and is true when the host answered;
// the block keeps whatever the host wrote either way.
class IRepositoryHost {
 public:
  virtual ~IRepositoryHost() = default;
  [[nodiscard]] virtual bool AskDeal(RepositoryDealBlock& deal) = 0;
  [[nodiscard]] virtual bool AskOsInfo(RepositoryOsInfo& os) = 0;
};

// The settings fields the client reads, taken once when the run starts.
struct RepositorySettings {
  std::string product;         // productName: the application's own folder
  std::string language;        // as the host spells it ("en-us")
  std::string productVersion;  // productVersion2: the installed product
  uint32_t repositoryFlags = 0;
  std::string baseUrl;  // RepositoryBaseUrl of the settings
};

[[nodiscard]] RepositorySettings ReadRepositorySettings(const UPDATER_SETTINGS& settings);

// Everything one application-update call works with, unpacked from the
// library context by its export entry so that the client and the steps do
// not depend on the context. The referenced objects outlive the run.
struct RepositoryRun {
  // The call's settings: downloads, progress events (2, 20) and the
  // installer go through them.
  const UPDATER_SETTINGS& settings;
  RepositorySettings fields;
  // Ends in '/'; the kept copies of repository documents live below it.
  std::string updateFolder;
  // The running application's version ("2.0.0.0").
  std::string appVersion;
  CDownloadSession& session;
  IRepositoryHost& host;
  // Null when the build has no installer of application packages.
  IPcuInstaller* installer = nullptr;
  // Downloads carry this flag's negation as their source flag.
  bool sourceFlag = false;
};
