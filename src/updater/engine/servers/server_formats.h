#pragma once

#include "platform/store/profile_file.h"
#include "updater/engine/servers/server_list.h"

// The two forms in which a catalogue lists the servers of a server group.
// "LINKS": each key names a list and holds a path that is appended to every
// server of "SERVERS"/"list". "HOSTS": each key names a list and holds the
// servers themselves. Every URL is resolved against the URL the catalogue
// came from, so a list may name servers relative to it; a URL longer than a
// server record holds is left out. Both read the parsed catalogue and append
// to out.
class IServerFormat {
 public:
  virtual ~IServerFormat() = default;

  // Every list of the format.
  virtual void ParseAll(const CProfileFile& catalogue, const char* base_url,
                        CDefServersArray* out) const = 0;
  // The list called name; false when the catalogue does not have it.
  [[nodiscard]] virtual bool Parse(const CProfileFile& catalogue, const char* name,
                                   const char* base_url, CDefServersArray* out) const = 0;
};

class CLinksServerFormat final : public IServerFormat {
 public:
  void ParseAll(const CProfileFile& catalogue, const char* base_url,
                CDefServersArray* out) const override;
  // False when "LINKS"/name or "SERVERS"/"list" is missing; an empty list
  // is true with nothing added.
  [[nodiscard]] bool Parse(const CProfileFile& catalogue, const char* name, const char* base_url,
                           CDefServersArray* out) const override;
};

class CHostsServerFormat final : public IServerFormat {
 public:
  void ParseAll(const CProfileFile& catalogue, const char* base_url,
                CDefServersArray* out) const override;
  // False when "HOSTS"/name is missing or adds no server.
  [[nodiscard]] bool Parse(const CProfileFile& catalogue, const char* name, const char* base_url,
                           CDefServersArray* out) const override;
};
