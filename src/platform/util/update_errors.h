#pragma once

#include <cstdint>

#include "updater.h"

// UPD_ERROR values, grouped by their high hexadecimal digit: 0x1xxx files and
// data, 0x2xxx downloads and servers, 0x3xxx arguments, resources and state,
// 0x4xxx the engine, 0x5xxx outcomes, 0x7xxx backup.
enum [[nodiscard]] UpdError : UPD_ERROR {
  kUpdOk = 0,
  kUpdResultTooSmall = 2,
  kUpdNotSupported = 3,
  kUpdBusy = 0x1001,
  kUpdNoUniqueName = 0x1002,
  kUpdBadCompressedData = 0x1004,
  kUpdMissing = 0x1011,
  kUpdBadFile = 0x1012,
  kUpdReadFailed = 0x1013,
  kUpdEmptyFile = 0x1014,
  kUpdTempFileFailed = 0x1015,
  kUpdOpenFailed = 0x1016,
  kUpdWriteFailed = 0x1017,
  kUpdFolderFailed = 0x1018,
  kUpdBadEncoding = 0x1019,
  kUpdCopyFailed = 0x101A,
  kUpdEngineFileFailed = 0x101D,
  kUpdMoveFailed = 0x101E,
  kUpdDiskFull = 0x1020,
  kUpdDeleteFailed = 0x1021,
  kUpdSignatureMismatch = 0x1101,
  kUpdNoInstalledModule = 0x1102,
  kUpdEngineDataFailed = 0x1105,
  kUpdNotAllInstalled = 0x1106,
  kUpdInstallAborted = 0x1107,
  kUpdBadRequestKind = 0x1202,
  kUpdUnsupportedScheme = 0x1203,
  kUpdSourceUnreadable = 0x1204,
  kUpdMirrorFallbackRefused = 0x1206,  // the host declined event 25 for a mirror
  kUpdInvalidArgument = 0x1301,
  kUpdAccessDenied = 0x2001,       // also HTTP 401
  kUpdProxyAuthRequired = 0x2002,  // HTTP 407
  kUpdForbidden = 0x2003,          // HTTP 403
  // A server asked for credentials: that of a mirror, or one the host gave
  // no user name for.
  kUpdMirrorAccessDenied = 0x2004,
  kUpdNoUserName = 0x2005,
  kUpdServerUnreachable = 0x2101,
  kUpdBadResponse = 0x2102,  // not an HTTP answer, or a head beyond its limits
  kUpdNotFound = 0x2103,     // HTTP 404, 410; also no backup snapshot of a timestamp
  kUpdServerError = 0x2104,  // HTTP 5xx
  kUpdConnectionClosed = 0x2105,
  kUpdRedirect = 0x2106,
  kUpdStopped = 0x2107,
  kUpdNotModified = 0x2108,
  kUpdServiceUnavailable = 0x210A,   // HTTP 503
  kUpdRangeRefused = 0x210B,         // HTTP 416
  kUpdMethodNotAllowed = 0x210C,     // HTTP 405
  kUpdNetworkAuthRequired = 0x210D,  // HTTP 511
  kUpdTlsMissing = 0x2110,
  kUpdTlsFailed = 0x2111,
  kUpdCategoryMissing = 0x2201,  // the catalogue offers nothing of the wanted category
  kUpdNoUpdateHash = 0x2202,
  kUpdInvalidRequest = 0x2301,
  kUpdBufferTooSmall = 0x2302,
  kUpdNoContext = 0x3001,
  kUpdOutOfMemory = 0x3101,
  kUpdCannotConnect = 0x3103,
  kUpdSettingsUnreadable = 0x3104,
  kUpdSettingsNotWritten = 0x3105,
  kUpdNoMirrorSettings = 0x3303,
  kUpdNoSettings = 0x3304,
  kUpdNoEventCallback = 0x3305,
  kUpdNoMirrorCallback = 0x3306,
  kUpdMirrorEmpty = 0x3401,       // no package in the mirror yet
  kUpdMirrorPassFailed = 0x3403,  // also: a category no catalogue holds
  kUpdPcuNotAgreed = 0x3404,
  kUpdMirrorAborted = 0x3406,
  kUpdEngineFailed = 0x4001,
  kUpdEngineUnavailable = 0x4002,
  kUpdNotPending = 0x5002,
  kUpdNothingNew = 0x5003,
  kUpdGroupSwitchIncomplete = 0x5006,
  kUpdNoGroupChange = 0x5007,
  kUpdHostInstalling = 0x5008,     // the host goes on installing after the call
  kUpdInstallDeferred = 0x500A,    // the host leaves the installation for later
  kUpdAgreementRequired = 0x500B,  // a new licence agreement must be shown first
  kUpdNothingToDo = 0x500C,
  kUpdUpdatesBlocked = 0x7000,
  kUpdNoSnapshot = 0x7001,
  kUpdBlockMoved = 0x7002,
};

// A code that reached here as a plain UPD_ERROR (a host's answer, a record
// field, a step not yet typed), taken back into the enum unchanged.
constexpr UpdError UpdErrorOf(UPD_ERROR code) { return static_cast<UpdError>(code); }
