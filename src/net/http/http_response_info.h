#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Scheme ids of an authentication challenge, weakest first.
enum HttpAuthScheme : uint32_t {
  kHttpAuthNone = 0,
  kHttpAuthBasic = 1,
  kHttpAuthDigestMd5 = 2,
  kHttpAuthDigestSha256 = 3,
  kHttpAuthDigestSha512_256 = 4,
};

enum HttpContentEncoding : uint32_t {
  kHttpEncodingNone = 0,
  kHttpEncodingGzip = 1,
  kHttpEncodingDeflate = 2,
};

// Method of one exchange, as the send loop hands it to ReadResponse.
enum class HttpMethod : uint32_t { kHead = 0, kGet = 1, kPost = 2, kConnect = 3 };

// Texts of a response head are cut nowhere: a value longer than its field is
// not recorded at all, since a shortened validator or Location would be a
// wrong one. A Location fits what the download session resolves.
inline constexpr uint32_t kHttpLocationSize = 1024;
inline constexpr uint32_t kHttpValidatorSize = 64;
// The parameters of a challenge: room for a nonce or an opaque value of tens
// of KiB, which some servers send and an answer repeats; a longer challenge
// is not recorded, and so not answered.
inline constexpr size_t kHttpMaxChallengeBytes = 64 * 1024;

// Pseudo status of an answer from the download form that refused the login.
inline constexpr uint32_t kHttpLoginRefusedStatus = 490;

// The response record of the HTTP transport. The caller owns it; every
// exchange clears it and fills it from the head it reads, and the body readers
// keep their place in it.
struct _HTTP_RESPONSE_INFO {
  // HTTP status, or kHttpLoginRefusedStatus.
  uint32_t status;
  // The strongest challenge of a 401 or 407 and the text after its scheme.
  uint32_t auth_scheme;
  std::string challenge;
  uint32_t content_length;
  // The 200 answer asked to be fetched again ("X-Bypass-Cache").
  uint32_t bypass_cache;
  char location[kHttpLocationSize];
  char last_modified[kHttpValidatorSize];
  char etag[kHttpValidatorSize];
  uint8_t chunked;
  // Bytes left of the current chunk while a chunked body is read.
  uint32_t chunk_left;
  uint32_t content_encoding;
  // "Content-Length" was present; 0 is a length like any other.
  uint8_t has_content_length;
  // The answer carries no body whatever its head says: a HEAD answer, 1xx,
  // 204, 304, or a tunnel that a CONNECT opened.
  uint8_t no_body;
  // "Content-Range: bytes first-last/complete" of a 206; complete is
  // kUnknownComplete for "*".
  uint8_t has_content_range;
  uint64_t range_first;
  uint64_t range_last;
  uint64_t range_complete;

  static constexpr uint64_t kUnknownComplete = ~uint64_t{0};

  void Clear() { *this = _HTTP_RESPONSE_INFO{}; }
};
