#include "verify/common/byte_array.h"

#include <algorithm>
#include <cstring>

ByteArray::ByteArray(const ByteArray& source, int64_t offset, int64_t length)
    : storage_(source.storage_), offset_(source.offset_ + offset), length_(length) {}

ByteArray::ByteArray(ByteArray&& other) noexcept
    : storage_(std::move(other.storage_)), offset_(other.offset_), length_(other.length_) {
  other.offset_ = 0;
  other.length_ = 0;
}

ByteArray& ByteArray::operator=(const ByteArray& other) {
  if (this == &other) return *this;
  storage_ = other.storage_;
  offset_ = other.offset_;
  length_ = other.length_;
  return *this;
}

ByteArray& ByteArray::operator=(ByteArray&& other) noexcept {
  if (this == &other) return *this;
  storage_ = std::move(other.storage_);
  offset_ = other.offset_;
  length_ = other.length_;
  other.offset_ = 0;
  other.length_ = 0;
  return *this;
}

int ByteArray::Slice(const ByteArray& source, int64_t offset, int64_t length) {
  if (source.storage_.IsEmpty() || offset < 0 || length < 0) return 0;
  if (offset > source.GetLength() || length > source.GetLength() - offset) return 0;
  const int64_t start = source.offset_ + offset;
  storage_ = source.storage_;
  offset_ = start;
  length_ = length;
  return 1;
}

int64_t ByteArray::GetLength() const {
  if (storage_.IsEmpty()) return 0;
  const int64_t held = storage_->GetSize();
  if (offset_ >= held) return 0;
  return std::min(length_, held - offset_);
}

unsigned char* ByteArray::GetData() const {
  if (storage_.IsEmpty() || storage_->GetData() == nullptr) return nullptr;
  return storage_->GetData() + std::min(offset_, storage_->GetSize());
}

std::span<const uint8_t> ByteArray::AsSpan() const {
  const unsigned char* data = GetData();
  if (data == nullptr) return {};
  return {data, static_cast<size_t>(GetLength())};
}

int ByteArray::Equals(const ByteArray& other) const {
  return Equals(other.GetLength(), other.GetData());
}

int ByteArray::Equals(int64_t length, const void* bytes) const {
  if (length != GetLength()) return 0;
  if (length == 0) return 1;
  if (bytes == nullptr) return 0;
  return std::memcmp(GetData(), bytes, static_cast<size_t>(length)) == 0 ? 1 : 0;
}

int64_t ByteArray::Compare(const ByteArray* a, const ByteArray* b) {
  if (a == nullptr || b == nullptr) return -2;
  const int64_t length = a->GetLength();
  if (length != b->GetLength()) return length - b->GetLength();
  if (length == 0) return 0;
  return std::memcmp(a->GetData(), b->GetData(), static_cast<size_t>(length));
}

int64_t ByteArray::CopyToString(char* buffer, int64_t size) const {
  const int64_t length = GetLength();
  if (buffer == nullptr || size < length + 1) return 0;
  if (length > 0) std::memcpy(buffer, GetData(), static_cast<size_t>(length));
  buffer[length] = '\0';
  return length;
}

bool ByteArray::EnsureStorage() {
  if (!storage_.IsEmpty()) return true;
  storage_ = MakeCounted<ByteStorage>();
  offset_ = 0;
  length_ = 0;
  return !storage_.IsEmpty();
}

int ByteArray::Assign(int64_t length, const void* bytes, int64_t grow_by) {
  if (length < 1 || bytes == nullptr) return 0;
  if (!EnsureStorage()) return 0;
  // The source may be a view of this very storage: keep its bytes across the resize.
  const bool aliases =
      storage_->GetData() != nullptr &&
      static_cast<const unsigned char*>(bytes) >= storage_->GetData() &&
      static_cast<const unsigned char*>(bytes) < storage_->GetData() + storage_->GetCapacity();
  if (aliases) {
    CountedPtr<ByteStorage> copy =
        NewStorage({static_cast<const uint8_t*>(bytes), static_cast<size_t>(length)});
    if (copy.IsEmpty()) return 0;
    return Assign(length, copy->GetData(), grow_by);
  }
  if (!storage_->SetSize(length, grow_by)) return 0;
  offset_ = 0;
  length_ = length;
  std::memcpy(storage_->GetData(), bytes, static_cast<size_t>(length));
  return 1;
}

int ByteArray::SetSize(int64_t n, int64_t grow_by) {
  if (n < 0) return 0;
  if (!EnsureStorage()) return 0;
  if (!storage_->SetSize(n, grow_by)) return 0;
  offset_ = 0;
  length_ = n;
  return 1;
}

