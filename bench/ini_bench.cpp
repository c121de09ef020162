// Loading and reading an update catalogue: an INI file of thousands of
// sections of about 700 bytes each. Every section and every key is looked up
// once; the time should grow about linearly with the section count.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "platform/store/profile_file.h"

namespace {

constexpr const char* kKeys[] = {"version", "versionid", "build", "type",     "category",
                                 "level",   "base",      "date",  "platform", "group",
                                 "file",    "size",      "crc",   "language", "description"};

std::string CatalogueText(int sections) {
  std::string text;
  char line[160];
  for (int i = 0; i < sections; ++i) {
    std::snprintf(line, sizeof(line), "[ENGINE%05d]\r\n", i);
    text += line;
    for (const char* key : kKeys) {
      std::snprintf(line, sizeof(line), "%s=%s-%d-%08x-value-of-typical-size\r\n", key, key, i,
                    static_cast<unsigned>(i) * 2654435761u);
      text += line;
    }
  }
  return text;
}

// One generated file per size, removed when the benchmark ends.
class Catalogues {
 public:
  ~Catalogues() {
    for (const auto& [n, path] : paths_) std::remove(path.c_str());
  }
  const std::string& Path(int sections) {
    auto [it, added] = paths_.try_emplace(sections);
    if (!added) return it->second;
    char name[] = "/tmp/ini_bench.XXXXXX";
    const int fd = ::mkstemp(name);
    const std::string text = CatalogueText(sections);
    if (fd < 0 || ::write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size())) {
      std::abort();
    }
    ::close(fd);
    it->second = name;
    return it->second;
  }

 private:
  std::map<int, std::string> paths_;
};

Catalogues& Files() {
  static Catalogues files;
  return files;
}

std::vector<std::string> SectionNames(int sections) {
  std::vector<std::string> names;
  char name[32];
  for (int i = 0; i < sections; ++i) {
    std::snprintf(name, sizeof(name), "engine%05d", i);  // lookups fold case
    names.emplace_back(name);
  }
  return names;
}

size_t LookUpAll(const CProfileFile& file, const std::vector<std::string>& names) {
  size_t found = 0;
  for (const std::string& name : names) {
    const CProfileSection* section = file.FindSection(name);
    if (section == nullptr) continue;
    for (const char* key : kKeys) found += section->GetValue(key, nullptr) != nullptr;
  }
  return found;
}

void BM_IniLoadAndLookUp(benchmark::State& state) {
  const int sections = static_cast<int>(state.range(0));
  const std::string& path = Files().Path(sections);
  const std::vector<std::string> names = SectionNames(sections);
  for (auto _ : state) {
    CProfileFile file;
    if (!file.Init(path.c_str())) state.SkipWithError("load failed");
    if (LookUpAll(file, names) != names.size() * std::size(kKeys)) state.SkipWithError("missed");
  }
  state.SetComplexityN(sections);
  state.counters["sections"] = sections;
}
BENCHMARK(BM_IniLoadAndLookUp)
    ->Arg(3000)
    ->Arg(10000)
    ->Arg(30000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

void BM_IniLookUpOnly(benchmark::State& state) {
  const int sections = static_cast<int>(state.range(0));
  CProfileFile file;
  if (!file.Init(Files().Path(sections).c_str())) state.SkipWithError("load failed");
  const std::vector<std::string> names = SectionNames(sections);
  for (auto _ : state) benchmark::DoNotOptimize(LookUpAll(file, names));
  state.SetComplexityN(sections);
}
BENCHMARK(BM_IniLookUpOnly)
    ->Arg(3000)
    ->Arg(10000)
    ->Arg(30000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

void BM_IniSave(benchmark::State& state) {
  const int sections = static_cast<int>(state.range(0));
  CProfileFile file;
  if (!file.Init(Files().Path(sections).c_str())) state.SkipWithError("load failed");
  char name[] = "/tmp/ini_bench_save.XXXXXX";
  const int fd = ::mkstemp(name);
  if (fd >= 0) ::close(fd);
  for (auto _ : state) {
    if (!file.Save(name)) state.SkipWithError("save failed");
  }
  std::remove(name);
  state.SetComplexityN(sections);
}
BENCHMARK(BM_IniSave)->Arg(3000)->Arg(30000)->Unit(benchmark::kMillisecond);

}  // namespace
