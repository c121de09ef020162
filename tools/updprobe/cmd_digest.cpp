#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "command.h"
#include "platform/util/crc32.h"
#include "platform/util/md5.h"
#include "platform/util/sha1.h"
#include "platform/util/sha256.h"
#include "platform/util/sha512.h"

namespace updprobe {
namespace {

// Read size of the streaming loop; large enough that the block functions, not
// the calls, dominate.
constexpr size_t kChunk = 1 << 16;

using Feed = std::function<void(const uint8_t*, size_t)>;
using Finish = std::function<std::vector<uint8_t>()>;

struct Digest {
  Feed feed;
  Finish finish;
};

// Each algorithm's context lives in the closures of its Digest.
bool MakeDigest(std::string_view name, Digest& d) {
  if (name == "crc32") {
    auto crc = std::make_shared<uint32_t>(0);
    d.feed = [crc](const uint8_t* p, size_t n) { *crc = Crc32(p, n, *crc); };
    d.finish = [crc] {
      return std::vector<uint8_t>{static_cast<uint8_t>(*crc >> 24),
                                  static_cast<uint8_t>(*crc >> 16), static_cast<uint8_t>(*crc >> 8),
                                  static_cast<uint8_t>(*crc)};
    };
    return true;
  }
  if (name == "md5") {
    auto c = std::make_shared<MD5_CONTEXT>();
    (void)Md5Init(c.get());
    d.feed = [c](const uint8_t* p, size_t n) { Md5Update(c.get(), p, n); };
    d.finish = [c] {
      std::vector<uint8_t> out(kMd5DigestSize);
      (void)Md5Final(c.get(), out.data(), out.size());
      return out;
    };
    return true;
  }
  if (name == "sha1") {
    auto c = std::make_shared<SHA1_CONTEXT>();
    Sha1Init(c.get());
    d.feed = [c](const uint8_t* p, size_t n) { Sha1Update(c.get(), p, n); };
    d.finish = [c] {
      Sha1Final(c.get());
      const uint8_t* digest = Sha1Digest(c.get());
      return std::vector<uint8_t>(digest, digest + kSha1DigestSize);
    };
    return true;
  }
  if (name == "sha224" || name == "sha256") {
    const bool is224 = name == "sha224";
    auto c = std::make_shared<SHA256_CONTEXT>();
    (void)(is224 ? Sha224Init(c.get()) : Sha256Init(c.get()));
    d.feed = [c](const uint8_t* p, size_t n) { (void)Sha256Update(c.get(), p, n); };
    d.finish = [c, is224] {
      std::vector<uint8_t> out(is224 ? kSha224DigestSize : kSha256DigestSize);
      (void)(is224 ? Sha224Final(c.get(), out.data(), out.size())
                   : Sha256Final(c.get(), out.data(), out.size()));
      return out;
    };
    return true;
  }
  uint64_t size = 0;
  auto c = std::make_shared<SHA512_CONTEXT>();
  if (name == "sha384") {
    size = kSha384DigestSize;
    (void)Sha384Init(c.get());
  } else if (name == "sha512") {
    size = kSha512DigestSize;
    (void)Sha512Init(c.get());
  } else if (name == "sha512-256") {
    size = kSha512_256DigestSize;
    (void)Sha512_256Init(c.get());
  } else {
    return false;
  }
  d.feed = [c](const uint8_t* p, size_t n) { (void)Sha512Update(c.get(), p, n); };
  d.finish = [c, size] {
    std::vector<uint8_t> out(size);
    (void)Sha512Finish(c.get(), out.data(), out.size(), size);
    return out;
  };
  return true;
}

int DigestCommand(Args args) {
  if (args.size() != 2) return Usage("digest takes ALG FILE");
  Digest digest;
  if (!MakeDigest(args[0], digest)) {
    std::fprintf(stderr, "updprobe: unknown digest '%s'\n", args[0]);
    return kExitUsage;
  }
  const bool from_stdin = std::string_view(args[1]) == "-";
  FILE* in = from_stdin ? stdin : std::fopen(args[1], "rb");
  if (in == nullptr) {
    std::fprintf(stderr, "updprobe: cannot open '%s'\n", args[1]);
    return kExitUsage;
  }
  std::vector<uint8_t> chunk(kChunk);
  size_t n = 0;
  while ((n = std::fread(chunk.data(), 1, chunk.size(), in)) > 0) digest.feed(chunk.data(), n);
  const bool failed = std::ferror(in) != 0;
  if (!from_stdin) std::fclose(in);
  if (failed) {
    std::fprintf(stderr, "updprobe: cannot read '%s'\n", args[1]);
    return kExitUsage;
  }
  for (uint8_t b : digest.finish()) std::printf("%02x", b);
  std::printf("\n");
  return kExitOk;
}

const Registrar kDigest("digest",
                        "digest crc32|md5|sha1|sha224|sha256|sha384|sha512|sha512-256 FILE|-",
                        DigestCommand);

}  // namespace
}  // namespace updprobe
