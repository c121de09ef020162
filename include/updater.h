#ifndef UPDATER_H_
#define UPDATER_H_

/*
 * Host interface of the updater library.
 *
 * The host (the product's service process) loads the library, creates one
 * UPDATER_CONTEXT per update folder and passes an UPDATER_SETTINGS record
 * with every working call. The library answers through return codes
 * (UPD_ERROR, 0 for success), output records and the host's event callback;
 * it reaches the host's scanning engine through an ENGINE_DISPATCH that the
 * host hands out on request, and allocates host-visible results through an
 * ApiAllocator.
 *
 * Every record below is shared with the host byte for byte: integers are
 * little-endian, strings are NUL-terminated UTF-8 in fixed arrays, and the
 * offsets are pinned by the assertions after each record. Fields named
 * reserved* are neither read nor written by the library.
 */

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#define UPD_STATIC_ASSERT(condition) static_assert(condition, #condition)
typedef char16_t UPD_CHAR16;
#else
#define UPD_STATIC_ASSERT(condition) _Static_assert(condition, #condition)
typedef uint_least16_t UPD_CHAR16; /* UTF-16LE code unit */
#endif

/* Callbacks into the host other than the event and mirror callbacks use the
 * Microsoft x64 calling convention. */
#define UPD_MSABI __attribute__((ms_abi))

/* Size of every path buffer, in bytes, including the terminating NUL. */
#define UPD_PATH_SIZE 4096

/* Result of every operation; 0 is success. */
typedef uint32_t UPD_ERROR;

/* Opaque library handle, one per update folder. */
typedef struct UPDATER_CONTEXT UPDATER_CONTEXT;

/* Event callback of the host (System V convention). data points at the
 * event's record below (or is null where the event has none); user is the
 * settings' userData. The meaning of the answer belongs to each event. */
typedef uint32_t (*UpdEventCallback)(uint32_t event, void* data, void* user);

/* Mirror callback (System V convention, the same shape). */
typedef uint32_t (*MirrorCallback)(uint32_t code, void* data, void* context);

/* Host events. */
enum {
  UPD_EVENT_STATUS = 2,                 /* UPD_STATUS_EVENT */
  UPD_EVENT_FILE = 3,                   /* UPD_FILE_EVENT */
  UPD_EVENT_PHASE = 6,                  /* uint32_t phase */
  UPD_EVENT_INSTALL_RESULT = 7,         /* uint32_t value */
  UPD_EVENT_USER_AGENT = 15,            /* 528-byte block */
  UPD_EVENT_UPDATE_GROUPS = 19,         /* update-group query */
  UPD_EVENT_CONFIRM_DOWNLOAD = 20,      /* UPD_CONFIRM_DOWNLOAD_EVENT; 0 declines */
  UPD_EVENT_SERVER_ALLOWED = 23,        /* server address; exactly 1 refuses */
  UPD_EVENT_SERVER_FALLBACK = 25,       /* no data */
  UPD_EVENT_ENGINE_FOR_FOLDER = 26,     /* UPD_ENGINE_FOLDER_EVENT */
  UPD_EVENT_ENGINE_FOR_FOLDER_END = 27, /* UPD_ENGINE_RELEASE_EVENT */
  UPD_EVENT_ENGINE = 28,                /* UPD_ENGINE_REQUEST_EVENT */
  UPD_EVENT_ENGINE_END = 29,            /* UPD_ENGINE_RELEASE_EVENT */
  UPD_EVENT_DEAL_ID = 30,               /* 128-byte buffer; 0 answers */
  UPD_EVENT_OS_INFO = 31,               /* 208-byte block; 0 answers */
  UPD_EVENT_PACKAGES_DOWNLOADED = 32,
  UPD_EVENT_INSTALL_PACKAGE = 41 /* { const char* packagePath } */
};

/* Mirror callback codes and flags. */
enum {
  MIRROR_EVENT_ERROR = 0,
  MIRROR_EVENT_PCU_STAGED = 1,
  MIRROR_EVENT_GET_UPDATE_HASH = 4,
  MIRROR_EVENT_AGREEMENT_PENDING = 5
};
#define MIRROR_FLAG_DEFER_PCUS 0x01u

/* Release channels of UPDATER_SETTINGS.releaseChannel; anything else is
 * production. */
