#include "updater/engine/package/update_package.h"

#include <string_view>

#include "updater/engine/catalogue/signed_buffer.h"
#include "verify/openpgp/pgp_public_key.h"

namespace {

// A file name of the system has at most 255 bytes (NAME_MAX).
constexpr size_t kMaxFileName = 255;

}  // namespace

// The module file is placed in the modules folder under this name: anything
// but a plain name could put it elsewhere. Paths are normalised from '\' to
// '/' in places, so both separate; ".." is refused wherever it stands.
bool IsPlainFileName(std::string_view name) {
  return !name.empty() && name.size() <= kMaxFileName && name != "." &&
         name.find("..") == std::string_view::npos &&
         name.find_first_of("/\\") == std::string_view::npos;
}

PgpResult VerifyUpdatePackageSignature(IInputStream* stream, uint64_t* content_offset,
                                       uint64_t* content_length) {
  uint64_t offset = 0;
  uint64_t length = 0;
  const PgpResult rc = VerifySignedMessage(stream, kUpdateSigner, &offset, &length);
  if (rc == kPgpOk) {
    if (content_offset != nullptr) *content_offset = offset;
    if (content_length != nullptr) *content_length = length;
  }
  return rc;
}
