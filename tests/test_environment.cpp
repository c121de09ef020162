// Linked into every GoogleTest executable: gives each test process the same
// environment the shell and Python checks get from ctest, so a test run
// straight from the build tree finds the same tools. ctest cannot pass a
// list of variables through discovered GoogleTest cases.
#include <cstdlib>

namespace {

struct TestEnvironment {
  TestEnvironment() {
    setenv("UPD_SOURCE_DIR", UPD_ENV_SOURCE_DIR, 0);
    setenv("UPD_BINARY_DIR", UPD_ENV_BINARY_DIR, 0);
    setenv("UPDPROBE", UPD_ENV_UPDPROBE, 0);
    setenv("UPD_LIBRARY", UPD_ENV_LIBRARY, 0);
    setenv("PYTHON3", UPD_ENV_PYTHON3, 0);
  }
};

const TestEnvironment kEnvironment;

}  // namespace
