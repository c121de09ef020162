#pragma once

#include <atomic>
#include <cstdint>
#include <new>
#include <type_traits>
#include <utility>

// Control block of a shared object. The count is the only state shared across
// threads, so it alone is atomic; everything else belongs to one owner at a time.
class RefCountBase {
 public:
  RefCountBase() = default;
  RefCountBase(const RefCountBase&) = delete;
  RefCountBase& operator=(const RefCountBase&) = delete;

  // Destroys the held object.
  virtual void Dispose() = 0;
  // Frees the block's own storage.
  virtual void Destroy() = 0;
  virtual ~RefCountBase() = default;

  void AddRef() { count_.fetch_add(1, std::memory_order_seq_cst); }
  // Drops one reference. The last one disposes of the object, frees the block
  // and returns 0; any earlier one returns 1.
  int Release();
  uint32_t GetCount() const { return count_.load(std::memory_order_seq_cst); }
  bool IsConstructed() const { return constructed_ != 0; }

 protected:
  void SetConstructed(bool constructed) { constructed_ = constructed ? 1 : 0; }

 private:
  std::atomic<uint32_t> count_{1};
  uint32_t constructed_ = 0;
};

// Count and object in one heap block.
template <class T>
class RefCountObj final : public RefCountBase {
 public:
  // Allocates the block (count 1) and constructs T in it; null when the heap is exhausted.
  template <class... Args>
  [[nodiscard]] static RefCountObj* Create(Args&&... args) {
    auto* block = new (std::nothrow) RefCountObj();
    if (block == nullptr) return nullptr;
    ::new (static_cast<void*>(block->storage_)) T(std::forward<Args>(args)...);
    block->SetConstructed(true);
    return block;
  }

  T* Get() { return std::launder(reinterpret_cast<T*>(storage_)); }

  void Dispose() override {
    if (!IsConstructed()) return;
    Get()->~T();
    SetConstructed(false);
  }
  void Destroy() override { delete this; }

 private:
  RefCountObj() = default;
  ~RefCountObj() override = default;

  alignas(T) unsigned char storage_[sizeof(T)];
};

// Count in its own block, pointing at an object allocated separately (adopted
// from a caller that built it with new).
template <class T>
class RefCount_del final : public RefCountBase {
 public:
  // The block does not own the object until it exists: on failure (null) the
  // caller keeps it.
  [[nodiscard]] static RefCount_del* Create(T* object) {
    return new (std::nothrow) RefCount_del(object);
  }

  T* Get() const { return object_; }

  void Dispose() override {
    delete object_;
    object_ = nullptr;
  }
  void Destroy() override { delete this; }

 private:
  explicit RefCount_del(T* object) : object_(object) {}
  ~RefCount_del() override = default;

  T* object_;
};

// Shared pointer {object, control block}; empty when both are null.
template <class T>
class CountedPtr {
 public:
  CountedPtr() = default;
  CountedPtr(const CountedPtr& other) : object_(other.object_), block_(other.block_) {
    if (block_ != nullptr) block_->AddRef();
  }
  CountedPtr(CountedPtr&& other) noexcept : object_(other.object_), block_(other.block_) {
    other.object_ = nullptr;
    other.block_ = nullptr;
  }
  // Shares another pointer whose object converts to T (a derived class).
  template <class U>
  requires std::is_convertible_v<U*, T*> CountedPtr(
      const CountedPtr<U>& other)  // NOLINT(google-explicit-constructor)
      : object_(other.object_), block_(other.block_) {
    if (block_ != nullptr) block_->AddRef();
  }
  ~CountedPtr() { Reset(); }

  CountedPtr& operator=(const CountedPtr& other) {
    if (this == &other) return *this;
    if (other.block_ != nullptr) other.block_->AddRef();
    Reset();
    object_ = other.object_;
    block_ = other.block_;
    return *this;
  }
  CountedPtr& operator=(CountedPtr&& other) noexcept {
    if (this == &other) return *this;
    Reset();
    object_ = other.object_;
    block_ = other.block_;
    other.object_ = nullptr;
    other.block_ = nullptr;
    return *this;
  }

  // Takes over one reference that the caller already holds on the block.
  [[nodiscard]] static CountedPtr Adopt(T* object, RefCountBase* block) {
    CountedPtr p;
    p.object_ = object;
    p.block_ = block;
    return p;
  }

  // Shares the block under a pointer to a derived (or otherwise related) type;
  // the caller knows the object's real type.
  template <class U>
  [[nodiscard]] CountedPtr<U> StaticCast() const {
    if (block_ != nullptr) block_->AddRef();
    return CountedPtr<U>::Adopt(static_cast<U*>(object_), block_);
  }

  void Reset() {
    if (block_ != nullptr) (void)block_->Release();
    object_ = nullptr;
    block_ = nullptr;
  }

  T* Get() const { return object_; }
  T* operator->() const { return object_; }
  T& operator*() const { return *object_; }
  explicit operator bool() const { return object_ != nullptr; }
  bool IsEmpty() const { return object_ == nullptr; }
  RefCountBase* GetBlock() const { return block_; }
  uint32_t GetCount() const { return block_ != nullptr ? block_->GetCount() : 0; }

 private:
  template <class U>
  friend class CountedPtr;

  T* object_ = nullptr;
  RefCountBase* block_ = nullptr;
};

// Builds a T in a new RefCountObj; empty when the heap is exhausted.
template <class T, class... Args>
[[nodiscard]] CountedPtr<T> MakeCounted(Args&&... args) {
  RefCountObj<T>* block = RefCountObj<T>::Create(std::forward<Args>(args)...);
  if (block == nullptr) return {};
  return CountedPtr<T>::Adopt(block->Get(), block);
}
