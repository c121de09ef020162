#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/os/os_file.h"
#include "updater.h"

class CBuffer;

// Where a download puts its body: a file or a memory buffer. The sink counts
// what it takes, partial bytes of a resumed download included, and refuses
// to grow past the 32-bit size a download can describe.
class HttpBodySink {
 public:
  virtual ~HttpBodySink() = default;
  HttpBodySink(const HttpBodySink&) = delete;
  HttpBodySink& operator=(const HttpBodySink&) = delete;

  // Makes the target ready, before any byte.
  [[nodiscard]] virtual UPD_ERROR Open() = 0;
  // Puts the content of a partial earlier download first; *size gets its
  // size.
  [[nodiscard]] virtual UPD_ERROR TakePartial(OS_FILE* partial, uint64_t* size) = 0;
  // Releases the target; a file that cannot be completed fails here.
  [[nodiscard]] virtual UPD_ERROR Finish() = 0;

  [[nodiscard]] UPD_ERROR Put(const uint8_t* data, size_t size);

 protected:
  HttpBodySink() = default;
  [[nodiscard]] virtual UPD_ERROR Write(const uint8_t* data, size_t size) = 0;
  // Counts bytes taken outside Put; false past the limit.
  [[nodiscard]] bool Count(uint64_t size);

 private:
  uint64_t taken_ = 0;
};

// The body into a file created for it (its folder too), replacing a file of
// that name in place.
class FileBodySink : public HttpBodySink {
 public:
  explicit FileBodySink(const char* path) : path_(path) {}
  ~FileBodySink() override;

  UPD_ERROR Open() override;
  UPD_ERROR TakePartial(OS_FILE* partial, uint64_t* size) override;
  UPD_ERROR Finish() override;

 protected:
  UPD_ERROR Write(const uint8_t* data, size_t size) override;

 private:
  const char* path_;
  OS_FILE* file_ = nullptr;
};

// The body appended to a buffer.
class BufferBodySink : public HttpBodySink {
 public:
  explicit BufferBodySink(CBuffer* target) : target_(target) {}

  UPD_ERROR Open() override;
  UPD_ERROR TakePartial(OS_FILE* partial, uint64_t* size) override;
  UPD_ERROR Finish() override { return 0; }

 protected:
  UPD_ERROR Write(const uint8_t* data, size_t size) override;

 private:
  CBuffer* target_;
};
