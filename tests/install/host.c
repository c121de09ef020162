/* The smallest host, built against an installed updater.h and libupdater.so:
 * no context without a data folder; a context whose update time goes through
 * its settings store; an export kept as a stub. Exit 0 when all hold. */
#include <stdio.h>
#include <time.h>
#include <updater.h>

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  if (UpdInitialize("", argv[2], "1.0.0.0", "install check") != NULL) return 1;
  UPDATER_CONTEXT* context = UpdInitialize(argv[1], argv[2], "1.0.0.0", "install check");
  if (context == NULL) return 1;
  static UPDATER_SETTINGS settings;
  snprintf(settings.settingsStore, sizeof settings.settingsStore, "file://%s/settings.ini", argv[1]);
  const uint64_t before = (uint64_t)time(NULL);
  UpdSaveUpdateAttemptTime(context, &settings);
  UpdLoadUpdateAttemptTime(context, &settings);
  const uint64_t saved = UpdGetUpdateLastTime(context);
  UpdUninitialize(context);
  const UPD_ERROR stub = UpdRunSetup();
  printf("host: update time %llu (saved at %llu), UpdRunSetup %u\n", (unsigned long long)saved,
         (unsigned long long)before, stub);
  return saved >= before && saved <= before + 60 && stub == 3 ? 0 : 1;
}
