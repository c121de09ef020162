// Load and save of a "db.xml"-shaped document (one snapshot of N modules),
// at 2,000, 20,000 and 200,000 modules; the complexity fit reports how the
// times grow (near O(N) is the goal).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/store/xml_document.h"
#include "platform/store/xml_parser.h"
#include "platform/store/xml_writer.h"

namespace {

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

void BM_XmlLoad(benchmark::State& state) {
  const std::string text = DbXml(state.range(0));
  for (auto _ : state) {
    XmlDocumentPtr document = Load(text);
    if (document == nullptr) state.SkipWithError("load failed");
    benchmark::DoNotOptimize(document);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
  state.SetComplexityN(state.range(0));
}

// What MemStoreSaveFile does before the disk: measure, then write into a
// buffer of that size.
void BM_XmlSave(benchmark::State& state) {
  const std::string text = DbXml(state.range(0));
  XmlDocumentPtr document = Load(text);
  const _XML_NODE* root = MemStoreGetRoot(document.get());
  std::vector<char> buffer;
  for (auto _ : state) {
    size_t size = 0;
    (void)MemStoreWriteToBuffer(document.get(), root, nullptr, &size);
    buffer.resize(size);
    if (MemStoreWriteToBuffer(document.get(), root, buffer.data(), &size) != kXmlOk) {
      state.SkipWithError("save failed");
    }
    benchmark::DoNotOptimize(buffer.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
  state.SetComplexityN(state.range(0));
}

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

BENCHMARK(BM_XmlLoad)
    ->Arg(2000)
    ->Arg(20000)
    ->Arg(200000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity();
BENCHMARK(BM_XmlSave)
    ->Arg(2000)
    ->Arg(20000)
    ->Arg(200000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity();
BENCHMARK(BM_XmlBuild)
    ->Arg(2000)
    ->Arg(20000)
    ->Arg(200000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity();

}  // namespace
