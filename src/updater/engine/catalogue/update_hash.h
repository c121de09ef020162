#pragma once

#include <string>

// The update hash that a catalogue carries (section "UP_HASH", key "hash"):
// 40 hexadecimal digits, which a mirror passes on to the installations that
// update from it. Empty when the catalogue at catalogue_path has none; a
// longer value is cut to 40 characters.
[[nodiscard]] std::string ReadUpdateHash(const char* catalogue_path);
