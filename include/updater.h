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

/* The library's exported functions (System V convention). */
#define UPD_API __attribute__((visibility("default")))

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

/* Phases of a working call, reported through event 6. */
enum {
  UPD_PHASE_IDLE = 0,
  UPD_PHASE_CHECKING = 1,
  UPD_PHASE_DOWNLOADING = 2,
  UPD_PHASE_INSTALLING = 3,
  UPD_PHASE_APP_UPDATE = 6,
  UPD_PHASE_FINISHING = 7
};

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

/* Host-visible containers of results. The host allocates them and names
 * the allocator that owns their blocks; the library grows them only through
 * that allocator, so the host frees everything with its own. Records that
 * hold them are packed to 4-byte alignment: a member starts at the next
 * multiple of 4 after the one before it. */
#pragma pack(push, 4)

/* A string: up to 15 bytes inline, longer text in a block of capacity + 1
 * bytes from the allocator. The text is always NUL-terminated; an empty
 * string has length 0 and capacity 15. */
typedef struct HOST_STRING {
  union {
    char inlineText[16]; /* capacity 15 */
    char* heapText;      /* capacity above 15 */
  };
  uint64_t length;   /* bytes, without the NUL */
  uint64_t capacity; /* bytes, without the NUL; 15 while inline */
  const ApiAllocator* allocator;
} HOST_STRING;

/* An array of one element type: a block of capacity elements from the
 * allocator (null while the capacity is 0), the first count in use. */
typedef struct HOST_ARRAY {
  void* elements;
  uint64_t count;
  uint64_t capacity;
  const ApiAllocator* allocator;
} HOST_ARRAY;

/* Steps of an application update run, in StepResult.step. */
enum {
  UPD_STEP_APPLICATION = 1,
  UPD_STEP_APPLICATION_2 = 2,
  UPD_STEP_PRODUCTS = 4,
  UPD_STEP_AGREEMENT = 8
};

/* One outcome of an application update run (element of a HOST_ARRAY). */
typedef struct StepResult {
  uint32_t cbSize; /* 12 */
  UPD_ERROR code;
  uint32_t step; /* UPD_STEP_* */
} StepResult;

/* One update found by UpdCheckForAppUpdate (element of a HOST_ARRAY). The
 * strings use the library's own allocator. */
typedef struct APP_UPDATE_INFO {
  uint32_t cbSize; /* 400 */
  uint32_t productWord;
  HOST_STRING id;
  HOST_STRING version;
  HOST_STRING documentUrl; /* licence agreement document */
  HOST_STRING agreementHash;
  HOST_STRING documentHash;
  int32_t severity;
  uint32_t reserved212;
  int64_t date;
  uint64_t size; /* of the package, in bytes */
  HOST_STRING changelogUrl;
  HOST_STRING agreementName;
  HOST_STRING agreementVersion;
  uint32_t agreementLevel;
  HOST_STRING effectiveDate; /* of the agreement document */
  uint32_t reserved396;
} APP_UPDATE_INFO;

#pragma pack(pop)

UPD_STATIC_ASSERT(sizeof(HOST_STRING) == 40);
UPD_STATIC_ASSERT(offsetof(HOST_STRING, length) == 16);
UPD_STATIC_ASSERT(offsetof(HOST_STRING, capacity) == 24);
UPD_STATIC_ASSERT(offsetof(HOST_STRING, allocator) == 32);
UPD_STATIC_ASSERT(sizeof(HOST_ARRAY) == 32);
UPD_STATIC_ASSERT(offsetof(HOST_ARRAY, count) == 8);
UPD_STATIC_ASSERT(offsetof(HOST_ARRAY, capacity) == 16);
UPD_STATIC_ASSERT(offsetof(HOST_ARRAY, allocator) == 24);
UPD_STATIC_ASSERT(sizeof(StepResult) == 12);
UPD_STATIC_ASSERT(sizeof(APP_UPDATE_INFO) == 400);
UPD_STATIC_ASSERT(offsetof(APP_UPDATE_INFO, id) == 8);
UPD_STATIC_ASSERT(offsetof(APP_UPDATE_INFO, version) == 48);
UPD_STATIC_ASSERT(offsetof(APP_UPDATE_INFO, documentUrl) == 88);
UPD_STATIC_ASSERT(offsetof(APP_UPDATE_INFO, agreementHash) == 128);
UPD_STATIC_ASSERT(offsetof(APP_UPDATE_INFO, documentHash) == 168);
UPD_STATIC_ASSERT(offsetof(APP_UPDATE_INFO, severity) == 208);
UPD_STATIC_ASSERT(offsetof(APP_UPDATE_INFO, date) == 216);
UPD_STATIC_ASSERT(offsetof(APP_UPDATE_INFO, size) == 224);
UPD_STATIC_ASSERT(offsetof(APP_UPDATE_INFO, changelogUrl) == 232);
UPD_STATIC_ASSERT(offsetof(APP_UPDATE_INFO, agreementName) == 272);
UPD_STATIC_ASSERT(offsetof(APP_UPDATE_INFO, agreementVersion) == 312);
UPD_STATIC_ASSERT(offsetof(APP_UPDATE_INFO, agreementLevel) == 352);
UPD_STATIC_ASSERT(offsetof(APP_UPDATE_INFO, effectiveDate) == 356);

