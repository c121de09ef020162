#pragma once

#include <string>

#include "updater.h"

// The HTTP validators (entity tag and last-modified text) of a catalogue URL,
// kept in the settings store under "VerFileETAG_" and "VerFileLastModified_"
// followed by the URL's host, path and file name (the key cut to 255
// characters), so that the next run can ask the server for changes only.

// When the store opens, each output gets its stored value or becomes empty;
// otherwise both are left as they are.
void LoadVerFileValidators(const char* host, const char* path, const char* fileName,
                           const UPDATER_SETTINGS* settings, std::string* etag,
                           std::string* lastModified);

// When the store opens, writes each value, or deletes its key when the value
// is empty. False when the store did not open or a write failed.
bool SaveVerFileValidators(const char* host, const char* path, const char* fileName,
                           const UPDATER_SETTINGS* settings, const std::string& etag,
                           const std::string& lastModified);
