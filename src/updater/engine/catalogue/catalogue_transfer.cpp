#include "updater/engine/catalogue/catalogue_transfer.h"

#include "platform/util/channel_names.h"
#include "platform/util/path_helpers.h"
#include "platform/util/update_errors.h"
#include "updater/engine/session/download_session.h"

namespace {

// Kind of the settings' source flag that catalogue requests carry.
constexpr uint32_t kCatalogueSourceKind = 1;

// A catalogue body past the document limit fails its server as a catalogue
// too large for memory always has, whether it goes to memory or to a file.
constexpr TransferBound kCatalogueBound{CCatalogueBuffer::kMaxBody, kUpdOutOfMemory};

UpdError Download(const CatalogueRun& run, DownloadFileArgs& args, std::string* kept_copy) {
  char kept[kPathSize] = {};
  args.settings = run.host.settings;
  args.localFolder = run.host.updateFolder;
  args.sizeBound = kCatalogueBound;
  args.localPathOut = kept;
  args.localPathOutSize = sizeof kept;
  const auto result = static_cast<UpdError>(run.session.DownloadFile(args));
  if (kept_copy != nullptr) *kept_copy = kept;
  return result;
}

}  // namespace

CatalogueRequest MakeCatalogueRequest(const UPDATER_SETTINGS* settings, bool mode) {
  CatalogueRequest request;
  request.sourceFlag = mode && TestSourceFlags(settings, kCatalogueSourceKind) ? 1 : 0;
  request.channelName = GetChannelName(settings);
  return request;
}

UpdError DownloadCatalogueToFile(const CatalogueRun& run, const CatalogueRequest& request,
                                 const std::string& url, const char* target, bool use_validators,
                                 std::string* kept_copy) {
  DownloadFileArgs args;
  args.url = url.c_str();
  args.target = target;
  args.useValidators = use_validators;
  args.sourceFlag = request.sourceFlag;
  args.channelName = request.channelName;
  return Download(run, args, kept_copy);
}

UpdError DownloadCatalogueToBuffer(const CatalogueRun& run, const CatalogueRequest& request,
                                   const std::string& url, CCatalogueBuffer& buffer,
                                   std::string* kept_copy) {
  DownloadFileArgs args;
  args.url = url.c_str();
  args.buffer = &buffer;
  args.useValidators = true;
  args.sourceFlag = request.sourceFlag;
  args.channelName = request.channelName;
  return Download(run, args, kept_copy);
}

CatalogueListingScope::CatalogueListingScope(CDownloadSession& session) : session_(session) {
  session_.sessionWord |= CDownloadSession::kListingBit;
}

CatalogueListingScope::~CatalogueListingScope() {
  session_.sessionWord &= ~CDownloadSession::kListingBit;
}
