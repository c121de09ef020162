#include "net/http/http_transport.h"

void CHttpTransport::EnsureUserAgent(const IFetchEvents* events) {
  // An empty answer is asked again with the next request.
  if (user_agent_.length != 0 || events == nullptr) return;
  events->AskUserAgent(&user_agent_);
}
