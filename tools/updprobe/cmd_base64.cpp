#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "command.h"
#include "platform/util/base64.h"

namespace updprobe {
namespace {

// An empty input still needs a real pointer: the codec refuses null text.
const char* Bytes(const std::vector<char>& v) { return v.empty() ? "" : v.data(); }

bool ReadAll(const char* path, std::vector<char>& out) {
  const bool from_stdin = std::string_view(path) == "-";
  FILE* in = from_stdin ? stdin : std::fopen(path, "rb");
  if (in == nullptr) return false;
  char chunk[1 << 16];
  size_t n = 0;
  while ((n = std::fread(chunk, 1, sizeof chunk, in)) > 0) out.insert(out.end(), chunk, chunk + n);
  const bool ok = std::ferror(in) == 0;
  if (!from_stdin) std::fclose(in);
  return ok;
}

int Encode(const std::vector<char>& data) {
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

int Decode(const std::vector<char>& text) {
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
  std::vector<char> input;
  if (!ReadAll(args[1], input)) {
    std::fprintf(stderr, "updprobe: cannot read '%s'\n", args[1]);
    return kExitUsage;
  }
  return mode == "encode" ? Encode(input) : Decode(input);
}

const Registrar kBase64("base64", "base64 encode|decode FILE|-", Base64Command);

}  // namespace
}  // namespace updprobe
