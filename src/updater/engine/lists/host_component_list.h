#pragma once

#include <cstddef>
#include <cstdint>

// One application component of a catalogue as the host receives it.
struct COMPONENT_LIST_ENTRY {
  char displayName[128];
  char sectionName[64];
  char prefix[32];  // the section name up to its first '_'
  uint32_t platform;
  uint32_t language;
  uint64_t build;
};

static_assert(sizeof(COMPONENT_LIST_ENTRY) == 240);
static_assert(offsetof(COMPONENT_LIST_ENTRY, sectionName) == 128);
static_assert(offsetof(COMPONENT_LIST_ENTRY, prefix) == 192);
static_assert(offsetof(COMPONENT_LIST_ENTRY, platform) == 224);
static_assert(offsetof(COMPONENT_LIST_ENTRY, language) == 228);
static_assert(offsetof(COMPONENT_LIST_ENTRY, build) == 232);

// Fills entries (size_in_bytes bytes, zeroed first) with the catalogue's
// sections whose name holds a '_' and whose category is "component", as far
// as they read. Returns the number filled; minus the number of such sections
// when they do not all fit (nothing filled); -1 for null entries or a
// catalogue that cannot be loaded.
[[nodiscard]] int32_t ReadComponentList(const char* ini_path, COMPONENT_LIST_ENTRY* entries,
                                        size_t size_in_bytes);
