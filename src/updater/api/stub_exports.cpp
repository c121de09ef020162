#include "platform/util/update_errors.h"
#include "updater.h"

// Exports that this build does not support; they ignore their arguments.

UPD_ERROR UpdGetScannerVersion() { return kUpdNotSupported; }
UPD_ERROR UpdGetScannerVersionEx() { return kUpdNotSupported; }
UPD_ERROR UpdSetupEngines2() { return kUpdNotSupported; }
UPD_ERROR UpdCopyPCUs2Mirror() { return kUpdNotSupported; }
UPD_ERROR UpdRunSetup() { return kUpdNotSupported; }
UPD_ERROR UpdExtractEULAFromNUP() { return kUpdNotSupported; }
UPD_ERROR UpdBackupCreateSnapshot() { return kUpdNotSupported; }

UPD_ERROR UpdSetupEngines() { return UpdSetupEngines2(); }
