#pragma once

#include <string>
#include <vector>

namespace upd::test {

// The build tree's test trust folder (update key, roots, GnuPG home).
std::string TrustFolder();

// Runs tools/testpki/sign_kit.py over the test trust folder with args (see
// the script for its commands). On failure the kit's output is added to the
// current test's failure and false returned.
bool SignKit(const std::vector<std::string>& args);

}  // namespace upd::test
