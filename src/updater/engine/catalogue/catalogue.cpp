#include "updater/engine/catalogue/catalogue.h"

#include <utility>

#include "platform/store/profile_cache.h"

Catalogue::Catalogue() : document_(std::make_unique<CProfileFile>()) {}

Catalogue::Catalogue(std::unique_ptr<CProfileFile> document, bool loaded, CatalogueTrust trust)
    : document_(std::move(document)), loaded_(loaded), trust_(trust) {}

Catalogue::Catalogue(Catalogue&& other) noexcept
    : document_(std::exchange(other.document_, std::make_unique<CProfileFile>())),
      loaded_(std::exchange(other.loaded_, false)),
      trust_(std::exchange(other.trust_, CatalogueTrust::kUnchecked)) {}

Catalogue& Catalogue::operator=(Catalogue&& other) noexcept {
  if (this != &other) {
    document_ = std::exchange(other.document_, std::make_unique<CProfileFile>());
    loaded_ = std::exchange(other.loaded_, false);
    trust_ = std::exchange(other.trust_, CatalogueTrust::kUnchecked);
  }
  return *this;
}

Catalogue::~Catalogue() = default;

Catalogue Catalogue::FromText(std::string_view text, CatalogueTrust trust) {
  auto document = std::make_unique<CProfileFile>();
  const bool parsed = document->ParseText(text);
  // Half a document is no catalogue: readers see none, as of a file that
  // did not load.
  if (!parsed) document->Release();
  return Catalogue(std::move(document), parsed, trust);
}

Catalogue Catalogue::FromFile(const char* path, CatalogueTrust trust) {
  auto document = std::make_unique<CProfileFile>();
  const bool loaded = document->Init(path);
  return Catalogue(std::move(document), loaded, trust);
}

std::optional<std::string_view> Catalogue::Value(std::string_view section,
                                                 std::string_view key) const {
  const char* value = document_->GetValue(section, key, nullptr);
  if (value == nullptr) return std::nullopt;
  return std::string_view(value);
}

uint32_t Catalogue::CopyText(const char* section, const char* key, const char* fallback,
                             char* buffer, uint32_t size) const {
  if (section == nullptr || key == nullptr || buffer == nullptr) return 0;
  return ProfileCopyValue(document_->GetValue(section, key, nullptr), fallback, buffer, size);
}
