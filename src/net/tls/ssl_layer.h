#pragma once

// The TLS session layer's process-wide state, set once by OsSslInitialize.

#include <cstdint>

#include "net/tls/openssl_function_table.h"
#include "net/tls/openssl_initializer.h"
#include "net/tls/ssl_session.h"

// The loaded table; null before OsSslInitialize succeeded.
const OpenSslFunctionTable* SslFunctions();
// The kept loader handle (valid once SslFunctions is non-null).
const Shared::Library::OpenSSL::Initializer& SslInitializer();
// The ex-data index under which every SSL object carries its session.
int SslSessionIndex();
// The session an SSL object carries, or null.
OS_SSL_SESSION* SslSessionOf(const SSL* ssl);

// Empties OpenSSL's error queue into the session's log callback (session may
// be null); returns kOsSslError.
OsSslResult OsSslDrainErrors(const OS_SSL_SESSION* session);
