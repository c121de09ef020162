#include <cstdio>
#include <string_view>

#include "command.h"
#include "platform/store/xml_document.h"
#include "platform/store/xml_file.h"
#include "platform/store/xml_parser.h"
#include "platform/store/xml_writer.h"

namespace updprobe {
namespace {

// xml normalize FILE: the file as the store loads and saves it.
int Xml(Args args) {
  if (args.size() != 2 || std::string_view(args[0]) != "normalize") {
    return Usage("usage: xml normalize FILE");
  }
  XmlDocumentPtr document;
  if (MemStoreLoadFile(&document, args[1], kXmlDefaultDepth) != kXmlOk) {
    std::fprintf(stderr, "updprobe: the store refuses %s\n", args[1]);
    return kExitFailure;
  }
  // The text goes out as it is produced; a value that cannot be written
  // fails the command like a refused load.
  bool written = true;
  const auto write = [&written](std::string_view piece) {
    written = std::fwrite(piece.data(), 1, piece.size(), stdout) == piece.size();
    return written;
  };
  const bool ok = MemStoreSerializeTo(document.get(), MemStoreGetRoot(document.get()), write);
  if (!ok && written) {
    std::fprintf(stderr, "updprobe: the store refuses %s\n", args[1]);
    return kExitFailure;
  }
  if (!written || std::fflush(stdout) != 0) return kExitFailure;
  return kExitOk;
}

const Registrar kXml("xml", "xml normalize FILE", Xml);

}  // namespace
}  // namespace updprobe
