#include <cstdio>
#include <optional>
#include <string_view>
#include <vector>

#include "command.h"
#include "probe_input.h"
#include "verify/algorithms/ecdsa.h"
#include "verify/algorithms/hash_algorithm.h"

namespace updprobe {
namespace {

uint32_t CurveIdFromName(std::string_view name) {
  if (name == "p256") return kCurveP256;
  if (name == "p384") return kCurveP384;
  if (name == "p521") return kCurveP521;
  return 0;
}

// One coordinate, left-padded to the curve's size; false when it is longer.
bool AppendCoordinate(std::vector<uint8_t> value, size_t size, std::vector<uint8_t>& point) {
  size_t skip = 0;
  while (skip < value.size() && value.size() - skip > size && value[skip] == 0) ++skip;
  if (value.size() - skip > size) return false;
  point.insert(point.end(), size - (value.size() - skip), 0);
  point.insert(point.end(), value.begin() + static_cast<std::ptrdiff_t>(skip), value.end());
  return true;
}

struct Inputs {
  uint32_t curve = 0;
  uint32_t hash = kHashNone;
  std::vector<uint8_t> x;
  std::vector<uint8_t> y;
  std::vector<uint8_t> message;
  std::vector<uint8_t> signature;
};

// Parses the six arguments; a usage exit code on failure, else nullopt.
std::optional<int> ParseInputs(std::string_view name, Args args, Inputs& in) {
  if (args.size() != 6) return Usage(std::string(name) + " takes CURVE HASH X Y MESSAGE SIGNATURE");
  in.curve = CurveIdFromName(args[0]);
  in.hash = HashIdFromName(args[1]);
  if (in.curve == 0) return Usage(std::string(name) + ": CURVE is p256, p384 or p521");
  if (in.hash == kHashNone) {
    return Usage(std::string(name) + ": HASH is sha1, sha224, sha256, sha384 or sha512");
  }
  auto x = ParseHex(args[2]);
  auto y = ParseHex(args[3]);
  auto message = ParseHex(args[4]);
  auto signature = ParseHex(args[5]);
  if (!x || !y || !message || !signature) return Usage(std::string(name) + ": bad hexadecimal");
  in.x = std::move(*x);
  in.y = std::move(*y);
  in.message = std::move(*message);
  in.signature = std::move(*signature);
  return std::nullopt;
}

bool Verify(const Inputs& in, bool raw) {
  ECCDSA key(in.curve);
  const size_t size = key.GetParameters().coordinate_bytes;
  std::vector<uint8_t> point{0x04};
  if (!AppendCoordinate(in.x, size, point) || !AppendCoordinate(in.y, size, point) ||
      !key.ImportPublicKey(point)) {
    return false;
  }
  CountedPtr<IHashAlgorithm> hash = CreateHashAlgorithm(in.hash);
  if (!hash) return false;
  hash->Initialize();
  hash->HashCore(in.message.data(), 0, in.message.size());
  if (hash->HashFinal(nullptr, 0, 0) != 0) return false;
  std::span<const uint8_t> digest(hash->GetHash(), hash->GetHashSize());
  if (!raw) return key.VerifyHash(digest, in.signature) == kEcdsaValid;
  if (in.signature.size() != 2 * size) return false;
  std::span<const uint8_t> rs(in.signature);
  return key.VerifyHashRaw(digest, rs.first(size), rs.last(size)) == kEcdsaValid;
}

int Run(std::string_view name, Args args, bool raw) {
  Inputs in;
  if (std::optional<int> usage = ParseInputs(name, args, in)) return *usage;
  bool valid = Verify(in, raw);
  std::puts(valid ? "valid" : "invalid");
  return valid ? kExitOk : kExitFailure;
}

int EcdsaVerify(Args args) { return Run("ecdsa-verify", args, false); }
int EcdsaVerifyRaw(Args args) { return Run("ecdsa-verify-raw", args, true); }

const Registrar kEcdsaVerify("ecdsa-verify", "ecdsa-verify CURVE HASH X Y MESSAGE SIGNATURE",
                             EcdsaVerify);
const Registrar kEcdsaVerifyRaw("ecdsa-verify-raw",
                                "ecdsa-verify-raw CURVE HASH X Y MESSAGE SIGNATURE(r||s)",
                                EcdsaVerifyRaw);

}  // namespace
}  // namespace updprobe