enum { UPD_CHANNEL_PRE_RELEASE = 1, UPD_CHANNEL_DEFERRED = 2 };

/* The record behind UPDATER_SETTINGS.mirrorSettings. */
typedef struct MIRROR_SETTINGS {
  uint32_t enabled; /* 0: a mirror run has nothing to do */
  uint32_t reserved4;
  MirrorCallback callback; /* null: no mirror events */
  void* callbackContext;   /* third argument of every callback call */
  char mirrorFolder[UPD_PATH_SIZE];
  uint8_t flags; /* MIRROR_FLAG_* */
  uint8_t reserved4121[8500 - 4121];
  char sectionNames[24892 - 8500]; /* comma list of application-package sections */
  uint32_t plainOnly;              /* non-zero: only the plain catalogue sections */
  uint32_t mirrorType;             /* 0 all, 1 root, 2 "dll", 3 "dylib" */
} MIRROR_SETTINGS;

UPD_STATIC_ASSERT(offsetof(MIRROR_SETTINGS, enabled) == 0);
UPD_STATIC_ASSERT(offsetof(MIRROR_SETTINGS, callback) == 8);
UPD_STATIC_ASSERT(offsetof(MIRROR_SETTINGS, callbackContext) == 16);
UPD_STATIC_ASSERT(offsetof(MIRROR_SETTINGS, mirrorFolder) == 24);
UPD_STATIC_ASSERT(offsetof(MIRROR_SETTINGS, flags) == 4120);
UPD_STATIC_ASSERT(offsetof(MIRROR_SETTINGS, sectionNames) == 8500);
UPD_STATIC_ASSERT(offsetof(MIRROR_SETTINGS, plainOnly) == 24892);
UPD_STATIC_ASSERT(offsetof(MIRROR_SETTINGS, mirrorType) == 24896);

/* Per-call settings of the host; read-only for the library, which keeps a
 * pointer to it only for the length of the call it came with. */
typedef struct UPDATER_SETTINGS {
  uint32_t reserved0;
  uint32_t flags; /* 0x20 applies the catalogue's probability gate */
  uint8_t reserved8[76 - 8];
  char updateServer[256]; /* "AUTOSELECT", "auto", a URL or a path */
  char secondServer[256]; /* used when no default server is stored */
  char serverUserName[64];
  char serverPassword[64];
  uint32_t proxyEnabled;
  char proxyHost[256];
  uint32_t proxyPort;
  char proxyUserName[64];
  char proxyPassword[64];
  uint32_t proxyDirectRetry; /* after a proxy failure, try once without it */
  uint8_t reserved1112[1248 - 1112];
  uint32_t confirmLargeDownload;   /* non-zero: ask (event 20) before a large download */
  uint32_t largeDownloadLimitKiB;  /* asked when the size exceeds this many KiB */
  MIRROR_SETTINGS* mirrorSettings; /* or null */
  UpdEventCallback eventCallback;  /* null: no events */
  void* userData;                  /* third argument of every event */
  uint8_t reserved1280[1288 - 1280];
  char settingsStore[UPD_PATH_SIZE];  /* "file://" followed by a path */
  char settingsStore2[UPD_PATH_SIZE]; /* passed along with the first, unused */
  uint32_t serverGroup;
  uint32_t releaseChannel; /* UPD_CHANNEL_*; anything else is production */
  uint32_t skipInstalledScan;
  uint32_t reserved9492;
  uint32_t sourceFlagA;
  uint32_t confirmWord1; /* copied into event 20 after the size */
  uint32_t confirmWord2;
  uint8_t reserved9508[9520 - 9508];
  uint32_t develChannel; /* non-zero selects the "devel" channel */
  uint8_t reserved9524[13756 - 9524];
  char language[8];
  char productName[256];
  char productVersion2[32]; /* second dotted version */
  uint32_t repositoryFlags;
  uint32_t backupEnabled;
  uint32_t backupSnapshotsToKeep;
  uint32_t backupDaysBetween;
  uint32_t sourceFlagB;
  uint32_t spreadControl; /* non-zero sends "yes" in the spread-control header */
  uint32_t reserved14076;
} UPDATER_SETTINGS;