/* Record of UpdInitialize4. */
typedef struct UPDATER_INIT_PARAMS {
  uint32_t cbSize; /* 88; not tested */
  uint32_t reserved4;
  const char* modulesFolder; /* required */
  const char* engineFolder;  /* required */
  const char* dataFolder;    /* required */
  const char* picoFolder;    /* null or empty: no pico updates */
  const char* appVersion;    /* dotted; up to 31 characters are kept */
  const char* hostString64;  /* up to 63 characters are kept */
  const char* hostString256; /* up to 255 characters are kept */
  uint32_t hostWord;
  uint32_t reserved68;
  const char* hostString32;      /* up to 31 characters are kept */
  const char* certificateFolder; /* null or empty: HTTPS server chains are not checked */
} UPDATER_INIT_PARAMS;

UPD_STATIC_ASSERT(sizeof(UPDATER_INIT_PARAMS) == 88);
UPD_STATIC_ASSERT(offsetof(UPDATER_INIT_PARAMS, modulesFolder) == 8);
UPD_STATIC_ASSERT(offsetof(UPDATER_INIT_PARAMS, engineFolder) == 16);
UPD_STATIC_ASSERT(offsetof(UPDATER_INIT_PARAMS, dataFolder) == 24);
UPD_STATIC_ASSERT(offsetof(UPDATER_INIT_PARAMS, picoFolder) == 32);
UPD_STATIC_ASSERT(offsetof(UPDATER_INIT_PARAMS, appVersion) == 40);
UPD_STATIC_ASSERT(offsetof(UPDATER_INIT_PARAMS, hostString64) == 48);
UPD_STATIC_ASSERT(offsetof(UPDATER_INIT_PARAMS, hostString256) == 56);
UPD_STATIC_ASSERT(offsetof(UPDATER_INIT_PARAMS, hostWord) == 64);
UPD_STATIC_ASSERT(offsetof(UPDATER_INIT_PARAMS, hostString32) == 72);
UPD_STATIC_ASSERT(offsetof(UPDATER_INIT_PARAMS, certificateFolder) == 80);

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

/* Event 15: the host supplies the User-Agent, either through userAgent
 * (with that string's allocator) or as NUL-terminated text at the start of
 * the block. */
typedef struct UPD_USER_AGENT_EVENT {
  char text[512];
  uint8_t mirrorEnabled; /* 1 when the settings' mirror record is enabled */
  uint8_t reserved513[7];
  HOST_STRING* userAgent;
} UPD_USER_AGENT_EVENT;

UPD_STATIC_ASSERT(sizeof(UPD_USER_AGENT_EVENT) == 528);
UPD_STATIC_ASSERT(offsetof(UPD_USER_AGENT_EVENT, mirrorEnabled) == 512);
UPD_STATIC_ASSERT(offsetof(UPD_USER_AGENT_EVENT, userAgent) == 520);

/* Event 19: the host writes a comma list of its update-group names into a
 * zero-filled buffer of this many bytes. */
#define UPD_GROUP_LIST_SIZE 512

/* One resolved address of a server in event 23's list. */
typedef struct UPD_SERVER_ADDRESS {
  uint32_t family; /* 2 IPv4, 10 IPv6; 0 for an entry of another family */
  uint32_t length; /* 4 or 16 */
  uint8_t address[16];
} UPD_SERVER_ADDRESS;

