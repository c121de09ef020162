#include <cstdio>
#include <string>
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
  std::string text;
  if (MemStoreLoadFile(&document, args[1], kXmlDefaultDepth) != kXmlOk ||
      !MemStoreSerialize(document.get(), MemStoreGetRoot(document.get()), &text)) {
    std::fprintf(stderr, "updprobe: the store refuses %s\n", args[1]);
    return kExitFailure;
  }
  if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() || std::fflush(stdout) != 0) {
    return kExitFailure;
  }
  return kExitOk;
}

const Registrar kXml("xml", "xml normalize FILE", Xml);

}  // namespace
}  // namespace updprobe
