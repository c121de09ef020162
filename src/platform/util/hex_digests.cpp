#include "platform/util/hex_digests.h"

#include "platform/os/os_file.h"
#include "platform/util/md5.h"
#include "platform/util/sha1.h"
#include "platform/util/sha256.h"
#include "platform/util/sha512.h"

namespace {

constexpr size_t kFileBlock = 4096;

// Writes 2 * count digits and a NUL; out holds at least that many bytes.
void WriteHex(const uint8_t* bytes, size_t count, char* out, bool upper) {
  const char* digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
  for (size_t i = 0; i < count; ++i) {
    out[2 * i] = digits[bytes[i] >> 4];
    out[2 * i + 1] = digits[bytes[i] & 0xF];
  }
  out[2 * count] = '\0';
}

constexpr size_t HexSize(uint64_t digest_size) { return 2 * digest_size + 1; }

// An empty buffer may come as a null pointer; the digests want an address.
bool Readable(const void*& data, size_t length) {
  static constexpr uint8_t kNothing = 0;
  if (data != nullptr) return true;
  data = &kNothing;
  return length == 0;
}

bool DigestFile(const char* path, SHA1_CONTEXT* sha1) {
  OS_FILE* file = OsFileOpen(path, nullptr, kOsAccessRead, kOsOpenExisting);
  if (file == nullptr) return false;
  Sha1Init(sha1);
  uint8_t block[kFileBlock];
  int64_t got = 0;
  while ((got = OsFileRead(file, block, sizeof block)) > 0) {
    Sha1Update(sha1, block, static_cast<uint64_t>(got));
  }
  OsFileClose(file);
  if (got < 0) return false;
  Sha1Final(sha1);
  return true;
}

}  // namespace

bool FileSha1Hex(const char* path, char* out, size_t out_size) {
  if (path == nullptr) return false;
  if (out != nullptr && out_size < HexSize(kSha1DigestSize)) return false;
  SHA1_CONTEXT sha1;
  if (!DigestFile(path, &sha1)) return false;
  if (out != nullptr) WriteHex(Sha1Digest(&sha1), kSha1DigestSize, out, true);
  return true;
}

bool BufferSha512_256Hex(const void* data, size_t length, char* out, size_t out_size) {
  uint8_t digest[kSha512_256DigestSize];
  if (out == nullptr || out_size < HexSize(sizeof digest) || !Readable(data, length)) return false;
  if (Sha512_256Digest(data, length, digest, sizeof digest) != 0) return false;
  WriteHex(digest, sizeof digest, out, false);
  return true;
}

bool BufferSha256Hex(const void* data, size_t length, char* out, size_t out_size) {
  uint8_t digest[kSha256DigestSize];
  if (out == nullptr || out_size < HexSize(sizeof digest) || !Readable(data, length)) return false;
  if (Sha256Digest(data, length, digest, sizeof digest) != 0) return false;
  WriteHex(digest, sizeof digest, out, false);
  return true;
}

bool BufferMd5Hex(const void* data, size_t length, char* out, size_t out_size) {
  uint8_t digest[kMd5DigestSize];
  if (out == nullptr || out_size < HexSize(sizeof digest) || !Readable(data, length)) return false;
  MD5_CONTEXT md5;
  if (Md5Init(&md5) != 0) return false;
  Md5Update(&md5, data, length);
  if (Md5Final(&md5, digest, sizeof digest) != 0) return false;
  WriteHex(digest, sizeof digest, out, false);
  return true;
}
