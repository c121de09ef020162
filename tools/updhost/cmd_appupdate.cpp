// Commands of the application update: ask the repository what it offers the
// host's product (and its further products and agreements), and run the
// update, printing every record the library gives back.

#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "command.h"
#include "host_session.h"
#include "options.h"
#include "testhost/allocator_host.h"

namespace updhost {
namespace {

using Args = std::vector<std::string>;

// The host's own records of its further products and accepted agreements.
#pragma pack(push, 4)
struct ProductRecord {
  uint32_t cbSize;
  uint32_t productWord;
  HOST_STRING name;
  uint32_t format;
  HOST_STRING installedVersion;
  HOST_STRING packagePath;
};
struct ComponentRecord {
  uint32_t cbSize;
  HOST_STRING agreementHash;
  HOST_STRING documentHash;
  HOST_STRING name;
  HOST_STRING version;
};
#pragma pack(pop)
static_assert(sizeof(ProductRecord) == 132);
static_assert(sizeof(ComponentRecord) == 164);

// Host strings and arrays on the host's own allocator; their owners free
// them before it goes.
class HostRecords {
 public:

  const ApiAllocator* allocator() const { return allocator_.allocator(); }

  // An empty string the host frees at the end.
  void Empty(HOST_STRING* s) {
    std::memset(s, 0, sizeof *s);
    s->capacity = 15;
    s->allocator = allocator();
  }
  void Set(HOST_STRING* s, std::string_view text) {
    Empty(s);
    char* block = s->inlineText;
    if (text.size() > 15) {
      block = static_cast<char*>(allocator()->Allocate(text.size() + 1));
      if (block == nullptr) return;
      s->heapText = block;
      s->capacity = text.size();
    }
    std::memcpy(block, text.data(), text.size());
    block[text.size()] = '\0';
    s->length = text.size();
  }
  void Free(HOST_STRING* s) {
    if (s->capacity > 15) s->allocator->Free(s->heapText);
    s->capacity = 15;
    s->length = 0;
  }
  void FreeBlock(HOST_ARRAY* array) {
    if (array->elements != nullptr) array->allocator->Free(array->elements);
  }

 private:
  upd::testhost::AllocatorHost allocator_;
};

std::string Text(const HOST_STRING& s) {
  return std::string(s.capacity > 15 ? s.heapText : s.inlineText, s.length);
}

std::vector<std::string> Split(const std::string& text) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (size_t colon; (colon = text.find(':', start)) != std::string::npos; start = colon + 1) {
    parts.push_back(text.substr(start, colon - start));
  }
  parts.push_back(text.substr(start));
  return parts;
}

// The records the options list, kept with their strings for one call.
class HostLists {
 public:
  HostLists(const HostLists&) = delete;
  HostLists& operator=(const HostLists&) = delete;
  ~HostLists() {
    for (ProductRecord& p : products_) {
      for (HOST_STRING* s : {&p.name, &p.installedVersion, &p.packagePath}) records_.Free(s);
    }
    for (ComponentRecord& c : components_) {
      for (HOST_STRING* s : {&c.agreementHash, &c.documentHash, &c.name, &c.version}) {
        records_.Free(s);
      }
    }
  }
  HostLists(HostRecords& records, const HostOptions& options)
      : records_(records),
        products_(options.products.size()), components_(options.components.size()) {
    // Room for the agreement "--agree" adds: the records' strings must not move.
    components_.reserve(components_.size() + 1);
    for (size_t i = 0; i < products_.size(); ++i) {
      const std::vector<std::string> parts = Split(options.products[i]);
      ProductRecord& p = products_[i];
      p.cbSize = sizeof p;
      records.Set(&p.name, parts[0]);
      records.Set(&p.installedVersion, parts[1]);
      static_cast<void>(ParseU32(parts[2], &p.format));
      records.Set(&p.packagePath, parts[3]);
    }
    for (size_t i = 0; i < components_.size(); ++i) AddComponent(records, Split(options.components[i]), i);
  }

  // An accepted agreement: its hash stands for the agreement and its document.
  void AddComponent(HostRecords& records, const std::vector<std::string>& parts, size_t i) {
    if (i >= components_.size()) components_.resize(i + 1);
    ComponentRecord& c = components_[i];
    c.cbSize = sizeof c;
    records.Set(&c.name, parts[0]);
    records.Set(&c.version, parts[1]);
    records.Set(&c.agreementHash, parts[2]);
    records.Set(&c.documentHash, parts.size() > 3 ? parts[3] : parts[2]);
  }
  size_t component_count() const { return components_.size(); }

  HOST_ARRAY Products() { return Array(products_); }
  HOST_ARRAY Components() { return Array(components_); }

 private:
  template <typename T>
  static HOST_ARRAY Array(std::vector<T>& records) {
    return {records.empty() ? nullptr : records.data(), records.size(), records.size(), nullptr};
  }

