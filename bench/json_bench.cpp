// Parse of a 20 MB repository-like JSON document (one top-level member per
// application record, with strings, integers, doubles, arrays and nested
// objects), compact and indented, against RapidJSON's DOM parse of the same
// text in the same run. The counters give the image size per text byte.
#include <benchmark/benchmark.h>

#include <cinttypes>
#include <cstdio>
#include <string>

#include "repository/json/json_parser.h"

#if __has_include(<rapidjson/document.h>)
#include <rapidjson/document.h>
#define UPD_BENCH_HAVE_RAPIDJSON 1
#endif

namespace {

constexpr size_t kDocumentBytes = 20u << 20;

class Generator {
 public:
  explicit Generator(bool indented) : indented_(indented) {}

  std::string Document() {
    Open('{');
    Key("manifest");
    text_ += "{\"version\":3}";
    Next();
    Key("root");
    text_ += R"({"decision_tree":{"revision":42,"defaults":{"language":"en_US"},"switch":)"
             R"({"var":"os.type","cases":[{"eq":"linux","file":[{"reference":"app_000001"}]}]}}})";
    for (uint32_t i = 1; text_.size() < kDocumentBytes; ++i) {
      Next();
      Record(i);
    }
    Close('}');
    return text_;
  }

 private:
  void Record(uint32_t i) {
    char name[32];
    std::snprintf(name, sizeof name, "app_%06" PRIu32, i);
    Key(name);
    Open('{');
    Key("application");
    Open('{');
    Field("id", "\"" + std::string(name) + "\"");
    Field("path", "\"/v1/products/security/" + std::to_string(i % 97) + "/package_" +
                      std::to_string(i) + ".bin\"");
    Field("display_name", "\"Security Suite \\u00e9dition " + std::to_string(i) + "\"");
    Field("description",
          "\"Cumulative update with \\\"quoted\\\" notes, line\\nbreaks and tabs\\t\"");
    Field("version", "\"12." + std::to_string(i % 10) + "." + std::to_string(i % 1000) + ".0\"");
    Field("version_id", std::to_string(1200000000ull + i * 37ull));
    Field("date", std::to_string(1700000000ull + i * 60ull));
    Field("dev_stage", std::to_string(i % 4));
    Field("size", std::to_string(50000000ull + (i * 7919ull) % 900000000ull));
    Field("hash", "\"" + Hex(i, 40) + "\"");
    Field("hash_sha256", "\"" + Hex(i * 31u, 64) + "\"");
    Field("language", "[\"en_US\",\"de_DE\",\"fr_FR\"]");
    Field("format", std::to_string(i % 3 == 0 ? 323 : 8));
    Field("eula", "\"eula_" + std::to_string(i % 5) + "\"");
    Field("rating", std::to_string(i % 50) + "." + std::to_string(i % 10) + "5");
    Field("update", "{\"base\":[{\"from\":" + std::to_string(i) +
                        ",\"to\":" + std::to_string(i + 100) + "}],\"level\":2}");
    Field(
        "dependencies",
        R"({"os":[{"type":1,"family":2,"name":"linux","edition":0,"version_from":50000,"bits":64}],)"
        R"("platform":[1,7],"package":[{"name":"core","version_id_from":1100000000}]})");
    Field("tags", "[\"stable\",\"x64\",\"signed\"]");
    Field("token", "{\"id\":\"" + Hex(i * 7u, 16) + "\",\"deal_id\":null}", true);
    Close('}');
    Close('}');
  }

  static std::string Hex(uint32_t seed, size_t digits) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    uint64_t state = seed * 6364136223846793005ull + 1442695040888963407ull;
    while (out.size() < digits) {
      state = state * 6364136223846793005ull + 1442695040888963407ull;
      out += kDigits[state >> 60];
    }
    return out;
  }

  void Open(char c) {
    text_ += c;
    ++level_;
    Break();
  }
  void Close(char c) {
    --level_;
    Break();
    text_ += c;
  }
  void Next() {
    text_ += ',';
    Break();
  }
  void Break() {
    if (indented_) text_ += "\n" + std::string(2 * level_, ' ');
  }
  void Key(const std::string& key) { text_ += "\"" + key + (indented_ ? "\": " : "\":"); }
  void Field(const std::string& key, const std::string& value, bool last = false) {
    Key(key);
    text_ += value;
    if (!last) Next();
  }

  bool indented_;
  int level_ = 0;
  std::string text_;
};

const std::string& Text(bool indented) {
  static const std::string compact = Generator(false).Document();
  static const std::string pretty = Generator(true).Document();
  return indented ? pretty : compact;
}

void BM_JsonParse(benchmark::State& state) {
  const std::string& text = Text(state.range(0) != 0);
  size_t image = 0;
  for (auto _ : state) {
    const wexajson::Value root = wexajson::Parse(text, wexajson::kDocumentDepth);
    if (!root.IsObject()) state.SkipWithError("the document does not parse");
    image = root.GetDocument()->Image().size();
    benchmark::DoNotOptimize(root);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
  state.counters["text_MB"] = static_cast<double>(text.size()) / 1e6;
  state.counters["image_per_text"] = static_cast<double>(image) / static_cast<double>(text.size());
}
BENCHMARK(BM_JsonParse)->ArgName("indented")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

#ifdef UPD_BENCH_HAVE_RAPIDJSON
void BM_RapidJsonParse(benchmark::State& state) {
  const std::string& text = Text(state.range(0) != 0);
  for (auto _ : state) {
    rapidjson::Document document;
    document.Parse(text.data(), text.size());
    if (document.HasParseError() || !document.IsObject()) state.SkipWithError("RapidJSON refuses");
    benchmark::DoNotOptimize(document);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_RapidJsonParse)->ArgName("indented")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
#endif

}  // namespace
