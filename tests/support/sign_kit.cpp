#include "support/sign_kit.h"

#include <gtest/gtest.h>

#include "support/peer_process.h"
#include "support/temp_dir.h"

namespace upd::test {
namespace {

std::string ShellQuote(const std::string& text) {
  std::string out = "'";
  for (char c : text) {
    if (c == '\'') {
      out += "'\\''";
    } else {
      out += c;
    }
  }
  return out + "'";
}

}  // namespace

std::string TrustFolder() { return BinaryPath("trust"); }

bool SignKit(const std::vector<std::string>& args) {
  std::string command = ShellQuote(PythonPath()) + " " +
                        ShellQuote(SourcePath("tools/testpki/sign_kit.py")) + " --trust " +
                        ShellQuote(TrustFolder());
  for (const std::string& arg : args) command += " " + ShellQuote(arg);
  std::string out;
  if (RunCommand(command + " 2>&1 </dev/null", &out) == 0) return true;
  ADD_FAILURE() << "sign_kit.py failed: " << command << "\n" << out;
  return false;
}

}  // namespace upd::test
