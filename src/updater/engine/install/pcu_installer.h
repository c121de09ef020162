#pragma once

#include <memory>

#include "platform/util/update_errors.h"
#include "updater.h"

// Application packages (updates of the product itself) are installed by the
// host, not by the library: the installer hands the path of a checked
// package over and passes the host's answer back.
class IPcuInstaller {
 public:
  virtual ~IPcuInstaller() = default;
  // 0 installed, else the host's update error code (kUpdHostInstalling: the host goes
  // on with the installation after the call).
  [[nodiscard]] virtual UpdError Install(const UPDATER_SETTINGS* settings,
                                         const char* packagePath) = 0;
};

// Sends event 41 {package path} through the settings of the call; kUpdInvalidArgument
// without settings or without an event callback.
class UnixPcuInstaller final : public IPcuInstaller {
 public:
  [[nodiscard]] UpdError Install(const UPDATER_SETTINGS* settings,
                                 const char* packagePath) override;
};

// The context's holder of the application installer.
class PcuManager {
 public:
  PcuManager();
  virtual ~PcuManager();
  PcuManager(const PcuManager&) = delete;
  PcuManager& operator=(const PcuManager&) = delete;

  [[nodiscard]] IPcuInstaller* installer() const { return installer_.get(); }

 private:
  std::unique_ptr<IPcuInstaller> installer_;
};