/* The resolved addresses: count, then count UPD_SERVER_ADDRESS entries
 * right after it, IPv4 and IPv6 ones first. */
typedef struct UPD_SERVER_ADDRESS_LIST {
  uint64_t count;
} UPD_SERVER_ADDRESS_LIST;

/* Event 23: may the library use this server? Exactly 1 refuses it. */
typedef struct UPD_SERVER_ADDRESS_EVENT {
  const UPD_SERVER_ADDRESS_LIST* addresses; /* null when the name did not resolve */
  char url[UPD_PATH_SIZE];
} UPD_SERVER_ADDRESS_EVENT;

UPD_STATIC_ASSERT(sizeof(UPD_SERVER_ADDRESS) == 24);
UPD_STATIC_ASSERT(offsetof(UPD_SERVER_ADDRESS, address) == 8);
UPD_STATIC_ASSERT(sizeof(UPD_SERVER_ADDRESS_LIST) == 8);
UPD_STATIC_ASSERT(sizeof(UPD_SERVER_ADDRESS_EVENT) == 8 + UPD_PATH_SIZE);

/* Event 30: the host writes a NUL-terminated deal identifier into a
 * zero-filled buffer of this many bytes and answers 0. */
#define UPD_DEAL_ID_SIZE 128

/* Event 31: the host fills the zero-filled block and answers 0. */
typedef struct UPD_OS_INFO_EVENT {
  int64_t version;
  char bits[8];
  char edition[64];
  char packageSystem[64];
  char type[64];
} UPD_OS_INFO_EVENT;

UPD_STATIC_ASSERT(sizeof(UPD_OS_INFO_EVENT) == 208);
UPD_STATIC_ASSERT(offsetof(UPD_OS_INFO_EVENT, type) == 144);

/* Event 32: the server root the packages came from, in a buffer of this
 * many bytes. */
#define UPD_SERVER_ROOT_SIZE 256

/* Event 41: install this checked application package; the answer is the
 * result of the install (0 installed). */
typedef struct UPD_INSTALL_PACKAGE_EVENT {
  const char* packagePath;
} UPD_INSTALL_PACKAGE_EVENT;

UPD_STATIC_ASSERT(sizeof(UPD_INSTALL_PACKAGE_EVENT) == 8);

/* Records of the exports that take a parameter and a result record. A
 * result record starts with its size; a size below the one an export names
 * is answered with 2. */
#pragma pack(push, 4)

/* UpdGetPicoUpdates and UpdPerformPicoUpdate. */
typedef struct UPD_PICO_PARAMS {
  uint32_t cbSize;
  uint32_t reserved4;
  UPDATER_CONTEXT* context;
  const UPDATER_SETTINGS* settings;
  uint32_t reserved24;
  uint32_t picoId; /* UpdPerformPicoUpdate */
} UPD_PICO_PARAMS;

/* One pico of UpdGetPicoUpdates. */
typedef struct UPD_PICO_INFO {
  uint32_t cbSize; /* 12 */
  uint32_t picoId;
  uint32_t interval;
} UPD_PICO_INFO;

typedef struct UPD_PICO_LIST_RESULT {
  uint32_t cbSize;  /* written as 36 */
  HOST_ARRAY picos; /* of UPD_PICO_INFO, appended in ascending id order */
} UPD_PICO_LIST_RESULT;

typedef struct UPD_PICO_UPDATE_RESULT {
  uint32_t cbSize; /* written as 4 */
} UPD_PICO_UPDATE_RESULT;

/* UpdDownloadNups (naturally aligned). */
typedef struct UPD_DOWNLOAD_NUPS_PARAMS {
  uint64_t reserved0;
  const UPDATER_SETTINGS* settings; /* required */
  const char* dataFolder;           /* required */
  const char* groups;               /* comma list of update-group names; required */
  const char* certificateFolder;
  const uint32_t* platformIds;
  uint64_t platformCount;
} UPD_DOWNLOAD_NUPS_PARAMS;

/* One downloaded package of UpdDownloadNups. */
typedef struct UPD_NUP_INFO {
  uint32_t cbSize; /* 176 */
  uint32_t build;
  uint32_t baseBuild; /* 0xFFFFFFFF: a full package */
  uint32_t platformId;
  HOST_STRING moduleName;
  HOST_STRING version;
  HOST_STRING packagePath;
  HOST_STRING fileName; /* of the module file the package installs */
} UPD_NUP_INFO;

