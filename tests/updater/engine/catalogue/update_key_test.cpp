#include "updater/engine/catalogue/update_key.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "support/sign_kit.h"
#include "support/temp_dir.h"

namespace upd::test {
namespace {

std::string Hex(std::span<const uint8_t> bytes) {
  std::string out;
  char digits[3];
  for (uint8_t b : bytes) {
    std::snprintf(digits, sizeof(digits), "%02X", b);
    out += digits;
  }
  return out;
}

std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> fields;
  std::stringstream in(line);
  std::string field;
  while (std::getline(in, field, ':')) fields.push_back(field);
  return fields;
}

// What gpg reads from the trust folder's update-key.pgp: the primary key's
// ID, fingerprint and numbers ("pkd" records: index, bits, hex value).
struct GpgReport {
  std::string key_id;
  std::string fingerprint;
  std::map<std::string, std::vector<std::string>> numbers;
};

GpgReport ReportOfUpdateKey() {
  TempDir home;
  std::string out;
  const std::string command = "gpg --homedir '" + home.path().string() +
                              "' --batch --with-colons --with-key-data --import-options "
                              "show-only --import '" + TrustFolder() + "/update-key.pgp' 2>/dev/null";
  EXPECT_EQ(RunCommand(command, &out), 0);
  GpgReport report;
  std::stringstream lines(out);
  std::string line;
  while (std::getline(lines, line)) {
    const std::vector<std::string> f = Fields(line);
    if (f.empty()) continue;
    if (f[0] == "pub" && f.size() > 4 && report.key_id.empty()) report.key_id = f[4];
    if (f[0] == "fpr" && f.size() > 9 && report.fingerprint.empty()) report.fingerprint = f[9];
    if (f[0] == "pkd" && f.size() > 3 && !report.numbers.count(f[1])) {
      report.numbers[f[1]] = {f[2], f[3]};
    }
  }
  return report;
}

TEST(UpdateKeyTest, EmbeddedKeyIsTheTrustFoldersUpdateKey) {
  const GpgReport gpg = ReportOfUpdateKey();
  ASSERT_EQ(gpg.fingerprint.size(), 40u);
  const EmbeddedPgpKey& key = EmbeddedUpdateKey();
  EXPECT_EQ(Hex(key.key_id), gpg.key_id);
  EXPECT_EQ(Hex(key.key_id), gpg.fingerprint.substr(24));
  ASSERT_EQ(gpg.numbers.count("0"), 1u);
  ASSERT_EQ(gpg.numbers.count("1"), 1u);
  EXPECT_EQ(std::to_string(key.modulus_bits), gpg.numbers.at("0")[0]);
  EXPECT_EQ(Hex(key.modulus), gpg.numbers.at("0")[1]);
  EXPECT_EQ(std::to_string(key.exponent_bits), gpg.numbers.at("1")[0]);
  EXPECT_EQ(Hex(key.exponent), gpg.numbers.at("1")[1]);
  EXPECT_EQ(key.modulus_bits, 2048u);
  EXPECT_EQ(key.exponent_bits, 17u);
}

}  // namespace
}  // namespace upd::test
