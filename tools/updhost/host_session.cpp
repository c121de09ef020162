#include "host_session.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace updhost {
namespace {

namespace fs = std::filesystem;

// The library the build placed beside updhost: in the same folder, in the
// build tree's "lib" next to its "bin", or where an install put it (its
// library folder can be another than "lib", as Debian's multiarch one).
std::string DefaultLibraryPath() {
  std::error_code error;
  const fs::path self = fs::read_symlink("/proc/self/exe", error);
  const fs::path folder = error ? fs::path(".") : self.parent_path();
  const fs::path beside = folder / "libupdater.so";
  if (fs::exists(beside, error)) return beside.string();
  const fs::path build_tree = folder.parent_path() / "lib" / "libupdater.so";
  const fs::path installed = folder / UPDHOST_INSTALLED_LIBDIR / "libupdater.so";
  if (!fs::exists(build_tree, error) && fs::exists(installed, error)) return installed.string();
  return build_tree.string();
}

// Copies text into a fixed field; false when it does not fit with its NUL.
template <size_t N>
bool Put(char (&field)[N], const std::string& text) {
  if (text.size() >= N) return false;
  std::memcpy(field, text.c_str(), text.size() + 1);
  return true;
}

const char* OrNull(const std::optional<std::string>& text) {
  return text ? text->c_str() : nullptr;
}

}  // namespace

HostSession::HostSession(const HostOptions& options)
    : options_(options),
      settings_(std::make_unique<UPDATER_SETTINGS>()),
      events_(options, stderr, isatty(STDERR_FILENO) != 0) {}

HostSession::~HostSession() {
  StopAbortTimer();
  if (context_ != nullptr) uninitialize_(context_);
  events_.EndProgress();
}

std::string HostSession::Load() {
  const std::string path = options_.library.empty() ? DefaultLibraryPath() : options_.library;
  library_ = std::make_unique<upd::testhost::LibraryHost>(path);
  if (!library_->loaded()) return "cannot load " + path + ": " + library_->error();
  return "";
}

std::string HostSession::PrepareSettings() {
  UPDATER_SETTINGS& s = *settings_;
  s.eventCallback = &HostEvents::Callback;
  s.userData = &events_;
  const std::string store = options_.store.value_or(options_.data + "/settings.ini");
  const struct {
    bool fits;
    const char* option;
  } fields[] = {
      {Put(s.updateServer, options_.server), "--server"},
      {Put(s.secondServer, options_.second_server), "--second"},
      {Put(s.serverUserName, options_.user), "--user"},
      {Put(s.serverPassword, options_.password), "--password"},
      {Put(s.proxyHost, options_.proxy_host.value_or("")), "--proxy"},
      {Put(s.proxyUserName, options_.proxy_user), "--proxy-user"},
      {Put(s.proxyPassword, options_.proxy_password), "--proxy-password"},
      {Put(s.settingsStore, "file://" + store), "--store"},
  };
  for (const auto& field : fields) {
    if (!field.fits) return std::string(field.option) + ": the text is too long";
  }
  s.proxyEnabled = options_.proxy_host ? 1 : 0;
  s.proxyPort = options_.proxy_port;
  s.proxyDirectRetry = options_.direct_retry ? 1 : 0;
  s.releaseChannel = options_.channel;
  s.serverGroup = options_.group;
  if (options_.gate) s.flags |= 0x20;
  s.backupEnabled = options_.backup_keep ? 1 : 0;
  s.backupSnapshotsToKeep = options_.backup_keep.value_or(0);
  s.backupDaysBetween = options_.backup_days;
  s.confirmLargeDownload = options_.confirm_limit_kib ? 1 : 0;
  s.largeDownloadLimitKiB = options_.confirm_limit_kib.value_or(0);
  return "";
}

bool HostSession::CreateContext() {
  UPDATER_INIT_PARAMS params{};
  params.cbSize = sizeof params;
  params.modulesFolder = options_.modules.c_str();
  params.engineFolder = options_.engine ? options_.engine->c_str() : options_.modules.c_str();
  params.dataFolder = options_.data.c_str();
  params.picoFolder = OrNull(options_.pico);
  params.appVersion = OrNull(options_.app_version);
  params.certificateFolder = OrNull(options_.cert_folder);
  uninitialize_ = UPDHOST_EXPORT(*this, UpdUninitialize);
  context_ = UPDHOST_EXPORT(*this, UpdInitialize4)(&params);
  return context_ != nullptr;
}

void HostSession::StartAbortTimer() {
  if (!options_.abort_after_seconds || context_ == nullptr) return;
  const auto delay = std::chrono::duration<double>(*options_.abort_after_seconds);
  const auto abort = UPDHOST_EXPORT(*this, UpdAbortUpdate);
  abort_thread_ = std::thread([this, delay, abort] {
    std::unique_lock<std::mutex> lock(abort_mutex_);
    if (abort_wake_.wait_for(lock, delay, [this] { return finished_; })) return;
    std::fputs("abort\n", stderr);
    abort(context_);
  });
}

void HostSession::StopAbortTimer() {
  if (!abort_thread_.joinable()) return;
  {
    std::lock_guard<std::mutex> lock(abort_mutex_);
    finished_ = true;
  }
  abort_wake_.notify_all();
  abort_thread_.join();
}

}  // namespace updhost
