#include "testhost/engine_standin.h"

#include <unistd.h>

#include <charconv>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <thread>

namespace upd::testhost {
namespace {

// The first line of a stand-in file is short; a longer one is not ours.
constexpr size_t kMaxHeaderLine = 4096;
// A paused call goes on by itself after this, so that a test that forgot
// its host never leaves it hanging; a test's own case limit is shorter.
constexpr auto kPauseLimit = std::chrono::minutes(5);
constexpr auto kPausePoll = std::chrono::milliseconds(10);

}  // namespace

std::string Utf16ToUtf8(const char16_t* text) {
  std::string out;
  if (text == nullptr) return out;
  for (; *text != 0; ++text) {
    uint32_t c = *text;
    if (c >= 0xD800 && c <= 0xDBFF && text[1] >= 0xDC00 && text[1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<uint32_t>(text[1]) - 0xDC00);
      ++text;
    }
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (c >> 6)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (c >> 12)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (c >> 18)));
      out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return out;
}

namespace {

std::u16string Utf8ToUtf16(std::string_view text) {
  // The stand-in's own texts (names, versions) are ASCII.
  return std::u16string(text.begin(), text.end());
}

std::optional<std::string> ReadWholeFile(const char16_t* path) {
  std::ifstream in(Utf16ToUtf8(path), std::ios::binary);
  if (!in) return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The start of a file, enough for its header line.
std::optional<std::string> ReadHeaderPart(const char16_t* path) {
  std::ifstream in(Utf16ToUtf8(path), std::ios::binary);
  if (!in) return std::nullopt;
  std::string start(kMaxHeaderLine + 1, '\0');
  in.read(start.data(), static_cast<std::streamsize>(start.size()));
  start.resize(static_cast<size_t>(in.gcount()));
  return start;
}

// The first line of a file and what follows it.
struct HeaderAndRest {
  std::string header;
  std::string rest;
};

std::optional<HeaderAndRest> SplitHeader(const std::string& content) {
  const size_t end = content.find('\n');
  if (end == std::string::npos || end > kMaxHeaderLine) return std::nullopt;
  return HeaderAndRest{content.substr(0, end), content.substr(end + 1)};
}

std::optional<uint32_t> ParseU32(std::string_view text) {
  uint32_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || text.empty()) return std::nullopt;
  return value;
}

// "<tag> key=value ...": the values of the keys, in order; the last key
// takes the rest of the line when last_takes_rest is set.
std::optional<std::map<std::string, std::string>> ParseHeader(std::string_view line,
                                                              std::string_view tag,
                                                              bool last_takes_rest,
                                                              std::string_view last_key) {
  if (line.substr(0, tag.size()) != tag || line.size() == tag.size() || line[tag.size()] != ' ') {
    return std::nullopt;
  }
  line.remove_prefix(tag.size() + 1);
  std::map<std::string, std::string> values;
  while (!line.empty()) {
    const size_t equals = line.find('=');
    if (equals == std::string_view::npos) return std::nullopt;
    const std::string key(line.substr(0, equals));
    line.remove_prefix(equals + 1);
    size_t end = line.find(' ');
    if (last_takes_rest && key == last_key) end = std::string_view::npos;
    values[key] = std::string(line.substr(0, end));
    line = end == std::string_view::npos ? std::string_view() : line.substr(end + 1);
  }
  return values;
}

std::optional<ModuleFacts> ParseModule(const std::string& content) {
  const auto split = SplitHeader(content);
  if (!split) return std::nullopt;
  const auto values = ParseHeader(split->header, "TESTMOD", true, "version");
  if (!values || values->size() != 5 || !values->count("name") || !values->count("version")) {
    return std::nullopt;
  }
  const auto type = ParseU32(values->count("type") ? values->at("type") : "");
  const auto platform = ParseU32(values->count("platform") ? values->at("platform") : "");
  const auto build = ParseU32(values->count("build") ? values->at("build") : "");
  if (!type || !platform || !build || values->at("name").empty()) return std::nullopt;
  return ModuleFacts{values->at("name"), *type, *platform, *build, values->at("version")};
}

}  // namespace

struct EngineStandIn::OpenModule {
  ModuleFacts facts;
  std::u16string name;
  std::u16string version;
};