UPD_STATIC_ASSERT(offsetof(UPDATER_SETTINGS, flags) == 4);
UPD_STATIC_ASSERT(offsetof(UPDATER_SETTINGS, updateServer) == 76);
UPD_STATIC_ASSERT(offsetof(UPDATER_SETTINGS, secondServer) == 332);
UPD_STATIC_ASSERT(offsetof(UPDATER_SETTINGS, serverUserName) == 588);
UPD_STATIC_ASSERT(offsetof(UPDATER_SETTINGS, serverPassword) == 652);
UPD_STATIC_ASSERT(offsetof(UPDATER_SETTINGS, proxyEnabled) == 716);
UPD_STATIC_ASSERT(offsetof(UPDATER_SETTINGS, proxyHost) == 720);
UPD_STATIC_ASSERT(offsetof(UPDATER_SETTINGS, proxyPort) == 976);
UPD_STATIC_ASSERT(offsetof(UPDATER_SETTINGS, proxyUserName) == 980);
UPD_STATIC_ASSERT(offsetof(UPDATER_SETTINGS, proxyPassword) == 1044);
UPD_STATIC_ASSERT(offsetof(UPDATER_SETTINGS, proxyDirectRetry) == 1108);
UPD_STATIC_ASSERT(offsetof(UPDATER_SETTINGS, confirmLargeDownload) == 1248);
UPD_STATIC_ASSERT(offsetof(UPDATER_SETTINGS, largeDownloadLimitKiB) == 1252);
UPD_STATIC_ASSERT(offsetof(UPDATER_SETTINGS, mirrorSettings) == 1256);
UPD_STATIC_ASSERT(offsetof(UPDATER_SETTINGS, eventCallback) == 1264);
UPD_STATIC_ASSERT(offsetof(UPDATER_SETTINGS, userData) == 1272);
UPD_STATIC_ASSERT(offsetof(UPDATER_SETTINGS, settingsStore) == 1288);
UPD_STATIC_ASSERT(offsetof(UPDATER_SETTINGS, settingsStore2) == 5384);
UPD_STATIC_ASSERT(offsetof(UPDATER_SETTINGS, serverGroup) == 9480);
UPD_STATIC_ASSERT(offsetof(UPDATER_SETTINGS, releaseChannel) == 9484);
UPD_STATIC_ASSERT(offsetof(UPDATER_SETTINGS, skipInstalledScan) == 9488);
UPD_STATIC_ASSERT(offsetof(UPDATER_SETTINGS, sourceFlagA) == 9496);
UPD_STATIC_ASSERT(offsetof(UPDATER_SETTINGS, confirmWord1) == 9500);
UPD_STATIC_ASSERT(offsetof(UPDATER_SETTINGS, confirmWord2) == 9504);
UPD_STATIC_ASSERT(offsetof(UPDATER_SETTINGS, develChannel) == 9520);
UPD_STATIC_ASSERT(offsetof(UPDATER_SETTINGS, language) == 13756);
UPD_STATIC_ASSERT(offsetof(UPDATER_SETTINGS, productName) == 13764);
UPD_STATIC_ASSERT(offsetof(UPDATER_SETTINGS, productVersion2) == 14020);
UPD_STATIC_ASSERT(offsetof(UPDATER_SETTINGS, repositoryFlags) == 14052);
UPD_STATIC_ASSERT(offsetof(UPDATER_SETTINGS, backupEnabled) == 14056);
UPD_STATIC_ASSERT(offsetof(UPDATER_SETTINGS, backupSnapshotsToKeep) == 14060);
UPD_STATIC_ASSERT(offsetof(UPDATER_SETTINGS, backupDaysBetween) == 14064);
UPD_STATIC_ASSERT(offsetof(UPDATER_SETTINGS, sourceFlagB) == 14068);
UPD_STATIC_ASSERT(offsetof(UPDATER_SETTINGS, spreadControl) == 14072);

/* Entry of the host's scanning engine (Microsoft x64 convention): a function
 * id, then that function's arguments; returns the engine's result. */
typedef uint32_t(UPD_MSABI* EngineEntry)(uint32_t functionId, ...);

/* Engine interface handed out by the host through events 26 and 28. The
 * library never reads hostWord; a pair whose two words are not both non-zero
 * stands for "no engine". */
typedef struct ENGINE_DISPATCH {
  uint64_t hostWord;
  EngineEntry entry;
} ENGINE_DISPATCH;

UPD_STATIC_ASSERT(sizeof(ENGINE_DISPATCH) == 16);
UPD_STATIC_ASSERT(offsetof(ENGINE_DISPATCH, entry) == 8);

