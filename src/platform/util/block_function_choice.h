#pragma once

#include <atomic>

// A process-wide block function, picked on first use by the digest's own
// chooser from the processor's features (platform/util/cpu_features.h), so
// each family keeps its choice to itself. Tests replace the choice to run
// every form over one set of vectors.
template <typename Function>
class BlockFunctionChoice {
 public:
  using Chooser = Function (*)();

  explicit constexpr BlockFunctionChoice(Chooser choose) : choose_(choose) {}
  BlockFunctionChoice(const BlockFunctionChoice&) = delete;
  BlockFunctionChoice& operator=(const BlockFunctionChoice&) = delete;

  // The function in use, picked now when there is none yet; concurrent first
  // calls all end with the one that was stored first.
  [[nodiscard]] Function Get() {
    const Function current = function_.load(std::memory_order_relaxed);
    if (current != nullptr) return current;
    Function expected = nullptr;
    function_.compare_exchange_strong(expected, choose_(), std::memory_order_relaxed);
    return function_.load(std::memory_order_relaxed);
  }

  void Set(Function function) { function_.store(function, std::memory_order_relaxed); }

 private:
  const Chooser choose_;
  std::atomic<Function> function_{nullptr};
};
