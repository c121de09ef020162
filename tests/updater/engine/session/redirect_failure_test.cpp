#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/util/buffer.h"
#include "platform/util/update_errors.h"
#include "session_fixture.h"
#include "support/net_servers.h"

// A redirect that leads nowhere: its body (a server's HTML page) is never
// taken for the file, the download fails as a redirect the session cannot
// follow, and the target keeps what it held.
namespace {

using upd::test::ReadFile;
using upd::test::ScriptedConnection;
using upd::test::ScriptedPeer;
using upd::test::WriteFile;
namespace script = upd::test::script;

constexpr char kPage[] = "<html><body>Moved</body></html>";

std::string Moved(uint32_t status, const std::string& location_lines) {
  return "HTTP/1.1 " + std::to_string(status) + " Moved\r\n" + location_lines +
         "Content-Type: text/html\r\nContent-Length: " + std::to_string(sizeof kPage - 1) +
         "\r\nConnection: close\r\n\r\n" + kPage;
}

using RedirectFailureTest = upd::test::SessionTest;

TEST_F(RedirectFailureTest, ARedirectWithoutAUsableLocationFailsAndWritesNothing) {
  struct Location {
    const char* name;
    std::string lines;
  };
  const Location kLocations[] = {
      {"no Location", ""},
      {"empty Location", "Location:\r\n"},
      {"blank Location", "Location:   \r\n"},
      {"white space inside", "Location: /a b/f.bin\r\n"},
      {"longer than a Location can be", "Location: /" + std::string(2000, 'l') + "\r\n"},
      {"no server", "Location: http:///f.bin\r\n"},
      {"only a port", "Location: http://:8080/f.bin\r\n"},
  };
  for (const uint32_t status : {301u, 302u, 307u, 308u}) {
    for (const Location& location : kLocations) {
      SCOPED_TRACE(std::to_string(status) + " " + location.name);
      ScriptedPeer peer(dir_.path().string(), {},
                        ScriptedPeer::Options().Otherwise(ScriptedConnection{
                            script::ReadRequest(), script::Send(Moved(status, location.lines))}));
      ASSERT_TRUE(peer.running());
      size_t requests = 0;
      // With and without the HEAD before the GET.
      for (const uint32_t skip_head : {0u, 1u}) {
        SCOPED_TRACE(skip_head != 0 ? "GET only" : "HEAD first");
        const std::string target = dir_.file("upd.ver");
        WriteFile(target, "[old catalogue]\r\n");
        DownloadFileArgs args = ToFile(peer.Url("/srv/update.ver"), target);
        args.extraFlag = skip_head;
        EXPECT_EQ(session().DownloadFile(args), kUpdUnsupportedScheme);
        EXPECT_EQ(ReadFile(target), "[old catalogue]\r\n");
        EXPECT_EQ(peer.Requests().size(), ++requests);

        CBuffer buffer;
        args.target = nullptr;
        args.buffer = &buffer;
        EXPECT_EQ(session().DownloadFile(args), kUpdUnsupportedScheme);
        EXPECT_EQ(buffer.Length(), 0u);
        EXPECT_EQ(peer.Requests().size(), ++requests);
      }
    }
  }
}

// A 303 (and any other 3xx but 304 and the four above) is a status the
// session never follows: it fails as an unusable answer, with or without a
// Location, and its body is not taken either.
TEST_F(RedirectFailureTest, ARedirectTheSessionNeverFollowsFailsAsBefore) {
  for (const uint32_t status : {300u, 303u, 305u}) {
    for (const std::string& lines : {std::string(), std::string("Location: /f.bin\r\n")}) {
      SCOPED_TRACE(std::to_string(status) + " " + lines);
      ScriptedPeer peer(dir_.path().string(),
                        {ScriptedConnection{script::ReadRequest(),
                                            script::Send(Moved(status, lines))}});
      ASSERT_TRUE(peer.running());
      const std::string target = dir_.file("upd.ver");
      WriteFile(target, "[old catalogue]\r\n");
      DownloadFileArgs args = ToFile(peer.Url("/srv/update.ver"), target);
      args.extraFlag = 1;
      EXPECT_EQ(session().DownloadFile(args), kUpdSourceUnreadable);
      EXPECT_EQ(ReadFile(target), "[old catalogue]\r\n");
    }
  }
}

}  // namespace