typedef struct UPD_DOWNLOAD_NUPS_RESULT {
  uint32_t cbSize;     /* at least 36; written as 36 */
  HOST_ARRAY packages; /* of UPD_NUP_INFO */
} UPD_DOWNLOAD_NUPS_RESULT;

/* UpdCheckForAppUpdate. The product, component and agreement records are
 * the host's (132, 164 and 168 bytes). */
typedef struct APP_UPDATE_CHECK_PARAMS {
  uint32_t cbSize;
  uint32_t reserved4;
  UPDATER_CONTEXT* context;
  const UPDATER_SETTINGS* settings;
  HOST_ARRAY products;
  HOST_ARRAY components;
  uint8_t fullQuery; /* non-zero: every update offered; 0: the newest application update */
  HOST_STRING agreementProduct;
  HOST_STRING agreementName;
  HOST_ARRAY agreements;
} APP_UPDATE_CHECK_PARAMS;

typedef struct APP_UPDATE_CHECK_RESULT {
  uint32_t cbSize;    /* at least 36 */
  HOST_ARRAY updates; /* of APP_UPDATE_INFO, appended */
} APP_UPDATE_CHECK_RESULT;

/* UpdPerformAppUpdate3. */
typedef struct APP_UPDATE_PARAMS {
  uint32_t cbSize;
  uint32_t reserved4;
  UPDATER_CONTEXT* context;
  const UPDATER_SETTINGS* settings;
  HOST_ARRAY products;
  HOST_ARRAY components;
  HOST_STRING wantedVersion; /* empty: the newest */
  uint32_t wantedSeverity;
  uint32_t reserved132;
  uint8_t skipApplication;
  uint8_t skipAgreementCheck;
  uint8_t skipApplication2;
  HOST_STRING agreementProduct;
  HOST_STRING agreementName;
  HOST_ARRAY agreements;
} APP_UPDATE_PARAMS;

typedef struct APP_UPDATE_RESULT {
  uint32_t cbSize; /* at least 328 */
  /* The package kind of the chosen update (0 none, 1 installable, 2 for the
   * host), then bit 4 after the product downloads, bit 8 after the
   * agreement step. */
  uint32_t outcome;
  uint32_t reserved8;
  HOST_STRING documentUrl;
  HOST_STRING agreementHash;
  HOST_STRING documentHash;
  HOST_STRING changelogUrl;
  HOST_STRING agreementName;
  HOST_STRING agreementVersion;
  uint32_t agreementLevel;
  HOST_STRING effectiveDate;
  HOST_ARRAY steps; /* of StepResult, appended */
} APP_UPDATE_RESULT;

/* UpdCheckLastMicroPCU2. */
typedef struct UPD_MICRO_PCU_PARAMS {
  uint32_t cbSize;
  uint32_t reserved4;
  UPDATER_CONTEXT* context;
  const UPDATER_SETTINGS* settings;
} UPD_MICRO_PCU_PARAMS;

typedef struct UPD_MICRO_PCU_RESULT {
  uint32_t cbSize; /* at least 72; written as 72 */
  uint32_t reserved4[2];
  HOST_STRING text;
  uint8_t reserved52[20];
} UPD_MICRO_PCU_RESULT;

#pragma pack(pop)

