#pragma once

// Fake libcrypto.so and libssl.so for the loader tests: tiny shared objects
// built with the C compiler that export chosen names, found by the loader
// through LD_LIBRARY_PATH in a child process (the probe of fixtures/).
//
// Every exported function returns 1 unless the fake gives it a body; method
// functions return their own address (so the probe can name the method it
// got). The fakes also behave like a small 1.0 OpenSSL where the loader
// relies on it: locking and id callbacks are exercised once when installed,
// thread ids are the pthread ids, and they print what a test looks for
// ("ex index registered", "removed thread state", "locking callback used",
// "id callback matches", "unloaded libssl", "unloaded libcrypto").

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "net/tls/openssl_function_table.h"
#include "support/temp_dir.h"

namespace upd::test {

struct FakeOpenSsl {
  std::set<std::string> names;
  // Name -> C statements of its body (the function returns long).
  std::map<std::string, std::string> bodies;

  FakeOpenSsl& Without(const std::string& name) {
    names.erase(name);
    return *this;
  }
  FakeOpenSsl& With(const std::string& name, const std::string& body = "return 1;") {
    names.insert(name);
    if (body != "return 1;") bodies[name] = body;
    return *this;
  }
};

// The names a library set of the later interface exports: everything the
// loader looks up under it (optional names included), with the marker.
// Per-thread ids do not exist there.
inline FakeOpenSsl NewApiOpenSsl() {
  FakeOpenSsl fake;
  for (const OpenSslEntry& entry : OpenSslEntries()) {
    if (entry.need == OpenSslNeed::kOldOnly || entry.need == OpenSslNeed::kVersionMethod) continue;
    fake.names.insert(entry.new_name);
  }
  fake.names.erase("CRYPTO_THREADID_current");
  fake.names.erase("CRYPTO_THREADID_hash");
  fake.names.insert(kOpenSslNewApiMarker);
  return fake;
}

// The names a 1.0 library set exports (first names only, optional ones and
// the five version methods included).
inline FakeOpenSsl OldApiOpenSsl() {
  FakeOpenSsl fake;
  for (const OpenSslEntry& entry : OpenSslEntries()) {
    if (entry.need == OpenSslNeed::kNewOnly) continue;
    fake.names.insert(entry.old_name);
  }
  fake.names.erase(kOpenSslNewApiMarker);
  return fake;
}

namespace fake_detail {

inline const std::map<std::string, std::string>& StandardBodies() {
  static const std::map<std::string, std::string> bodies = {
      {"ERR_get_error", "return 0;"},
      {"CRYPTO_num_locks", "return 4;"},
      {"CRYPTO_get_ex_new_index", "say(\"ex index registered\"); return 0;"},
      {"SSL_get_ex_new_index", "say(\"ex index registered\"); return 0;"},
      {"CRYPTO_set_locking_callback",
       "void (*f)(int, int, const char*, int) = (void (*)(int, int, const char*, int))a;"
       " f(1 | 8, 3, \"fake\", 1); f(2 | 8, 3, \"fake\", 2);"
       " say(\"locking callback used\"); return 0;"},
      {"CRYPTO_set_id_callback",
       "unsigned long (*f)(void) = (unsigned long (*)(void))a;"
       " say(f() == (unsigned long)pthread_self() ? \"id callback matches\""
       " : \"id callback differs\"); return 0;"},
      {"CRYPTO_THREADID_current",
       "struct id { void* p; unsigned long v; }* t = (struct id*)a;"
       " t->p = 0; t->v = (unsigned long)pthread_self(); return 0;"},
      {"CRYPTO_THREADID_hash", "return (long)((struct { void* p; unsigned long v; }*)a)->v;"},
      {"ERR_remove_thread_state", "say(\"removed thread state\"); return 0;"},
  };
  return bodies;
}

inline bool InSsl(const std::string& name) {
  return name.rfind("SSL", 0) == 0 || name.rfind("TLS", 0) == 0;
}

inline std::string Source(const FakeOpenSsl& fake, bool ssl) {
  std::ostringstream c;
  c << "#include <pthread.h>\n#include <string.h>\n#include <unistd.h>\n"
    << "static void say(const char* s) { write(1, s, strlen(s)); write(1, \"\\n\", 1); }\n"
    << "__attribute__((destructor)) static void gone(void) { say(\"unloaded "
    << (ssl ? "libssl" : "libcrypto") << "\"); }\n";
  for (const std::string& name : fake.names) {
    if (InSsl(name) != ssl) continue;
    if (name.size() > 7 && name.compare(name.size() - 7, 7, "_method") == 0) {
      c << "const void* " << name << "(void) { return (const void*)&" << name << "; }\n";
      continue;
    }
    auto body = fake.bodies.find(name);
    std::string text = "return 1;";
    if (body != fake.bodies.end()) {
      text = body->second;
    } else if (auto standard = StandardBodies().find(name); standard != StandardBodies().end()) {
      text = standard->second;
    }
    c << "long " << name << "(void* a, void* b, void* c, void* d) {"
      << " (void)a; (void)b; (void)c; (void)d; " << text << " }\n";
  }
  return c.str();
}

}  // namespace fake_detail

// Builds libcrypto.so and libssl.so (which depends on it) into folder;
// false (and a test failure) when the compiler fails. SSL and TLS names go
// to libssl, all others to libcrypto.
inline bool BuildFakeOpenSsl(const std::string& folder, const FakeOpenSsl& fake) {
  WriteFile(folder + "/crypto.c", fake_detail::Source(fake, false));
  WriteFile(folder + "/ssl.c", fake_detail::Source(fake, true));
  const std::string cc = std::string(UPD_C_COMPILER) + " -shared -fPIC -w -o ";
  std::string log;
  const bool built =
      RunCommand(cc + folder + "/libcrypto.so " + folder + "/crypto.c 2>&1", &log) == 0 &&
      RunCommand(cc + folder + "/libssl.so " + folder + "/ssl.c -L" + folder +
                     " -Wl,--no-as-needed -lcrypto 2>&1",
                 &log) == 0;
  EXPECT_TRUE(built) << log;
  return built;
}

// Runs the probe with folder first in the library search; its output lines.
// foreign_build_id runs the executable that exports a build number of its own.
inline std::vector<std::string> RunProbe(const std::string& folder,
                                         const std::vector<std::string>& steps,
                                         bool foreign_build_id = false) {
  std::string command =
      "LD_LIBRARY_PATH='" + folder + "' '" +
      ToolPath(foreign_build_id ? "openssl_probe_foreign_id" : "openssl_probe_host") + "'";
  for (const std::string& step : steps) command += " '" + step + "'";
  std::string out;
  const int status = RunCommand(command + " 2>&1", &out);
  EXPECT_EQ(status, 0) << out;
  std::vector<std::string> lines;
  std::istringstream in(out);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// Builds the fake into folder and runs the probe with it.
inline std::vector<std::string> RunWithFake(const TempDir& folder, const FakeOpenSsl& fake,
                                            const std::vector<std::string>& steps,
                                            bool foreign_build_id = false) {
  if (!BuildFakeOpenSsl(folder.path().string(), fake)) return {};
  return RunProbe(folder.path().string(), steps, foreign_build_id);
}

// Lines of the output that begin with prefix.
inline std::vector<std::string> LinesStarting(const std::vector<std::string>& lines,
                                              const std::string& prefix) {
  std::vector<std::string> found;
  for (const std::string& line : lines) {
    if (line.rfind(prefix, 0) == 0) found.push_back(line);
  }
  return found;
}

}  // namespace upd::test
