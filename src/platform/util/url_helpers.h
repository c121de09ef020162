#pragma once

#include <cstddef>
#include <cstdint>

// URL and server-path arithmetic of the update engine on fixed buffers.

struct RemotePathFlags {
  bool remote = false;  // contains "://" or starts with "//"
  bool share = false;   // starts with "//" and has no "://"
};

RemotePathFlags IsRemotePath(const char* path);

// Turns '\' into '/' in url and appends '/' when it has none (as far as
// url_size allows). When root is given it receives the server root: the
// scheme and host ("scheme://host"), or for a share ("//srv/share/..." or
// "FILE://srv/share/...") the server and share name.
void GetServerRoot(char* url, size_t url_size, char* root, size_t root_size);

// Makes path absolute in place: a share path ("\\srv\...") only gets '/'
// separators; "//host/x" takes the scheme of root; "/x" gets root in front;
// "c:/x" and "scheme://..." stay; anything else gets base (ending in '/') in
// front. The result is cut to size.
void ResolvePath(char* path, size_t size, const char* base, const char* root);

// "host:port", "[address]:port", "host", "[address]" or a bare IPv6 address
// -> the port (decimal, 0x hexadecimal or 0 octal; trailing text accepted),
// 0 when there is none or it does not parse. The host is copied without
// brackets and port whenever the text names one; it is left empty only for a
// malformed bracket form ("[::1", "[::1]8080"). host_size 0 returns 0 and
// leaves host untouched.
uint32_t SplitHostPort(const char* text, char* host, size_t host_size);
