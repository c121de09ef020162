#pragma once

#include "platform/util/http1_syntax.h"

// The ASCII helpers of the HTTP code, from the HTTP/1.1 syntax both clients
// share: header names and tokens compare ignoring the case of A to Z only.
using http1::EqualsNoCase;
using http1::IsBlank;
using http1::SkipBlanks;
using http1::StartsWithNoCase;
using http1::TrimBlanks;
