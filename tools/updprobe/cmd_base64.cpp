#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "command.h"
#include "platform/util/base64.h"
#include "probe_input.h"

namespace updprobe {
namespace {

// An empty input still needs a real pointer: the codec refuses null text.
const char* Bytes(const std::vector<uint8_t>& v) {
  return v.empty() ? "" : reinterpret_cast<const char*>(v.data());
}

int Encode(const std::vector<uint8_t>& data) {
  uint64_t need = 0;
  (void)Base64Encode(Bytes(data), data.size(), nullptr, 0, &need);
  std::vector<char> text(need);
  uint64_t written = 0;
  if (Base64Encode(Bytes(data), data.size(), text.data(), text.size(), &written) != 1) {
    std::fputs("updprobe: encoding failed\n", stderr);
    return kExitFailure;
  }
  std::fwrite(text.data(), 1, written - 1, stdout);
  std::fputc('\n', stdout);
  return kExitOk;
}

int Decode(const std::vector<uint8_t>& text) {
  std::vector<uint8_t> bytes(text.size() / 4 * 3 + 3);
  uint64_t written = 0;
  const int clean = Base64Decode(Bytes(text), text.size(), bytes.data(), bytes.size(), &written);
  std::fwrite(bytes.data(), 1, written, stdout);
  return clean == 1 ? kExitOk : kExitFailure;
}

int Base64Command(Args args) {
  if (args.size() != 2) return Usage("base64 takes encode|decode FILE");
  const std::string_view mode = args[0];
  if (mode != "encode" && mode != "decode") return Usage("base64 takes encode|decode FILE");
  std::vector<uint8_t> input;
  if (!ReadInput(args[1], input)) {
    std::fprintf(stderr, "updprobe: cannot read '%s'\n", args[1]);
    return kExitUsage;
  }
  return mode == "encode" ? Encode(input) : Decode(input);
}

const Registrar kBase64("base64", "base64 encode|decode FILE|-", Base64Command);

}  // namespace
}  // namespace updprobe
