// The DER/BER decoder and the readers built on it, over arbitrary input.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "verify/asn1/asn1.h"
#include "verify/asn1/asn1_integer.h"
#include "verify/asn1/asn1_time.h"
#include "verify/asn1/oid.h"
#include "verify/asn1/oid_text.h"
#include "verify/common/carray.h"

namespace {

void Visit(ASN1& root) {
  CArrayNoThrow<ASN1*, ASN1*> pending;
  if (!pending.Add(&root)) return;
  while (!pending.IsEmpty()) {
    ASN1* node = pending[pending.GetSize() - 1];
    if (!pending.SetSize(pending.GetSize() - 1)) return;
    if (!node->EnsureDecoded(false)) continue;
    Oid oid;
    std::unique_ptr<wchar_t[]> wide;
    int64_t time = 0;
    uint32_t number = 0;
    (void)OidToText(*node, oid);
    (void)OidToWideText(*node, wide);
    (void)ParseAsn1Time(*node, time);
    (void)Asn1IntegerToUInt32(*node, number);
    (void)node->GetEncodedLength(true);
    for (int64_t i = 0; i < node->GetChildCount(); ++i) {
      if (!pending.Add(node->GetChild(i))) return;
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ByteArray input;
  if (size == 0 || !input.Assign(static_cast<int64_t>(size), data)) return 0;
  CountedPtr<ASN1> eager = ASN1::Parse(input, true);
  CountedPtr<ASN1> lazy = ASN1::Parse(input, false);
  if (!lazy.IsEmpty()) Visit(*lazy);
  if (!eager.IsEmpty()) {
    ASN1 copy;
    if (copy.CopyFrom(*eager) && copy.AddChild(ASN1(0x05))) (void)copy.GetEncoded();
  }
  return 0;
}