std::string ModuleFileText(const ModuleFacts& facts, std::string_view payload) {
  std::ostringstream text;
  text << "TESTMOD name=" << facts.name << " type=" << facts.type << " platform=" << facts.platform
       << " build=" << facts.build << " version=" << facts.version << '\n'
       << payload;
  return text.str();
}

std::string PatchFileText(uint32_t from_build, std::string_view new_module_file) {
  return "TESTPATCH from=" + std::to_string(from_build) + "\n" + std::string(new_module_file);
}

std::string PicoFileText(uint32_t id, uint32_t sequence) {
  return "PICO id=" + std::to_string(id) + " seq=" + std::to_string(sequence) + "\n";
}

EngineStandIn::EngineStandIn() {
  const char* call = std::getenv(kPauseCallVariable);
  const char* file = std::getenv(kPauseFileVariable);
  if (call != nullptr && file != nullptr && *file != '\0') {
    pause_call_ = ParseU32(call).value_or(0);
    pause_file_ = file;
  }
  for (const uint32_t id : {ENGINE_FN_APPLY_PATCH, ENGINE_FN_OPEN_MODULE, ENGINE_FN_CLOSE_MODULE,
                            ENGINE_FN_MODULE_VERSION, ENGINE_FN_MODULE_TYPE, ENGINE_FN_PICO_ID}) {
    engine_.OnCall(id, [this](const EngineCall& call) { return Serve(call); });
  }
}

EngineStandIn::~EngineStandIn() = default;

void EngineStandIn::Refuse(uint32_t id, uint32_t result, uint32_t count) {
  refusals_[id] = {result, count};
}

bool EngineStandIn::HandleEvent(uint32_t event, void* data, uint32_t* answer) {
  *answer = 0;
  switch (event) {
    case UPD_EVENT_ENGINE_FOR_FOLDER:
      ++counts_.folder_requests;
      if (data != nullptr) *static_cast<UPD_ENGINE_FOLDER_EVENT*>(data)->dispatch = dispatch();
      return true;
    case UPD_EVENT_ENGINE:
      ++counts_.requests;
      if (data != nullptr) *static_cast<UPD_ENGINE_REQUEST_EVENT*>(data)->dispatch = dispatch();
      return true;
    case UPD_EVENT_ENGINE_FOR_FOLDER_END:
      ++counts_.folder_releases;
      return true;
    case UPD_EVENT_ENGINE_END:
      ++counts_.releases;
      return true;
    default:
      return false;
  }
}

void EngineStandIn::ServeThrough(EventHost& host) {
  for (const uint32_t event : {UPD_EVENT_ENGINE_FOR_FOLDER, UPD_EVENT_ENGINE_FOR_FOLDER_END,
                               UPD_EVENT_ENGINE, UPD_EVENT_ENGINE_END}) {
    host.OnEvent(event, [this](uint32_t id, void* data) {
      uint32_t answer = 0;
      HandleEvent(id, data, &answer);
      return answer;
    });
  }
}

void EngineStandIn::PauseIfAsked(uint32_t id) {
  if (pause_call_ == 0 || id != pause_call_) return;
  pause_call_ = 0;
  // Whole when it appears: the test may read it as soon as it sees it.
  const std::string part = pause_file_ + ".part";
  {
    std::ofstream marker(part, std::ios::trunc);
    marker << getpid() << '\n';
  }
  std::error_code error;
  std::filesystem::rename(part, pause_file_, error);
  const auto end = std::chrono::steady_clock::now() + kPauseLimit;
  while (std::filesystem::exists(pause_file_) && std::chrono::steady_clock::now() < end) {
    std::this_thread::sleep_for(kPausePoll);
  }
}

uint32_t EngineStandIn::Serve(const EngineCall& call) {
  PauseIfAsked(call.id);
  if (auto refusal = refusals_.find(call.id);
      refusal != refusals_.end() && refusal->second.second > 0) {
    --refusal->second.second;
    return refusal->second.first;
  }
  switch (call.id) {
    case ENGINE_FN_OPEN_MODULE:
      return Open(call);
    case ENGINE_FN_CLOSE_MODULE:
      return Close(call);
    case ENGINE_FN_MODULE_TYPE:
      return Type(call);
    case ENGINE_FN_MODULE_VERSION:
      return Version(call);
    case ENGINE_FN_APPLY_PATCH:
      return ApplyPatch(call);
    default:
      return Pico(call);
  }
}

