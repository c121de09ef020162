#include "net/http/http_transport.h"

void CHttpTransport::EnsureUserAgent(const UPDATER_SETTINGS* /*settings*/) {}
