#pragma once

#include "platform/util/update_errors.h"

// No C++ exception may cross an exported function into the host. The
// library's code raises none of its own; what can arrive is a failed
// allocation inside the standard library, which the host sees as the
// export's answer for a failure (kUpdOutOfMemory for the exports that return a
// code).
template <typename Result, typename Body>
[[nodiscard]] Result GuardExport(Result on_failure, Body&& body) noexcept {
  try {
    return body();
  } catch (...) {
    return on_failure;
  }
}

template <typename Body>
[[nodiscard]] UPD_ERROR GuardExport(Body&& body) noexcept {
  return GuardExport<UPD_ERROR>(kUpdOutOfMemory, static_cast<Body&&>(body));
}

template <typename Body>
void GuardVoidExport(Body&& body) noexcept {
  try {
    body();
  } catch (...) {
  }
}