UPD_STATIC_ASSERT(sizeof(UPD_PICO_PARAMS) == 32);
UPD_STATIC_ASSERT(offsetof(UPD_PICO_PARAMS, context) == 8);
UPD_STATIC_ASSERT(offsetof(UPD_PICO_PARAMS, settings) == 16);
UPD_STATIC_ASSERT(offsetof(UPD_PICO_PARAMS, picoId) == 28);
UPD_STATIC_ASSERT(sizeof(UPD_PICO_INFO) == 12);
UPD_STATIC_ASSERT(sizeof(UPD_PICO_LIST_RESULT) == 36);
UPD_STATIC_ASSERT(offsetof(UPD_PICO_LIST_RESULT, picos) == 4);
UPD_STATIC_ASSERT(sizeof(UPD_DOWNLOAD_NUPS_PARAMS) == 56);
UPD_STATIC_ASSERT(offsetof(UPD_DOWNLOAD_NUPS_PARAMS, settings) == 8);
UPD_STATIC_ASSERT(offsetof(UPD_DOWNLOAD_NUPS_PARAMS, platformCount) == 48);
UPD_STATIC_ASSERT(sizeof(UPD_NUP_INFO) == 176);
UPD_STATIC_ASSERT(offsetof(UPD_NUP_INFO, moduleName) == 16);
UPD_STATIC_ASSERT(offsetof(UPD_NUP_INFO, fileName) == 136);
UPD_STATIC_ASSERT(sizeof(UPD_DOWNLOAD_NUPS_RESULT) == 36);
UPD_STATIC_ASSERT(sizeof(APP_UPDATE_CHECK_PARAMS) == 204);
UPD_STATIC_ASSERT(offsetof(APP_UPDATE_CHECK_PARAMS, products) == 24);
UPD_STATIC_ASSERT(offsetof(APP_UPDATE_CHECK_PARAMS, components) == 56);
UPD_STATIC_ASSERT(offsetof(APP_UPDATE_CHECK_PARAMS, fullQuery) == 88);
UPD_STATIC_ASSERT(offsetof(APP_UPDATE_CHECK_PARAMS, agreementProduct) == 92);
UPD_STATIC_ASSERT(offsetof(APP_UPDATE_CHECK_PARAMS, agreementName) == 132);
UPD_STATIC_ASSERT(offsetof(APP_UPDATE_CHECK_PARAMS, agreements) == 172);
UPD_STATIC_ASSERT(sizeof(APP_UPDATE_CHECK_RESULT) == 36);
UPD_STATIC_ASSERT(offsetof(APP_UPDATE_CHECK_RESULT, updates) == 4);
UPD_STATIC_ASSERT(sizeof(APP_UPDATE_PARAMS) == 252);
UPD_STATIC_ASSERT(offsetof(APP_UPDATE_PARAMS, wantedVersion) == 88);
UPD_STATIC_ASSERT(offsetof(APP_UPDATE_PARAMS, wantedSeverity) == 128);
UPD_STATIC_ASSERT(offsetof(APP_UPDATE_PARAMS, skipApplication) == 136);
UPD_STATIC_ASSERT(offsetof(APP_UPDATE_PARAMS, skipAgreementCheck) == 137);
UPD_STATIC_ASSERT(offsetof(APP_UPDATE_PARAMS, skipApplication2) == 138);
UPD_STATIC_ASSERT(offsetof(APP_UPDATE_PARAMS, agreementProduct) == 140);
UPD_STATIC_ASSERT(offsetof(APP_UPDATE_PARAMS, agreementName) == 180);
UPD_STATIC_ASSERT(offsetof(APP_UPDATE_PARAMS, agreements) == 220);
UPD_STATIC_ASSERT(sizeof(APP_UPDATE_RESULT) == 328);
UPD_STATIC_ASSERT(offsetof(APP_UPDATE_RESULT, documentUrl) == 12);
UPD_STATIC_ASSERT(offsetof(APP_UPDATE_RESULT, changelogUrl) == 132);
UPD_STATIC_ASSERT(offsetof(APP_UPDATE_RESULT, agreementLevel) == 252);
UPD_STATIC_ASSERT(offsetof(APP_UPDATE_RESULT, effectiveDate) == 256);
UPD_STATIC_ASSERT(offsetof(APP_UPDATE_RESULT, steps) == 296);
UPD_STATIC_ASSERT(sizeof(UPD_MICRO_PCU_PARAMS) == 24);
UPD_STATIC_ASSERT(sizeof(UPD_MICRO_PCU_RESULT) == 72);
UPD_STATIC_ASSERT(offsetof(UPD_MICRO_PCU_RESULT, text) == 12);

/* Staged application packages of UpdGetListPCUInTempFolderEx and
 * UpdGetListPcuInTempFolderExEx: this header, then count entries. */
typedef struct UPD_PCU_LIST_HEADER {
  uint32_t cbSize; /* 12 */
  uint32_t count;
  uint32_t firstEntry; /* 12 */
} UPD_PCU_LIST_HEADER;

typedef struct UPD_PCU_LIST_ENTRY {
  uint32_t cbSize; /* 4232 */
  char displayName[128];
  char packagePath[UPD_PATH_SIZE];
  uint32_t agreed;
} UPD_PCU_LIST_ENTRY;

