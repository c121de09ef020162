#include "platform/os/os_temp.h"

#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <vector>

#include "platform/os/os_error.h"
#include "platform/os/os_path.h"

namespace {

const char* TempRoot() {
  const char* folder = getenv("TMPDIR");
  return folder != nullptr ? folder : "/tmp";
}

}  // namespace

int OsGetTempFolder(char* buffer, size_t size) {
  std::snprintf(buffer, size, "%s", TempRoot());
  OsAppendSlash(buffer, size);
  return 0;
}

int OsGetTempFileName(const char* prefix, char* result, size_t size, const char* folder) {
  if (size == 0) {
    OsSetOwnError(kOsTooSmall);
    return -1;
  }
  std::vector<char> work(size);
  std::snprintf(work.data(), size, "%s", folder != nullptr ? folder : TempRoot());
  OsAppendSlash(work.data(), size);
  std::snprintf(result, size, "%s%s.XXXXXX", work.data(), prefix);
  const int fd = mkstemp64(result);
  if (fd < 0) {
    OsSetErrnoError(errno);
    return -1;
  }
  close(fd);
  return 0;
}
