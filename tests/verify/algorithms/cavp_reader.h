#pragma once

#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace upd::test {

// One test record of a NIST CAVP response file: the bracketed section it sits
// in and its "key = value" lines (the section's own lines carry over).
struct CavpRecord {
  std::string section;
  std::map<std::string, std::string> fields;
};

inline std::string CavpVectorPath(const std::string& relative) {
  return "/usr/lib/python3/dist-packages/cryptography_vectors/" + relative;
}

// Reads a .rsp file; a record ends at its "Result" line.
inline std::vector<CavpRecord> ReadCavpFile(const std::string& path) {
  std::vector<CavpRecord> records;
  std::ifstream in(path);
  CavpRecord current;
  std::map<std::string, std::string> section_fields;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    if (line[0] == '[') {
      current.section = line.substr(1, line.find(']') - 1);
      section_fields.clear();
      current.fields.clear();
      continue;
    }
    size_t eq = line.find(" = ");
    if (eq == std::string::npos) continue;
    std::string key = line.substr(0, eq);
    std::string value = line.substr(eq + 3);
    current.fields[key] = value;
    if (key == "n") section_fields[key] = value;
    if (key == "Result") {
      for (const auto& [k, v] : section_fields) current.fields.emplace(k, v);
      records.push_back(current);
      current.fields.clear();
    }
  }
  return records;
}

}  // namespace upd::test
