#pragma once

#include <cstddef>

// The local path under folder where the body fetched from url is kept:
// folder, '/', the URL without its scheme ("http://srv:8080/a/f" gives
// "srv_8080/a/f"; ':' becomes '_' in that host part only), a drive path
// "c:/x" as "c/x", a share "//srv/s/f" as "srv/s/f", then '/' and extra when
// extra is not empty. False, with out emptied, for a URL of none of these
// forms, a URL or extra with a "." or ".." segment (so the copy can never
// land outside folder), or a result that does not fit out; callers report
// that as an unsupported URL.
[[nodiscard]] bool MakeMirrorSourcePath(const char* folder, const char* url, const char* extra,
                                        char* out, size_t out_size);