UPD_STATIC_ASSERT(sizeof(UPD_PCU_LIST_HEADER) == 12);
UPD_STATIC_ASSERT(sizeof(UPD_PCU_LIST_ENTRY) == 4232);

/* One application component of the last catalogue (UpdGetAllPCUs). */
typedef struct UPD_COMPONENT_ENTRY {
  char displayName[128];
  char sectionName[64];
  char sectionPrefix[32]; /* the section name up to its first '_' */
  uint32_t platformId;
  uint32_t language;
  uint64_t build;
} UPD_COMPONENT_ENTRY;

UPD_STATIC_ASSERT(sizeof(UPD_COMPONENT_ENTRY) == 240);
UPD_STATIC_ASSERT(offsetof(UPD_COMPONENT_ENTRY, build) == 232);

/* Library context: one per update folder, from an UpdInitialize call to
 * UpdUninitialize; null when the folders are missing or do not fit a path
 * buffer. The word argument is not used. */
UPD_API UPDATER_CONTEXT* UpdInitialize(const char* dataFolder, const char* modulesFolder,
                                       const char* appVersion, const char* hostString);
UPD_API UPDATER_CONTEXT* UpdInitialize2(const char* dataFolder, const char* modulesFolder,
                                        const char* appVersion, const char* hostString,
                                        uint32_t word);
UPD_API UPDATER_CONTEXT* UpdInitialize3(const char* dataFolder, const char* modulesFolder,
                                        const char* engineFolder, const char* appVersion,
                                        const char* hostString, uint32_t word);
UPD_API UPDATER_CONTEXT* UpdInitialize4(const UPDATER_INIT_PARAMS* params);
/* No other call may be using the context; null is ignored. */
UPD_API void UpdUninitialize(UPDATER_CONTEXT* context);

/* Control, from any thread while a working call runs: abort the running
 * work; stop it and refuse further work (0x2107) until UpdResetUpdate. */
UPD_API void UpdAbortUpdate(UPDATER_CONTEXT* context);
UPD_API void UpdStopUpdates(UPDATER_CONTEXT* context);
UPD_API void UpdResetUpdate(UPDATER_CONTEXT* context);

/* Times of the last update (an engine module replaced) and of the last
 * attempt that obtained a catalogue, in seconds since 1970; all bits set
 * when unknown. Load reads them from the settings store, Save stores now. */
UPD_API void UpdLoadUpdateAttemptTime(UPDATER_CONTEXT* context, const UPDATER_SETTINGS* settings);
UPD_API void UpdSaveUpdateAttemptTime(UPDATER_CONTEXT* context, const UPDATER_SETTINGS* settings);
UPD_API uint64_t UpdGetUpdateLastTime(const UPDATER_CONTEXT* context);
UPD_API uint64_t UpdGetUpdateLastAttemptTime(const UPDATER_CONTEXT* context);

/* Module updates. */
UPD_API UPD_ERROR UpdPerformUpdate(UPDATER_CONTEXT* context, const UPDATER_SETTINGS* settings,
                                   uint32_t* resultFlags);
UPD_API UPD_ERROR UpdDownloadVERFile(UPDATER_CONTEXT* context, const UPDATER_SETTINGS* settings);
UPD_API UPD_ERROR UpdDownloadNups(const UPD_DOWNLOAD_NUPS_PARAMS* params,
                                  UPD_DOWNLOAD_NUPS_RESULT* result);
UPD_API UPD_ERROR UpdSetupEngines(void);
UPD_API UPD_ERROR UpdSetupEngines3(const UPDATER_SETTINGS* settings, const char* engineFolder,
                                   const char* modulesFolder, const char* packagesFolder,
                                   const char* groups);
/* Deletes the "Modules" folder and the "em*.dat.old" files of the modules
 * folder; 0x1001 while another call works on the context. */
UPD_API UPD_ERROR UpdCleanupModules(UPDATER_CONTEXT* context, const UPDATER_SETTINGS* settings);
/* The update hash of the last catalogue: with a null buffer *size receives
 * the length plus 1 (answer 0x1301); with room for it the text and its NUL
 * are copied and *size receives the length. */
