#include "repository/client/repository_run.h"

#include "platform/util/host_fields.h"
#include "repository/client/repository_urls.h"

RepositorySettings ReadRepositorySettings(const UPDATER_SETTINGS& settings) {
  RepositorySettings fields;
  fields.product = HostFieldString(settings.productName);
  fields.language = HostFieldString(settings.language);
  fields.productVersion = HostFieldString(settings.productVersion2);
  fields.repositoryFlags = settings.repositoryFlags;
  fields.baseUrl = RepositoryBaseUrl(settings);
  return fields;
}
