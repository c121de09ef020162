#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "platform/util/update_errors.h"
#include "support/net_servers.h"
#include "support/temp_dir.h"
#include "updater/api/context.h"
#include "updater/api/run_binding.h"
#include "updater/engine/run/server_group_switch.h"

// The group switch reaches the context's own session: its reset forgets an
// abort, its close ends the kept connection.
namespace {

using upd::test::NginxServer;
using upd::test::TempDir;

TEST(SessionWiring, GroupSwitchStepsResetAndCloseTheContextsSession) {
  TempDir dir;
  std::filesystem::create_directories(dir.file("modules"));
  const std::unique_ptr<UPDATER_CONTEXT, void (*)(UPDATER_CONTEXT*)> owned(
      UpdInitialize(dir.file("data").c_str(), dir.file("modules").c_str(), "1.0", "host"),
      UpdUninitialize);
  UPDATER_CONTEXT* context = owned.get();
  ASSERT_NE(context, nullptr);
  NginxServer web(dir.path().string());
  ASSERT_TRUE(web.running());
  web.PutFile("f.bin", "body");
  const std::string url = web.Url("/f.bin");
  const std::string target = dir.file("out");
  DownloadFileArgs args;
  args.url = url.c_str();
  args.target = target.c_str();
  args.extraFlag = 1;  // GET only: one log line per download
  UpdateRun run = BindRun(*context);
  EngineServices services = BindServices(*context);
  EngineGroupSwitchSteps steps(run, services);

  // The aborted request still goes out (the abort is seen when it ends).
  context->session->Abort();
  EXPECT_EQ(context->session->DownloadFile(args), kUpdStopped);
  steps.ResetSession();
  ASSERT_EQ(context->session->DownloadFile(args), kUpdOk);
  ASSERT_EQ(context->session->DownloadFile(args), kUpdOk);
  steps.CloseConnections();
  ASSERT_EQ(context->session->DownloadFile(args), kUpdOk);

  const auto log = web.AccessLog(4);
  ASSERT_EQ(log.size(), 4u);
  EXPECT_EQ(log[1].connection, log[2].connection);  // kept alive between downloads
  EXPECT_NE(log[2].connection, log[3].connection);
}

}  // namespace
