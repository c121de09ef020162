#pragma once

#include "platform/util/host_binding.h"
#include "updater.h"

// The library context behind the host's opaque UPDATER_CONTEXT handle. The
// platform helpers see only its HostBinding part; the update engine adds its
// lock, lists and sessions here.
struct UPDATER_CONTEXT : HostBinding {};