int ByteArray::Append(int64_t length, const void* bytes, int64_t grow_by) {
  if (length < 1 || bytes == nullptr || offset_ != 0) return 0;
  if (!EnsureStorage()) return 0;
  const int64_t old_length = GetLength();
  int64_t total = 0;
  if (__builtin_add_overflow(old_length, length, &total)) return 0;
  CountedPtr<ByteStorage> copy;
  const unsigned char* source = static_cast<const unsigned char*>(bytes);
  if (storage_->GetData() != nullptr && source >= storage_->GetData() &&
      source < storage_->GetData() + storage_->GetCapacity()) {
    copy = NewStorage({source, static_cast<size_t>(length)});
    if (copy.IsEmpty()) return 0;
    source = copy->GetData();
  }
  if (!storage_->SetSize(total, grow_by)) return 0;
  length_ = total;
  std::memcpy(storage_->GetData() + old_length, source, static_cast<size_t>(length));
  return 1;
}

int ByteArray::CopyTo(int64_t source_offset, ByteArray& destination, int64_t destination_index,
                      int64_t count) const {
  if (count == 0) return 1;
  if (source_offset < 0 || count < 0 || destination_index < 0) return 0;
  const int64_t length = GetLength();
  if (source_offset > length || count > length - source_offset) return 0;
  if (destination_index >= destination.GetLength()) return 0;
  const unsigned char* from = GetData() + source_offset;
  // Growing the destination may move or shrink storage that this view shares.
  CountedPtr<ByteStorage> copy;
  if (count > destination.GetLength() - destination_index) {
    if (storage_.Get() == destination.storage_.Get()) {
      copy = NewStorage({from, static_cast<size_t>(count)});
      if (copy.IsEmpty()) return 0;
      from = copy->GetData();
    }
    if (!destination.SetSize(destination_index + count)) return 0;
  }
  std::memmove(destination.GetData() + destination_index, from, static_cast<size_t>(count));
  return 1;
}

void ByteArray::Reverse() {
  unsigned char* data = GetData();
  if (data == nullptr) return;
  std::reverse(data, data + GetLength());
}

int ByteArray::Attach(std::unique_ptr<ByteStorage> array) {
  if (array == nullptr) return 0;
  RefCount_del<ByteStorage>* block = RefCount_del<ByteStorage>::Create(array.get());
  Clear();
  if (block == nullptr) return 0;
  ByteStorage* raw = array.release();
  storage_ = CountedPtr<ByteStorage>::Adopt(raw, block);
  offset_ = 0;
  length_ = raw->GetSize();
  return 1;
}

CountedPtr<ByteStorage> ByteArray::NewStorage(std::span<const uint8_t> bytes) {
  CountedPtr<ByteStorage> fresh = MakeCounted<ByteStorage>();
  if (fresh.IsEmpty()) return {};
  if (bytes.empty()) return fresh;
  if (!fresh->SetSize(static_cast<int64_t>(bytes.size()))) return {};
  std::memcpy(fresh->GetData(), bytes.data(), bytes.size());
  return fresh;
}

int ByteArray::AssignTail(const ByteArray& source, int64_t start) {
  const int64_t length = source.GetLength();
  if (length == 0) return 1;
  if (start < 0 || start >= length) return 0;
  CountedPtr<ByteStorage> fresh = NewStorage(source.AsSpan().subspan(static_cast<size_t>(start)));
  if (fresh.IsEmpty()) return 0;
  storage_ = std::move(fresh);
  offset_ = 0;
  length_ = length - start;
  return 1;
}

int ByteArray::AssignArray(const ByteStorage& array) {
  return AssignBytes({array.GetData(), static_cast<size_t>(array.GetSize())});
}

int ByteArray::AssignBytes(std::span<const uint8_t> bytes) {
  CountedPtr<ByteStorage> fresh = NewStorage(bytes);
  if (fresh.IsEmpty()) return 0;
  storage_ = std::move(fresh);
  offset_ = 0;
  length_ = static_cast<int64_t>(bytes.size());
  return 1;
}

int ByteArray::AssignCopy(const ByteArray& source) {
  if (source.storage_.IsEmpty()) {
    Clear();
    return 1;
  }
  const ByteStorage& whole = *source.storage_;
  CountedPtr<ByteStorage> fresh =
      NewStorage({whole.GetData(), static_cast<size_t>(whole.GetSize())});
  if (fresh.IsEmpty()) return 0;
  const int64_t offset = source.offset_;
  const int64_t length = source.length_;
  storage_ = std::move(fresh);
  offset_ = offset;
  length_ = length;
  return 1;
}

void ByteArray::Clear() {
  storage_.Reset();
  offset_ = 0;
  length_ = 0;
}
