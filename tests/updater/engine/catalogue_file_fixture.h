#pragma once

#include <gtest/gtest.h>

#include <string>

#include "platform/store/profile_cache.h"
#include "support/temp_dir.h"
#include "updater/engine/catalogue/catalogue.h"

namespace upd::test {

// A test folder for catalogue files. The profile cache is emptied before and
// after each test, so that no catalogue read through it outlives the test.
class CatalogueTest : public ::testing::Test {
 protected:
  CatalogueTest() { ProfileCacheClear(); }
  ~CatalogueTest() override { ProfileCacheClear(); }

  // Writes text as the file name in the test folder and returns its path.
  std::string WriteCatalogue(const std::string& text, const std::string& name = "upd.ver") {
    const std::string path = dir_.file(name);
    WriteFile(path, text);
    ProfileCacheRemoveFile(path.c_str());
    return path;
  }

  // The catalogue of text as the catalogue step hands it on, without a file.
  static Catalogue InMemory(const std::string& text) {
    return Catalogue::FromText(text, CatalogueTrust::kUnchecked);
  }
  // The catalogue read from the file at path.
  static Catalogue FromPath(const std::string& path) {
    return Catalogue::FromFile(path.c_str(), CatalogueTrust::kUnchecked);
  }
  // The catalogue read from the file name in the test folder (none there
  // gives one that did not load).
  Catalogue FromTestFile(const std::string& name) const {
    return Catalogue::FromFile(dir_.file(name).c_str(), CatalogueTrust::kUnchecked);
  }

  TempDir dir_;
};

}  // namespace upd::test
