#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "../api/library_fixture.h"
#include "support/python_oracle.h"
#include "testhost/engine_standin.h"

namespace upd::test {

// WriteFile into a folder that may not exist yet.
inline void WriteCreating(const std::string& path, const std::string& content) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  WriteFile(path, content);
}

// Dumps an XML file line by line with Python's own parser: each element as
// its depth in blanks, its tag and its attributes in file order; nothing
// when the file does not parse.
inline std::vector<std::string> DumpXml(const std::string& path) {
  static const char* const kProgram = R"(import sys, xml.etree.ElementTree as ET
path = open(sys.argv[1]).read().strip()
def dump(element, depth):
    attributes = ''.join(' %s=%s' % item for item in element.attrib.items())
    print(' ' * depth + element.tag + attributes)
    for child in element:
        dump(child, depth + 1)
dump(ET.parse(path).getroot(), 0)
)";
  return RunPythonOracle(kProgram, {path});
}

// A library context whose host serves the engine stand-in, with modules in
// the stand-in's format and views of the backup folder.
class BackupFixture : public LibraryFixture {
 protected:
  void SetUp() override {
    LibraryFixture::SetUp();
    engine_.ServeThrough(host_);
    host_.settings()->backupSnapshotsToKeep = 0xFFFFFFFF;
  }

  // An engine module of the scanner's kind (id 3) on x64.
  static testhost::ModuleFacts Module(const std::string& name, uint32_t build, uint32_t type = 3) {
    return {name, type, 1, build, std::to_string(build)};
  }

  // Writes a module file into the modules folder; returns its content.
  std::string Install(const std::string& file, const testhost::ModuleFacts& facts,
                      const std::string& payload = "payload") {
    const std::string content = testhost::ModuleFileText(facts, payload);
    WriteFile(Modules() + "/" + file, content);
    return content;
  }

  std::string Backup() const { return Data() + "/backup"; }
  std::string Database() const { return Backup() + "/db.xml"; }
  std::string Config() const { return Backup() + "/config.xml"; }

  UPD_ERROR Snapshot() { return LIB(UpdBackupCreateSnapshot2)(context_, host_.settings()); }
  UPD_ERROR Rollback(uint32_t until) { return LIB(UpdBackupRollback)(context_, until); }
  int32_t Count() { return LIB(UpdBackupGetStoredSnapshotsCount)(context_); }

  // Names of the entries of the backup folder, sorted.
  std::vector<std::string> BackupEntries() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(Backup())) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  // The TIMESTAMP texts of db.xml in document order.
  std::vector<std::string> Timestamps() const {
    std::vector<std::string> stamps;
    for (const std::string& line : DumpXml(Database())) {
      if (line.rfind(" SNAPSHOT TIMESTAMP=", 0) == 0) stamps.push_back(line.substr(20));
    }
    return stamps;
  }

  static uint32_t Now() { return static_cast<uint32_t>(std::time(nullptr)); }

  testhost::EngineStandIn engine_;
};

}  // namespace upd::test
