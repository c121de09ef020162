#pragma once

#include <cstdint>

// Shared libraries loaded by name.
struct OS_LIBRARY;

// Loads "name" as given when it already ends in ".so" or holds ".so.", else
// "name.so"; a bare name not found by the loader is looked for as "name*" in
// the usual library folders. A ".dll" name loads nothing (24). flags must be 0.
[[nodiscard]] OS_LIBRARY* OsLibraryLoad(const char* name, uint32_t flags);
// Null arguments give 10; a missing symbol gives null, last error untouched.
[[nodiscard]] void* OsLibrarySymbol(OS_LIBRARY* library, const char* symbol_name);
// Accepts null; a failed close aborts.
void OsLibraryUnload(OS_LIBRARY* library);