UPD_API UPD_ERROR UpdRetrieveUpdateHash(UPDATER_CONTEXT* context, uint8_t* buffer, uint64_t* size);
UPD_API UPD_ERROR UpdGetScannerVersionEx2(UPDATER_CONTEXT* context,
                                          const UPDATER_SETTINGS* settings, uint32_t* build,
                                          char* version, uint64_t versionSize);

/* Servers and channels. */
UPD_API uint8_t UpdIsMirrorUpdateUrl(const UPDATER_SETTINGS* settings);
UPD_API UPD_ERROR UpdSwitchUpdateGroup(UPDATER_CONTEXT* context, const UPDATER_SETTINGS* settings,
                                       const char* group, uint32_t set);
UPD_API UPD_ERROR UpdSwitchModulesType(UPDATER_CONTEXT* context, const UPDATER_SETTINGS* settings,
                                       uint32_t type);
UPD_API UPD_ERROR UpdDeleteDefaultServers(UPDATER_CONTEXT* context,
                                          const UPDATER_SETTINGS* settings);

/* Mirror. */
UPD_API UPD_ERROR UpdPerformMirror(UPDATER_CONTEXT* context, const UPDATER_SETTINGS* settings);
UPD_API UPD_ERROR UpdPerformFullMirror(const UPDATER_SETTINGS* settings);
UPD_API UPD_ERROR UpdCopyPcusToMirror(UPDATER_CONTEXT* context, const UPDATER_SETTINGS* settings);

/* Application packages in folders. */
UPD_API UPD_ERROR UpdGetListPCUInTempFolder(const char* dataFolder, char* names, uint64_t* size);
UPD_API UPD_ERROR UpdGetListPCUInTempFolderEx(const char* dataFolder, void* buffer, uint64_t* size);
UPD_API UPD_ERROR UpdGetListPcuInTempFolderExEx(const char* dataFolder, const char* filter,
                                                void* buffer, uint64_t* size);
UPD_API UPD_ERROR UpdChangeEULAStatusAsAgreed(const char* packagePath);
UPD_API int32_t UpdGetAllPCUs(UPDATER_CONTEXT* context, UPD_COMPONENT_ENTRY* entries,
                              uint32_t sizeInBytes);

/* Pico updates. */
UPD_API UPD_ERROR UpdGetPicoUpdates(const UPD_PICO_PARAMS* params, UPD_PICO_LIST_RESULT* result);
UPD_API UPD_ERROR UpdPerformPicoUpdate(const UPD_PICO_PARAMS* params,
                                       UPD_PICO_UPDATE_RESULT* result);

/* Backup snapshots. */
UPD_API UPD_ERROR UpdBackupCreateSnapshot2(UPDATER_CONTEXT* context,
                                           const UPDATER_SETTINGS* settings);
UPD_API UPD_ERROR UpdBackupRollback(UPDATER_CONTEXT* context, uint32_t blockUntil);
UPD_API uint8_t UpdBackupIsUpdateBlocked(UPDATER_CONTEXT* context, uint32_t* blockedUntil);
UPD_API UPD_ERROR UpdBackupUnblockUpdate(UPDATER_CONTEXT* context);
UPD_API int32_t UpdBackupGetStoredSnapshotsCount(UPDATER_CONTEXT* context);

/* Application updates. */
UPD_API UPD_ERROR UpdCheckForAppUpdate(const APP_UPDATE_CHECK_PARAMS* params,
                                       APP_UPDATE_CHECK_RESULT* result);
UPD_API UPD_ERROR UpdPerformAppUpdate3(const APP_UPDATE_PARAMS* params, APP_UPDATE_RESULT* result);
UPD_API UPD_ERROR UpdCheckLastMicroPCU2(const UPD_MICRO_PCU_PARAMS* params,
                                        UPD_MICRO_PCU_RESULT* result);

/* Not supported in this build: each answers 3. */
UPD_API UPD_ERROR UpdGetScannerVersion(void);
UPD_API UPD_ERROR UpdGetScannerVersionEx(void);
UPD_API UPD_ERROR UpdSetupEngines2(void);
UPD_API UPD_ERROR UpdCopyPCUs2Mirror(void);
UPD_API UPD_ERROR UpdRunSetup(void);
UPD_API UPD_ERROR UpdExtractEULAFromNUP(void);
UPD_API UPD_ERROR UpdBackupCreateSnapshot(void);

#ifdef __cplusplus
}
#endif

#endif /* UPDATER_H_ */
