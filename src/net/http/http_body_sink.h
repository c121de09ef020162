#pragma once

#include <cstddef>
#include <cstdint>

#include "net/http/transfer_bound.h"
#include "platform/os/os_file.h"
#include "platform/util/update_errors.h"
#include "updater.h"

class CBuffer;

// Where a download puts its body: a file or a memory buffer. The sink counts
// what it takes, partial bytes of a resumed download included, and refuses
// to grow past its bound (and the 32-bit size a download can describe):
// the block that would pass it is not written.
class HttpBodySink {
 public:
  virtual ~HttpBodySink() = default;
  HttpBodySink(const HttpBodySink&) = delete;
  HttpBodySink& operator=(const HttpBodySink&) = delete;

  // Makes the target ready, before any byte.
  [[nodiscard]] virtual UpdError Open() = 0;
  // Puts the content of a partial earlier download first; *size gets its
  // size.
  [[nodiscard]] virtual UpdError TakePartial(OS_FILE* partial, uint64_t* size) = 0;
  // Releases the target; a file that cannot be completed fails here.
  [[nodiscard]] virtual UpdError Finish() = 0;

  [[nodiscard]] UpdError Put(const uint8_t* data, size_t size);
  // Gives the body up as too large: what the sink holds of it is dropped (a
  // file it created is deleted) and the bound's result comes back. Before
  // Open it leaves the target as it was.
  [[nodiscard]] UpdError Refuse();

  [[nodiscard]] const TransferBound& bound() const { return bound_; }

 protected:
  explicit HttpBodySink(const TransferBound& bound) : bound_(bound) {}
  [[nodiscard]] virtual UpdError Write(const uint8_t* data, size_t size) = 0;
  virtual void Discard() = 0;
  // Counts bytes taken outside Put; false past the limit.
  [[nodiscard]] bool Count(uint64_t size);

 private:
  TransferBound bound_;
  uint64_t taken_ = 0;
};

// The body into a file created for it (its folder too), replacing a file of
// that name in place.
class FileBodySink : public HttpBodySink {
 public:
  FileBodySink(const char* path, const TransferBound& bound) : HttpBodySink(bound), path_(path) {}
  ~FileBodySink() override;

  UpdError Open() override;
  UpdError TakePartial(OS_FILE* partial, uint64_t* size) override;
  UpdError Finish() override;

 protected:
  UpdError Write(const uint8_t* data, size_t size) override;
  // Closes the file and deletes it unless it is no regular file (a device
  // target is written in place and stays).
  void Discard() override;

 private:
  const char* path_;
  OS_FILE* file_ = nullptr;
};

// The body appended to a buffer.
class BufferBodySink : public HttpBodySink {
 public:
  BufferBodySink(CBuffer* target, const TransferBound& bound)
      : HttpBodySink(bound), target_(target) {}

  UpdError Open() override;
  UpdError TakePartial(OS_FILE* partial, uint64_t* size) override;
  UpdError Finish() override { return kUpdOk; }

 protected:
  UpdError Write(const uint8_t* data, size_t size) override;
  void Discard() override;

 private:
  CBuffer* target_;
};
