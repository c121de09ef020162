#include <cstdio>
#include <string_view>
#include <vector>

#include "command.h"
#include "probe_input.h"
#include "verify/algorithms/hash_algorithm.h"
#include "verify/algorithms/rsa.h"
#include "verify/algorithms/rsa_pkcs1.h"

namespace updprobe {
namespace {

// Key size in bits: the modulus's significant bytes.
uint32_t ModulusBits(const std::vector<uint8_t>& modulus) {
  size_t skip = 0;
  while (skip < modulus.size() && modulus[skip] == 0) ++skip;
  return static_cast<uint32_t>(8 * (modulus.size() - skip));
}

bool Verify(uint32_t hash_id, const std::vector<uint8_t>& modulus,
            const std::vector<uint8_t>& exponent, const std::vector<uint8_t>& message,
            const std::vector<uint8_t>& signature) {
  CountedPtr<RSAImpl> key = CreateRSAImpl();
  CountedPtr<IHashAlgorithm> hash = CreateHashAlgorithm(hash_id);
  if (!key || !hash || !key->InitializeKey(ModulusBits(modulus))) return false;
  RSAParameters parameters;
  if (!parameters.modulus.AssignBytes(modulus) || !parameters.exponent.AssignBytes(exponent) ||
      !key->ImportParameters(parameters)) {
    return false;
  }
  hash->Initialize();
  hash->HashCore(message.data(), 0, message.size());
  if (hash->HashFinal(nullptr, 0, 0) != 0) return false;
  std::span<const uint8_t> digest(hash->GetHash(), hash->GetHashSize());
  return RSAPKCS1VerifySignature(key.Get(), hash.Get(), digest, signature, true);
}

int RsaVerify(Args args) {
  if (args.size() != 5) return Usage("rsa-verify takes HASH MODULUS EXPONENT MESSAGE SIGNATURE");
  uint32_t hash_id = HashIdFromName(args[0]);
  if (hash_id == kHashNone)
    return Usage("rsa-verify: HASH is sha1, sha224, sha256, sha384 or sha512");
  auto modulus = ParseHex(args[1]);
  auto exponent = ParseHex(args[2]);
  auto message = ParseHex(args[3]);
  auto signature = ParseHex(args[4]);
  if (!modulus || !exponent || !message || !signature) return Usage("rsa-verify: bad hexadecimal");
  bool valid = Verify(hash_id, *modulus, *exponent, *message, *signature);
  std::puts(valid ? "valid" : "invalid");
  return valid ? kExitOk : kExitFailure;
}

const Registrar kRsaVerify("rsa-verify", "rsa-verify HASH MODULUS EXPONENT MESSAGE SIGNATURE",
                           RsaVerify);

}  // namespace
}  // namespace updprobe