EngineStandIn::OpenModule* EngineStandIn::Find(uint64_t handle) {
  const auto module = open_.find(reinterpret_cast<const void*>(static_cast<uintptr_t>(handle)));
  return module == open_.end() ? nullptr : module->second.get();
}

// 3018 (word, word, flags, path, word, &handle).
uint32_t EngineStandIn::Open(const EngineCall& call) {
  const auto content = ReadHeaderPart(call.Pointer<const char16_t>(3));
  const auto facts = content ? ParseModule(*content) : std::nullopt;
  auto* handle = call.Pointer<void*>(5);
  if (!facts || handle == nullptr) return kEngineRefused;
  auto module = std::make_unique<OpenModule>();
  module->name = Utf8ToUtf16(facts->name);
  module->version = Utf8ToUtf16(facts->version);
  module->facts = *facts;
  *handle = module.get();
  open_[module.get()] = std::move(module);
  ++counts_.opens;
  return 0;
}

// 3020 (handle).
uint32_t EngineStandIn::Close(const EngineCall& call) {
  if (Find(call.args.at(0)) == nullptr) return kEngineRefused;
  open_.erase(reinterpret_cast<const void*>(static_cast<uintptr_t>(call.args.at(0))));
  ++counts_.closes;
  return 0;
}

// 3029 (handle, &type, &platform, &name).
uint32_t EngineStandIn::Type(const EngineCall& call) {
  const OpenModule* module = Find(call.args.at(0));
  if (module == nullptr) return kEngineRefused;
  if (auto* type = call.Pointer<uint32_t>(1)) *type = module->facts.type;
  if (auto* platform = call.Pointer<uint32_t>(2)) *platform = module->facts.platform;
  if (auto* name = call.Pointer<const char16_t*>(3)) *name = module->name.c_str();
  return 0;
}

// 3022 (handle, &version, word, &build, word, word, word).
uint32_t EngineStandIn::Version(const EngineCall& call) {
  const OpenModule* module = Find(call.args.at(0));
  if (module == nullptr) return kEngineRefused;
  if (auto* version = call.Pointer<const char16_t*>(1)) *version = module->version.c_str();
  if (auto* build = call.Pointer<uint32_t>(3)) *build = module->facts.build;
  return 0;
}

// 3011 (base or null, patch, output, flags).
uint32_t EngineStandIn::ApplyPatch(const EngineCall& call) {
  const auto patch = ReadWholeFile(call.Pointer<const char16_t>(1));
  const auto split = patch ? SplitHeader(*patch) : std::nullopt;
  const auto header = split ? ParseHeader(split->header, "TESTPATCH", false, "") : std::nullopt;
  if (!header || header->size() != 1 || !header->count("from")) return kEngineRefused;
  const auto from = ParseU32(header->at("from"));
  if (!from || !ParseModule(split->rest)) return kEngineRefused;
  if (*from != 0) {
    const auto base = ReadHeaderPart(call.Pointer<const char16_t>(0));
    const auto base_facts = base ? ParseModule(*base) : std::nullopt;
    if (!base_facts || base_facts->build != *from) return kEngineRefused;
  }
  std::ofstream out(Utf16ToUtf8(call.Pointer<const char16_t>(2)),
                    std::ios::binary | std::ios::trunc);
  out << split->rest;
  out.close();
  return out ? 0 : kEngineRefused;
}

// 3042 (path, &id, &sequence).
uint32_t EngineStandIn::Pico(const EngineCall& call) {
  const auto content = ReadHeaderPart(call.Pointer<const char16_t>(0));
  const auto split = content ? SplitHeader(*content) : std::nullopt;
  const auto values = split ? ParseHeader(split->header, "PICO", false, "") : std::nullopt;
  if (!values || values->size() != 2 || !values->count("id") || !values->count("seq")) {
    return kEngineRefused;
  }
  const auto id = ParseU32(values->at("id"));
  const auto sequence = ParseU32(values->at("seq"));
  if (!id || !sequence) return kEngineRefused;
  if (auto* out = call.Pointer<uint32_t>(1)) *out = *id;
  if (auto* out = call.Pointer<uint32_t>(2)) *out = *sequence;
  return 0;
}

}  // namespace upd::testhost
