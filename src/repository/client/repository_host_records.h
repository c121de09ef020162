#pragma once

#include <cstddef>
#include <cstdint>

#include "updater.h"

// Host records that the application-update drivers pass to the repository
// queries and to the agreement manager. The host lays them out, so their
// byte offsets are fixed; like every host record they are packed to 4 bytes.
#pragma pack(push, 4)

// One further product of the host whose repository folder is queried.
struct RepositoryProductRecord {
  uint32_t cbSize;
  uint32_t productWord;  // the host's; copied into what the check reports
  HOST_STRING name;  // repository folder name, dotted
  uint32_t format;   // the resource format wanted
  HOST_STRING installedVersion;
  HOST_STRING packagePath;  // the product's installed package file
};

// An installed component, with the agreement and the document its user has
// accepted.
struct AcceptedComponentRecord {
  uint32_t cbSize;
  HOST_STRING agreementHash;
  HOST_STRING documentHash;
  HOST_STRING name;
  HOST_STRING version;
};

// An installed agreement file that the manager keeps current.
struct EulaFileRecord {
  uint32_t cbSize;
  uint32_t format;  // 0: nothing to refresh
  HOST_STRING target;
  HOST_STRING name;
  HOST_STRING version;
  HOST_STRING language;
};

#pragma pack(pop)

static_assert(sizeof(RepositoryProductRecord) == 132);
static_assert(offsetof(RepositoryProductRecord, name) == 8);
static_assert(offsetof(RepositoryProductRecord, format) == 48);
static_assert(offsetof(RepositoryProductRecord, installedVersion) == 52);
static_assert(offsetof(RepositoryProductRecord, packagePath) == 92);
static_assert(sizeof(AcceptedComponentRecord) == 164);
static_assert(offsetof(AcceptedComponentRecord, agreementHash) == 4);
static_assert(offsetof(AcceptedComponentRecord, documentHash) == 44);
static_assert(offsetof(AcceptedComponentRecord, name) == 84);
static_assert(offsetof(AcceptedComponentRecord, version) == 124);
static_assert(sizeof(EulaFileRecord) == 168);
static_assert(offsetof(EulaFileRecord, format) == 4);
static_assert(offsetof(EulaFileRecord, target) == 8);
static_assert(offsetof(EulaFileRecord, name) == 48);
static_assert(offsetof(EulaFileRecord, version) == 88);
static_assert(offsetof(EulaFileRecord, language) == 128);

// Host blocks of events 30 and 31; the library zeroes them, the host fills
// them.
struct RepositoryDealBlock {
  char dealId[128];
};

struct RepositoryOsInfo {
  int64_t version;
  char bits[8];
  char edition[64];
  char packageSystem[64];
  char type[64];
};

static_assert(sizeof(RepositoryDealBlock) == 128);
static_assert(sizeof(RepositoryOsInfo) == 208);
static_assert(offsetof(RepositoryOsInfo, bits) == 8);
static_assert(offsetof(RepositoryOsInfo, edition) == 16);
static_assert(offsetof(RepositoryOsInfo, packageSystem) == 80);
static_assert(offsetof(RepositoryOsInfo, type) == 144);
