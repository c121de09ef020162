#pragma once

#include <string>
#include <vector>

#include "verify/x509/cert_store_interface.h"

namespace upd::test {

// An external certificate source whose answers a test sets and whose calls it
// counts.
class FakeCertSource : public CertStoreInterface {
 public:
  bool Load() override {
    ++loads;
    if (load_result) ready = true;
    return load_result;
  }
  void Close() override { ++closes; }
  bool HasCertificates() override { return ready; }
  const CertStoreCertificate* NextCertificate(const CertStoreCertificate* previous) override {
    size_t next = previous == nullptr ? 0 : static_cast<size_t>(previous - items_.data()) + 1;
    if (next == 0) {
      items_.clear();
      for (const std::string& der : certificates) {
        items_.push_back(
            {reinterpret_cast<const uint8_t*>(der.data()), static_cast<uint32_t>(der.size())});
      }
    }
    return next < items_.size() ? &items_[next] : nullptr;
  }
  const CertStoreCRL* NextCRL(const CertStoreCRL* previous) override {
    size_t next = previous == nullptr ? 0 : static_cast<size_t>(previous - crls.data()) + 1;
    return next < crls.size() ? &crls[next] : nullptr;
  }
  uint32_t Subscribe(uint32_t kind, CertStoreChangeCallback callback, void* context) override {
    ++subscribes;
    if (callback == nullptr) {
      ++unsubscribes;
      return 0;
    }
    last_kind = kind;
    on_change = callback;
    change_context = context;
    return subscribe_result;
  }
  bool GetHandler(uint32_t kind, CertStoreHandler* handler) override {
    for (const auto& [offered_kind, function] : handlers) {
      if (offered_kind == kind) {
        *handler = function;
        return true;
      }
    }
    return false;
  }
  void Change() {
    if (on_change != nullptr) on_change(change_context);
  }

  // What the source answers.
  bool ready = true;
  bool load_result = true;
  uint32_t subscribe_result = 0;
  std::vector<std::pair<uint32_t, CertStoreHandler>> handlers;
  std::vector<std::string> certificates;  // DER
  std::vector<CertStoreCRL> crls;

  // What the store did.
  int loads = 0;
  int closes = 0;
  int subscribes = 0;
  int unsubscribes = 0;
  uint32_t last_kind = 0;
  CertStoreChangeCallback on_change = nullptr;
  void* change_context = nullptr;

 private:
  std::vector<CertStoreCertificate> items_;
};

}  // namespace upd::test
