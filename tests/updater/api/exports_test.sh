#!/usr/bin/env bash
# The shared library exports exactly the host's interface: the 49 Upd
# functions and OpenSSLSharedBuildId, which OpenSSL looks up in its host.
set -euo pipefail
lib=${UPD_LIBRARY:?UPD_LIBRARY not set}
[ -f "$lib" ] || { echo "missing $lib"; exit 1; }

interface=(
  UpdInitialize UpdInitialize2 UpdInitialize3 UpdInitialize4 UpdUninitialize
  UpdAbortUpdate UpdStopUpdates UpdResetUpdate
  UpdLoadUpdateAttemptTime UpdSaveUpdateAttemptTime UpdGetUpdateLastTime UpdGetUpdateLastAttemptTime
  UpdCleanupModules UpdGetScannerVersionEx2 UpdDownloadVERFile UpdRetrieveUpdateHash
  UpdIsMirrorUpdateUrl UpdDeleteDefaultServers UpdSetupEngines
  UpdGetScannerVersion UpdGetScannerVersionEx UpdSetupEngines2 UpdCopyPCUs2Mirror UpdRunSetup
  UpdExtractEULAFromNUP UpdBackupCreateSnapshot
  UpdPerformUpdate
  UpdSwitchUpdateGroup UpdSwitchModulesType
  UpdSetupEngines3 UpdDownloadNups UpdGetListPCUInTempFolder UpdGetListPCUInTempFolderEx
  UpdGetListPcuInTempFolderExEx UpdChangeEULAStatusAsAgreed UpdGetAllPCUs
  UpdGetPicoUpdates UpdPerformPicoUpdate
  UpdPerformMirror UpdPerformFullMirror UpdCopyPcusToMirror
  UpdBackupCreateSnapshot2 UpdBackupRollback UpdBackupIsUpdateBlocked UpdBackupUnblockUpdate
  UpdBackupGetStoredSnapshotsCount
  UpdCheckForAppUpdate UpdPerformAppUpdate3 UpdCheckLastMicroPCU2
)
[ "${#interface[@]}" -eq 49 ] || { echo "the interface table holds ${#interface[@]} names"; exit 1; }

exported=$(nm -D --defined-only "$lib" | awk '{print $NF}' | sort)
expected=$(printf '%s\n' "${interface[@]}" OpenSSLSharedBuildId | sort)

if [ "$exported" != "$expected" ]; then
  echo "exported symbols differ from the interface (< missing, > unexpected):"
  diff <(echo "$expected") <(echo "$exported") | grep '^[<>]' || true
  exit 1
fi

# Every export is declared for the host in updater.h.
header=${UPD_SOURCE_DIR:?UPD_SOURCE_DIR not set}/include/updater.h
for name in "${interface[@]}"; do
  grep -Eq "^UPD_API .*[ *]$name\(" "$header" || { echo "$name is not declared in updater.h"; exit 1; }
done
echo "exports ok"
