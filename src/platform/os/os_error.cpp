#include "platform/os/os_error.h"

#include <netdb.h>

#include <cerrno>
#include <utility>

namespace {

struct LastError {
  uint32_t domain = 0;
  uint32_t code = 0;
};

// Language-level thread-local storage: the record exists from the thread's
// first use and is released with the thread.
thread_local LastError t_last_error;

// errno values with a portable code of their own; anything else is 1.
constexpr std::pair<int, uint32_t> kErrnoTable[] = {
    {0, kOsOk},
    {ENOMEM, kOsNoMemory},
    {EIO, kOsIoError},
    {ERANGE, kOsTooSmall},
    {ENAMETOOLONG, kOsTooSmall},
    {EINVAL, kOsInvalidArgument},
    {EFAULT, kOsInvalidArgument},
    {ENOENT, kOsNotFound},
    {ENOTDIR, kOsNotFound},
    {EACCES, kOsAccessDenied},
    {ETIMEDOUT, kOsTimedOut},
    {EAGAIN, kOsWouldBlock},
    {EINPROGRESS, kOsWouldBlock},
    {EINTR, kOsInterrupted},
    {ECONNREFUSED, kOsConnectionRefused},
    {EPIPE, kOsBrokenPipe},
    {ENOTCONN, kOsNotConnected},
    {ECONNRESET, kOsConnectionReset},
    {ENOSPC, kOsDiskFull},
    // The remaining named values take 29..85 in errno order (47 unused).
    {EPERM, 29},
    {ESRCH, 30},
    {ENXIO, 31},
    {E2BIG, 32},
    {ENOEXEC, 33},
    {EBADF, 34},
    {ECHILD, 35},
    {ENOTBLK, 36},
    {EBUSY, 37},
    {EEXIST, 38},
    {EXDEV, 39},
    {ENODEV, 40},
    {EISDIR, 41},
    {ENFILE, 42},
    {EMFILE, 43},
    {ENOTTY, 44},
    {ETXTBSY, 45},
    {EFBIG, 46},
    {ESPIPE, 48},
    {EROFS, 49},
    {EMLINK, 50},
    {ENOSYS, 51},
    {ENOTEMPTY, 52},
    {ELOOP, 53},
    {ENOMSG, 54},
    {ENODATA, 55},
    {ETIME, 56},
    {ENONET, 57},
    {EPROTO, 58},
    {EBADMSG, 59},
    {EOVERFLOW, 60},
    {EBADFD, 61},
    {EUSERS, 62},
    {ENOTSOCK, 63},
    {EDESTADDRREQ, 64},
    {EMSGSIZE, 65},
    {EPROTOTYPE, 66},
    {ENOPROTOOPT, 67},
    {EPROTONOSUPPORT, 68},
    {ESOCKTNOSUPPORT, 69},
    {EPFNOSUPPORT, 70},
    {EAFNOSUPPORT, 71},
    {EADDRINUSE, 72},
    {EADDRNOTAVAIL, 73},
    {ENETDOWN, 74},
    {ENETUNREACH, 75},
    {ENETRESET, 76},
    {ECONNABORTED, 77},
    {ENOBUFS, 78},
    {EHOSTDOWN, 79},
    {EHOSTUNREACH, 80},
    {EALREADY, 81},
    {EREMOTEIO, 82},
    {EDQUOT, 83},
    {ENOMEDIUM, 84},
    {ECANCELED, 85},
};

}  // namespace

uint32_t OsPortableFromErrno(int error_number) {
  for (const auto& [value, portable] : kErrnoTable) {
    if (value == error_number) return portable;
  }
  return kOsFailure;
}

void OsSetLastError(uint32_t domain, uint32_t code) { t_last_error = {domain, code}; }

void OsSetOwnError(uint32_t code) { OsSetLastError(kOsDomainOwn, code); }

void OsSetErrnoError(int error_number) {
  OsSetLastError(kOsDomainErrno, static_cast<uint32_t>(error_number));
}

uint32_t OsGetLastError() {
  const LastError e = t_last_error;
  switch (e.domain) {
    case kOsDomainErrno:
      return OsPortableFromErrno(static_cast<int>(e.code));
    case kOsDomainResolver:
      return static_cast<int>(e.code) == EAI_MEMORY ? kOsNoMemory : kOsFailure;
    default:
      return e.code;
  }
}