/* Engine function ids. */
enum {
  ENGINE_FN_APPLY_PATCH = 3011,
  ENGINE_FN_OPEN_MODULE = 3018,
  ENGINE_FN_CLOSE_MODULE = 3020,
  ENGINE_FN_MODULE_VERSION = 3022,
  ENGINE_FN_MODULE_TYPE = 3029,
  ENGINE_FN_PICO_ID = 3042
};

/* Allocator of host-visible results; both entries in the Microsoft x64
 * convention. The library never reads hostWord. */
typedef struct ApiAllocator {
  uint64_t hostWord;
  void*(UPD_MSABI* Allocate)(uint64_t byteCount); /* null on failure */
  void(UPD_MSABI* Free)(void* pointer);           /* null is accepted */
} ApiAllocator;

UPD_STATIC_ASSERT(sizeof(ApiAllocator) == 24);
UPD_STATIC_ASSERT(offsetof(ApiAllocator, Allocate) == 8);
UPD_STATIC_ASSERT(offsetof(ApiAllocator, Free) == 16);

/* Event records. The library zero-fills each record before it sets the
 * fields; the two records with a 64-bit value at offset 8 are packed to
 * their exact sizes (20 and 4124 bytes). */
#pragma pack(push, 4)
typedef struct UPD_STATUS_EVENT { /* event 2 */
  uint32_t kind;
  uint32_t reserved4;
  uint64_t value;
  uint32_t word;
} UPD_STATUS_EVENT;

typedef struct UPD_FILE_EVENT { /* event 3 */
  uint32_t kind;
  uint32_t reserved4;
  uint64_t value;
  uint64_t reserved16;
  char name[UPD_PATH_SIZE];
  uint32_t word;
} UPD_FILE_EVENT;
#pragma pack(pop)

UPD_STATIC_ASSERT(sizeof(UPD_STATUS_EVENT) == 20);
UPD_STATIC_ASSERT(offsetof(UPD_STATUS_EVENT, value) == 8);
UPD_STATIC_ASSERT(offsetof(UPD_STATUS_EVENT, word) == 16);
UPD_STATIC_ASSERT(sizeof(UPD_FILE_EVENT) == 4124);
UPD_STATIC_ASSERT(offsetof(UPD_FILE_EVENT, value) == 8);
UPD_STATIC_ASSERT(offsetof(UPD_FILE_EVENT, name) == 24);
UPD_STATIC_ASSERT(offsetof(UPD_FILE_EVENT, word) == 4120);

typedef struct UPD_CONFIRM_DOWNLOAD_EVENT { /* event 20 */
  uint32_t size;                            /* bytes, saturated at 0xFFFFFFFF */
  uint32_t confirmWord1;
  uint32_t confirmWord2;
} UPD_CONFIRM_DOWNLOAD_EVENT;

UPD_STATIC_ASSERT(sizeof(UPD_CONFIRM_DOWNLOAD_EVENT) == 12);

typedef struct UPD_ENGINE_FOLDER_EVENT { /* event 26 */
  const UPD_CHAR16* folder;              /* 4096 units, ends in '/' */
  ENGINE_DISPATCH* dispatch;             /* zero-filled; the host fills it */
} UPD_ENGINE_FOLDER_EVENT;

typedef struct UPD_ENGINE_REQUEST_EVENT { /* event 28 */
  ENGINE_DISPATCH* dispatch;              /* zero-filled; the host fills it */
} UPD_ENGINE_REQUEST_EVENT;

typedef struct UPD_ENGINE_RELEASE_EVENT { /* events 27 and 29 */
  ENGINE_DISPATCH* dispatch;              /* the pair handed out by event 26 or 28 */
} UPD_ENGINE_RELEASE_EVENT;

UPD_STATIC_ASSERT(sizeof(UPD_ENGINE_FOLDER_EVENT) == 16);
UPD_STATIC_ASSERT(offsetof(UPD_ENGINE_FOLDER_EVENT, dispatch) == 8);
UPD_STATIC_ASSERT(sizeof(UPD_ENGINE_REQUEST_EVENT) == 8);
UPD_STATIC_ASSERT(sizeof(UPD_ENGINE_RELEASE_EVENT) == 8);

#ifdef __cplusplus
}
#endif

#endif /* UPDATER_H_ */
