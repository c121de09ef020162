// Load and save of the XML store at 2,000 to 2,000,000 elements, for the
// densest input (empty elements, one node per four bytes) and for
// attribute-heavy records shaped like "db.xml" (one snapshot of N modules).
// Besides time, each size reports memory per input byte:
//   peak_rss_per_byte  growth of the process's peak resident set during one
//                      load (or save), over the input's size; the input text
//                      itself exists before and is not counted. -1 where the
//                      kernel cannot reset the peak (/proc/self/clear_refs).
//   node_pool_per_byte heap bytes of the document's node pool chunks (the
//                      store's own count) over the input's size.
// The complexity fit reports how the times grow (linear is the goal).
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "platform/store/xml_document.h"
#include "platform/store/xml_parser.h"
#include "platform/store/xml_writer.h"

namespace {

std::string EmptyElements(int64_t count) {
  std::string text = "<R>";
  text.reserve(static_cast<size_t>(count) * 4 + 8);
  for (int64_t i = 0; i < count; ++i) text += "<a/>";
  return text + "</R>";
}

std::string DbXml(int64_t modules) {
  std::string text = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<BACKUP VERSION=\"2\">\n";
  text += " <SNAPSHOT TIMESTAMP=\"65A1B2C3\">\n";
  char line[256];
  for (int64_t i = 0; i < modules; ++i) {
    std::snprintf(line, sizeof(line),
                  "  <MODULE ID=\"%llX\" PLATFORM=\"2\" BUILD=\"%llX\" TYPE=\"1\" "
                  "FILE=\"em%03lld_64-%lld.dat\" ORIG=\"/var/opt/modules/em%03lld_64.dat\" />\n",
                  static_cast<unsigned long long>(i), static_cast<unsigned long long>(i * 7 + 1000),
                  static_cast<long long>(i % 1000), static_cast<long long>(i),
                  static_cast<long long>(i % 1000));
    text += line;
  }
  text += " </SNAPSHOT>\n</BACKUP>\n";
  return text;
}

XmlDocumentPtr Load(const std::string& text) {
  XmlDocumentPtr document = MemStoreCreate(0);
  if (MemStoreLoadText(document.get(), text.data(), text.size(), 1, kXmlDefaultDepth) != kXmlOk) {
    return nullptr;
  }
  return document;
}

// Current and peak resident set in bytes, from /proc/self/status.
bool ReadResident(uint64_t* current, uint64_t* peak) {
  std::ifstream status("/proc/self/status");
  std::string key;
  uint64_t kib = 0;
  int found = 0;
  while (status >> key) {
    if (key == "VmRSS:" && status >> kib) {
      *current = kib << 10;
      ++found;
    } else if (key == "VmHWM:" && status >> kib) {
      *peak = kib << 10;
      ++found;
    }
  }
  return found == 2;
}

// Growth of the peak resident set while run() works, per input byte.
template <typename Run>
double PeakPerByte(size_t input_bytes, Run run) {
  malloc_trim(0);  // memory freed by earlier runs must not hide new growth
  std::ofstream clear("/proc/self/clear_refs");
  clear << "5";  // resets the peak to the current resident set
  clear.close();
  uint64_t before = 0;
  uint64_t peak = 0;
  if (!clear || !ReadResident(&before, &peak)) return -1;
  run();
  uint64_t after = 0;
  if (!ReadResident(&after, &peak)) return -1;
  return static_cast<double>(peak - before) / static_cast<double>(input_bytes);
}

using MakeText = std::string (*)(int64_t);

void LoadBenchmark(benchmark::State& state, MakeText make) {
  const std::string text = make(state.range(0));
  double node_pool = 0;
  const double peak = PeakPerByte(text.size(), [&] {
    XmlDocumentPtr document = Load(text);
    if (document != nullptr) {
      node_pool =
          static_cast<double>(document->nodes.TotalChunkBytes()) / static_cast<double>(text.size());
    }
  });
  for (auto _ : state) {
    XmlDocumentPtr document = Load(text);
    if (document == nullptr) state.SkipWithError("load failed");
    benchmark::DoNotOptimize(document);
    state.PauseTiming();
    document.reset();  // releasing is not loading
    state.ResumeTiming();
  }
  state.counters["peak_rss_per_byte"] = peak;
  state.counters["node_pool_per_byte"] = node_pool;
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
  state.SetComplexityN(state.range(0));
}

// What MemStoreSaveFile does before the disk.
bool Save(const _XML_DOCUMENT* document, std::string* out) {
  return MemStoreSerializeSized(document, MemStoreGetRoot(document), out);
}

void SaveBenchmark(benchmark::State& state, MakeText make) {
  const std::string text = make(state.range(0));
  XmlDocumentPtr document = Load(text);
  if (document == nullptr) {
    state.SkipWithError("load failed");
    return;
  }
  const double peak = PeakPerByte(text.size(), [&] {
    std::string out;
    (void)Save(document.get(), &out);
  });
  std::string out;
  for (auto _ : state) {
    if (!Save(document.get(), &out)) state.SkipWithError("save failed");
    benchmark::DoNotOptimize(out.data());
  }
  state.counters["peak_rss_per_byte"] = peak;
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
  state.SetComplexityN(state.range(0));
}

void BM_XmlLoadEmptyElements(benchmark::State& state) { LoadBenchmark(state, EmptyElements); }
void BM_XmlSaveEmptyElements(benchmark::State& state) { SaveBenchmark(state, EmptyElements); }
void BM_XmlLoadRecords(benchmark::State& state) { LoadBenchmark(state, DbXml); }
void BM_XmlSaveRecords(benchmark::State& state) { SaveBenchmark(state, DbXml); }

// Building the document through the API: every attribute goes through the
// value pool, whose growth rule decides whether this stays linear.
void BM_XmlBuild(benchmark::State& state) {
  for (auto _ : state) {
    XmlDocumentPtr document = MemStoreCreate(0);
    _XML_NODE* root = MemStoreCreateRoot(document.get(), L"BACKUP");
    (void)MemStoreSetAttribute(document.get(), root, L"VERSION", L"2");
    _XML_NODE* snapshot = MemStoreAddChild(document.get(), root, L"SNAPSHOT");
    for (int64_t i = 0; i < state.range(0); ++i) {
      _XML_NODE* module = MemStoreAddChild(document.get(), snapshot, L"MODULE");
      const std::wstring id = std::to_wstring(i);
      (void)MemStoreSetAttribute(document.get(), module, L"ID", id.c_str());
      (void)MemStoreSetAttribute(document.get(), module, L"FILE", L"em001_64-1000.dat");
      (void)MemStoreSetAttribute(document.get(), module, L"ORIG", L"/var/opt/modules/em001_64.dat");
    }
    benchmark::DoNotOptimize(document);
  }
  state.SetComplexityN(state.range(0));
}

void Sizes(benchmark::internal::Benchmark* b) {
  b->Arg(2000)->Arg(20000)->Arg(200000)->Arg(2000000)->Unit(benchmark::kMillisecond)->Complexity();
}

BENCHMARK(BM_XmlLoadEmptyElements)->Apply(Sizes);
BENCHMARK(BM_XmlSaveEmptyElements)->Apply(Sizes);
BENCHMARK(BM_XmlLoadRecords)->Apply(Sizes);
BENCHMARK(BM_XmlSaveRecords)->Apply(Sizes);
BENCHMARK(BM_XmlBuild)
    ->Arg(2000)
    ->Arg(20000)
    ->Arg(200000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity();

}  // namespace
