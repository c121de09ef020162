#pragma once

// Helpers for tests of the DER codec and its users: hex fixtures, the PKITS
// corpus from Debian's python3-cryptography-vectors, and a dump of a decoded
// tree in the layout of `openssl asn1parse` so that openssl can be the oracle.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <span>
#include <sstream>
#include <string>
#include <vector>

#include "verify/asn1/asn1.h"
#include "verify/common/byte_array.h"

namespace upd::test {

inline ByteArray BytesOf(const std::string& raw) {
  ByteArray out;
  if (!raw.empty() && !out.Assign(static_cast<int64_t>(raw.size()), raw.data())) return {};
  return out;
}

// "30 03 02 01 05" (spaces optional) to bytes.
inline std::string Unhex(const std::string& hex) {
  std::string out;
  int high = -1;
  for (const char c : hex) {
    int v = -1;
    if (c >= '0' && c <= '9') v = c - '0';
    if (c >= 'a' && c <= 'f') v = c - 'a' + 10;
    if (c >= 'A' && c <= 'F') v = c - 'A' + 10;
    if (v < 0) continue;
    if (high < 0) {
      high = v;
    } else {
      out.push_back(static_cast<char>(high * 16 + v));
      high = -1;
    }
  }
  return out;
}

inline ByteArray Hex(const std::string& hex) { return BytesOf(Unhex(hex)); }

inline std::string ToHex(std::span<const uint8_t> bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  for (const uint8_t b : bytes) {
    out.push_back(kDigits[b >> 4]);
    out.push_back(kDigits[b & 15]);
  }
  return out;
}

inline std::string PkitsDir() {
  return "/usr/lib/python3/dist-packages/cryptography_vectors/x509/PKITS_data";
}

// Every file with the given ending under a PKITS sub-folder, sorted.
inline std::vector<std::string> PkitsFiles(const std::string& folder, const std::string& ending) {
  std::vector<std::string> files;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(PkitsDir() + "/" + folder, ec)) {
    const std::string path = entry.path().string();
    if (path.size() >= ending.size() &&
        path.compare(path.size() - ending.size(), ending.size(), ending) == 0) {
      files.push_back(path);
    }
  }
  std::sort(files.begin(), files.end());
  return files;
}

// One line per node, "offset:depth:header-length:length:cons|prim", the
// fields of `openssl asn1parse` ("inf" for an indefinite length).
inline void DumpTree(const ASN1& node, const uint8_t* base, int depth, std::ostringstream& out) {
  const uint8_t* element = node.Encoding().GetData();
  const uint8_t* content = node.Value().GetData();
  out << (element - base) << ":" << depth << ":" << (content - element) << ":";
  if ((node.GetFlags() & ASN1::kFlagIndefinite) != 0) {
    out << "inf";
  } else {
    out << node.GetValueLength();
  }
  out << ":" << (node.IsConstructed() ? "cons" : "prim") << "\n";
  for (int64_t i = 0; i < node.GetChildCount(); ++i) {
    DumpTree(*node.GetChild(i), base, depth + 1, out);
  }
}

inline std::string DumpTree(const ASN1& root) {
  std::ostringstream out;
  DumpTree(root, root.Encoding().GetData(), 0, out);
  return out.str();
}

// The same fields from the output of `openssl asn1parse`.
inline std::string DumpAsn1Parse(const std::string& output) {
  std::ostringstream out;
  std::istringstream in(output);
  std::string line;
  while (std::getline(in, line)) {
    long offset = 0;
    int depth = 0;
    long header = 0;
    char length[16] = {};
    if (std::sscanf(line.c_str(), " %ld:d=%d hl=%ld l=%15s", &offset, &depth, &header, length) !=
        4) {
      continue;
    }
    const char* form = line.find("cons:") != std::string::npos ? "cons" : "prim";
    out << offset << ":" << depth << ":" << header << ":" << length << ":" << form << "\n";
  }
  return out.str();
}

}  // namespace upd::test