  HostRecords& records_;
  std::vector<ProductRecord> products_;
  std::vector<ComponentRecord> components_;
};

void NameProduct(HostSession& session, const Args& args) {
  UPDATER_SETTINGS* settings = session.mutable_settings();
  std::snprintf(settings->productName, sizeof settings->productName, "%s", args[0].c_str());
  std::snprintf(settings->productVersion2, sizeof settings->productVersion2, "%s", args[1].c_str());
}

std::string CheckProduct(const Args& args) {
  return args[0].empty() || args[1].empty() ? "the product and its version must not be empty"
                                            : "";
}

void PrintAgreement(const char* label, const HOST_STRING& name, const HOST_STRING& version,
                    uint32_t level, const HOST_STRING& agreementHash,
                    const HOST_STRING& documentHash, const HOST_STRING& url,
                    const HOST_STRING& effective) {
  std::printf("%s name %s version %s level %u hash %s document %s url %s effective %s\n", label,
              Text(name).c_str(), Text(version).c_str(), level, Text(agreementHash).c_str(),
              Text(documentHash).c_str(), Text(url).c_str(), Text(effective).c_str());
}

// One line per update found: "update ID VERSION word .. severity .. date ..
// size .. changelog URL", and an "agreement" line when it carries one.
CommandOutcome AppCheck(HostSession& session, const Args& args) {
  NameProduct(session, args);
  HostRecords records;
  HostLists lists(records, session.options());
  APP_UPDATE_CHECK_PARAMS params{};
  params.cbSize = sizeof params;
  params.context = session.context();
  params.settings = session.settings();
  params.products = lists.Products();
  params.components = lists.Components();
  params.fullQuery = 1;
  records.Empty(&params.agreementProduct);
  records.Empty(&params.agreementName);
  APP_UPDATE_CHECK_RESULT result{};
  result.cbSize = sizeof result;
  result.updates.allocator = records.allocator();
  const UPD_ERROR code = UPDHOST_EXPORT(session, UpdCheckForAppUpdate)(&params, &result);
  auto* infos = static_cast<APP_UPDATE_INFO*>(result.updates.elements);
  for (uint64_t i = 0; i < result.updates.count; ++i) {
    APP_UPDATE_INFO& info = infos[i];
    std::printf("update %s %s word 0x%X severity %d date %lld size %llu changelog %s\n",
                Text(info.id).c_str(), Text(info.version).c_str(), info.productWord,
                info.severity, static_cast<long long>(info.date),
                static_cast<unsigned long long>(info.size), Text(info.changelogUrl).c_str());
    if (info.agreementLevel != 0) {
      PrintAgreement("agreement", info.agreementName, info.agreementVersion, info.agreementLevel,
                     info.agreementHash, info.documentHash, info.documentUrl, info.effectiveDate);
    }
    for (HOST_STRING* s : {&info.id, &info.version, &info.documentUrl, &info.agreementHash,
                           &info.documentHash, &info.changelogUrl, &info.agreementName,
                           &info.agreementVersion, &info.effectiveDate}) {
      records.Free(s);
    }
  }
  records.FreeBlock(&result.updates);
  return {code, ""};
}

std::vector<HOST_STRING*> ResultStrings(APP_UPDATE_RESULT& result) {
  return {&result.documentUrl,  &result.agreementHash,    &result.documentHash,
          &result.changelogUrl, &result.agreementName,    &result.agreementVersion,
          &result.effectiveDate};
}

void FreeResult(HostRecords& records, APP_UPDATE_RESULT& result) {
  for (HOST_STRING* s : ResultStrings(result)) records.Free(s);
  records.FreeBlock(&result.steps);
}

// One run into a fresh result; what an earlier run left there is freed.
UPD_ERROR RunOnce(HostSession& session, HostRecords& records, HostLists& lists,
                  APP_UPDATE_RESULT& result) {
  APP_UPDATE_PARAMS params{};
  params.cbSize = sizeof params;
  params.context = session.context();
  params.settings = session.settings();
  params.products = lists.Products();
  params.components = lists.Components();
  params.skipAgreementCheck = session.options().skip_agreement ? 1 : 0;
  for (HOST_STRING* s : {&params.wantedVersion, &params.agreementProduct, &params.agreementName}) {
    records.Empty(s);
  }
  FreeResult(records, result);
  result = {};
  result.cbSize = sizeof result;
  for (HOST_STRING* s : ResultStrings(result)) records.Empty(s);
  result.steps.allocator = records.allocator();
  return UPDHOST_EXPORT(session, UpdPerformAppUpdate3)(&params, &result);
}

void PrintRun(const APP_UPDATE_RESULT& result) {
  std::printf("outcome 0x%X changelog %s\n", result.outcome, Text(result.changelogUrl).c_str());
  if (result.agreementLevel != 0) {
    PrintAgreement("agreement", result.agreementName, result.agreementVersion,
                   result.agreementLevel, result.agreementHash, result.documentHash,
                   result.documentUrl, result.effectiveDate);
  }
  const auto* steps = static_cast<const StepResult*>(result.steps.elements);
  for (uint64_t i = 0; i < result.steps.count; ++i) {
    std::printf("step %u code 0x%04X\n", steps[i].step, steps[i].code);
  }
}

// "--agree" accepts an agreement the run stops for and runs once more.
CommandOutcome AppUpdate(HostSession& session, const Args& args) {
  NameProduct(session, args);
  HostRecords records;
  HostLists lists(records, session.options());
  APP_UPDATE_RESULT result{};
  UPD_ERROR code = RunOnce(session, records, lists, result);
  PrintRun(result);
  if (code == 0x500B && session.options().agree) {
    std::printf("agreed\n");
    lists.AddComponent(records,
                       {Text(result.agreementName), Text(result.agreementVersion),
                        Text(result.agreementHash), Text(result.documentHash)},
                       lists.component_count());
    code = RunOnce(session, records, lists, result);
    PrintRun(result);
  }
  FreeResult(records, result);
  return {code, ""};
}

const Registrar kAppCheck("app-check",
                          {"app-check PRODUCT VERSION", 2, false, AppCheck, CheckProduct});
const Registrar kAppUpdate("app-update",
                           {"app-update PRODUCT VERSION", 2, false, AppUpdate, CheckProduct});

}  // namespace
}  // namespace updhost
