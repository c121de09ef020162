// A whole module update in-process (UpdPerformUpdate) against catalogues of
// 1,000, 5,000 and 10,000 sections, 300 of them installed engine modules of
// the host's group, 8 of which get a new build each run. The server is a
// folder read through the library's local file source, so that the network
// is not measured. Reports CPU time per run, the fitted growth and the
// process's peak resident memory ("peak_rss_mib").
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>

#include "platform/util/strings.h"
#include "platform/util/update_errors.h"
#include "testhost/engine_standin.h"
#include "testhost/event_host.h"
#include "updater.h"

namespace {

namespace fs = std::filesystem;

constexpr int kInstalledModules = 300;
constexpr int kUpdatedModules = 8;
constexpr uint32_t kOldBuild = 100;
constexpr uint32_t kNewBuild = 101;

std::string Quote(const std::string& text) { return "'" + text + "'"; }

void Write(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

// The size announced for packages a run never fetches.
constexpr uintmax_t kUnfetchedPackageSize = 1000;

std::string ModuleName(int index) {
  char name[32];
  std::snprintf(name, sizeof name, "em%04d_64", index);
  return name;
}

std::string ModuleText(int index, uint32_t build) {
  return upd::testhost::ModuleFileText(
      {ModuleName(index), 3, 1, build, "1." + std::to_string(build)},
      std::string(256, static_cast<char>('a' + index % 26)));
}

// size: what the catalogue announces, which bounds the package's download.
std::string Section(const std::string& header, const std::string& group, const std::string& module,
                    uint32_t build, const std::string& file, uintmax_t size) {
  return "[" + header + "]\r\ncategory=engine\r\nplatform=x64\r\ngroup=" + group +
         "\r\ntype=" + module + "\r\nversion=1." + std::to_string(build) +
         "\r\nbuild=" + std::to_string(build) + "\r\nlevel=0\r\nsize=" + std::to_string(size) +
         "\r\nfile=" + file + "\r\n";
}

// The server folder, the host's modules and data folders for one catalogue size.
class Scenario {
 public:
  explicit Scenario(int sections) {
    char pattern[] = "/tmp/updbench-run.XXXXXX";
    const char* made = mkdtemp(pattern);
    root_ = made != nullptr ? made : "";
    fs::create_directories(Server() + "/p");
    fs::create_directories(Modules());
    std::string catalogue;
    for (int i = 0; i < kInstalledModules; ++i) {
      const bool updated = i < kUpdatedModules;
      const uint32_t build = updated ? kNewBuild : kOldBuild;
      const std::string file = "p/" + ModuleName(i) + ".nup";
      uintmax_t size = kUnfetchedPackageSize;
      if (updated) {
        ok_ = ok_ && MakePackage(i, Server() + "/" + file);
        if (ok_) size = fs::file_size(Server() + "/" + file);
      }
      catalogue += Section(ModuleName(i), "engine", ModuleName(i), build, file, size);
    }
    // The rest: modules offered to other groups, which the run reads and passes by.
    for (int i = kInstalledModules; i < sections; ++i) {
      catalogue += Section(ModuleName(i), "other", ModuleName(i), kOldBuild, "p/none.nup",
                           kUnfetchedPackageSize);
    }
    Write(Server() + "/update.ver", catalogue);
    ResetModules();
  }
  ~Scenario() {
    if (!root_.empty()) fs::remove_all(root_);
  }
  Scenario(const Scenario&) = delete;
  Scenario& operator=(const Scenario&) = delete;

  bool ok() const { return ok_ && !root_.empty(); }
  std::string Server() const { return root_ + "/server"; }
  std::string Modules() const { return root_ + "/modules"; }
  std::string Data() const { return root_ + "/data"; }

  // Every installed module at its old build; no package left from a run.
  void ResetModules() const {
    for (int i = 0; i < kInstalledModules; ++i) {
      Write(Modules() + "/" + ModuleName(i) + ".dat", ModuleText(i, kOldBuild));
    }
    fs::remove_all(Data());
    fs::create_directories(Data());
  }

 private:
  bool MakePackage(int index, const std::string& out) const {
    const std::string payload = root_ + "/payload";
    Write(payload, ModuleText(index, kNewBuild));
    const std::string module = ModuleName(index);
    const std::string command = "python3 " +
                                Quote(std::string(UPD_SOURCE_DIR) + "/tools/testpki/sign_kit.py") +
                                " --trust " + Quote(UPD_TRUST_FOLDER) + " nup " + Quote(out) + " " +
                                Quote(payload) + " filename=" + module + ".dat type=" + module +
                                " platform=x64 build=" + std::to_string(kNewBuild) + " > /dev/null";
    return std::system(command.c_str()) == 0;
  }

  std::string root_;
  bool ok_ = true;
};

Scenario& ScenarioOf(int sections) {
  static std::map<int, std::unique_ptr<Scenario>> scenarios;
  auto& scenario = scenarios[sections];
  if (!scenario) scenario = std::make_unique<Scenario>(sections);
  return *scenario;
}

double PeakRssMiB() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

void BM_ModuleUpdateRun(benchmark::State& state) {
  const auto sections = static_cast<int>(state.range(0));
  Scenario& scenario = ScenarioOf(sections);
  if (!scenario.ok()) {
    state.SkipWithError("the scenario could not be made");
    return;
  }
  upd::testhost::EventHost host;
  upd::testhost::EngineStandIn engine;
  engine.ServeThrough(host);
  host.OnEvent(UPD_EVENT_UPDATE_GROUPS, [](uint32_t, void* data) {
    SafeStrCopy(static_cast<char*>(data), UPD_GROUP_LIST_SIZE, "engine");
    return 0u;
  });
  UPDATER_SETTINGS* settings = host.settings();
  // Two slashes: a local source.
  SafeStrCopy(settings->updateServer, sizeof settings->updateServer,
              ("/" + scenario.Server()).c_str());
  for (auto _ : state) {
    state.PauseTiming();
    scenario.ResetModules();
    host.Clear();
    UPDATER_CONTEXT* context =
        UpdInitialize(scenario.Data().c_str(), scenario.Modules().c_str(), "1.0", "bench");
    state.ResumeTiming();
    uint32_t flags = 0;
    const UPD_ERROR result = UpdPerformUpdate(context, settings, &flags);
    state.PauseTiming();
    UpdUninitialize(context);
    if (result != kUpdOk) {
      state.SkipWithError(("the run failed: " + std::to_string(result)).c_str());
      break;
    }
    state.ResumeTiming();
  }
  state.SetComplexityN(sections);
  state.counters["peak_rss_mib"] = PeakRssMiB();
}

BENCHMARK(BM_ModuleUpdateRun)
    ->Arg(1000)
    ->Arg(5000)
    ->Arg(10000)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->Complexity(benchmark::oNLogN);

}  // namespace
