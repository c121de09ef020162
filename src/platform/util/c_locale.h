#pragma once

#include <locale.h>

// The process-wide POSIX locale object (made once, never freed), through
// which number text is parsed and printed whatever locale the process has set.
locale_t GetCLocale();
