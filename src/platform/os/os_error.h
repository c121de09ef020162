#pragma once

#include <cstdint>

// Per-thread last error of the OS layer. Every OS-layer failure records
// {domain, code}; OsGetLastError() translates it into the portable code space
// that every caller tests.

enum OsErrorDomain : uint32_t {
  kOsDomainErrno = 0,     // code is an errno value
  kOsDomainResolver = 1,  // code is a getaddrinfo() result
  kOsDomainOwn = 2,       // code is already portable
};

// Portable codes with a meaning of their own; other errno values map to 29..85.
enum OsPortableError : uint32_t {
  kOsOk = 0,
  kOsFailure = 1,  // also "not supported"
  kOsNoMemory = 2,
  kOsIoError = 3,
  kOsNoErrorSlot = 5,
  kOsTooSmall = 8,  // buffer too small, name too long
  kOsInvalidArgument = 10,
  kOsNotFound = 11,
  kOsAccessDenied = 13,
  kOsTimedOut = 15,  // also "lock busy"
  kOsWouldBlock = 16,
  kOsInterrupted = 17,
  kOsAlreadyExists = 20,
  kOsConnectionRefused = 23,
  kOsLibraryNotFound = 24,
  kOsBrokenPipe = 25,
  kOsNotConnected = 26,
  kOsConnectionReset = 27,
  kOsPermissionDenied = 29,  // EPERM
  kOsExists = 38,            // EEXIST
  kOsCrossDevice = 39,       // EXDEV
  kOsDiskFull = 93,
};

void OsSetLastError(uint32_t domain, uint32_t code);
void OsSetOwnError(uint32_t code);
[[nodiscard]] uint32_t OsGetLastError();

// Records errno (domain 0) as the last error; a shorthand for the common case.
void OsSetErrnoError(int error_number);

// The portable code of an errno value (the table the last error applies).
[[nodiscard]] uint32_t OsPortableFromErrno(int error_number);
