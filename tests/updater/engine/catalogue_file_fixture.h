#pragma once

#include <gtest/gtest.h>

#include <string>

#include "platform/store/profile_cache.h"
#include "support/temp_dir.h"

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

  TempDir dir_;
};

}  // namespace upd::test
