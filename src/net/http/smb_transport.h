#pragma once

#include <cstdint>

#include "net/http/fetch_config.h"
#include "net/http/transfer_bound.h"
#include "net/http/transport.h"
#include "platform/util/update_errors.h"

class CBuffer;

// The transport of "FILE:" sources: a local path or a share path ("//server/
// share/..." or with backslashes) that the file layer opens like any path.
// It reads the whole file at once and hands it to a buffer or a file.
class CSmbTransport : public ITransport {
 public:
  // How long the open waits for a file that another process holds locked.
  static constexpr uint32_t kOpenWaitMs = 3000;
  // progress_word bit that asks for a status event (2) before the file event.
  static constexpr uint32_t kProgressStatusBit = 0x80000000u;

  CSmbTransport() = default;

  // Copies source_path into target when given, else into the file
  // target_path. With an event sink in config: event 2 {1, 0,
  // caller_word} when progress_word asks for it, then event 3 {1, size / 2,
  // source_path, caller_word} once the file was read, and a second event 3
  // with the other half once a file target was written. A file larger than
  // bound is refused with its result before it is read, with no event and
  // nothing written. An abort seen at the end turns any result into kUpdStopped.
  [[nodiscard]] UpdError Download(const FetchConfig& config, const char* source_path,
                                  const char* target_path, uint32_t progress_word,
                                  uint32_t caller_word, CBuffer* target,
                                  const TransferBound& bound = {});

 private:
  [[nodiscard]] UpdError Copy(const FetchConfig& config, const char* source_path,
                              const char* target_path, uint32_t progress_word, uint32_t caller_word,
                              CBuffer* target, const TransferBound& bound);
};
