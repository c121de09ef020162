#pragma once

#include <optional>

// The outcome of one step of a loop: carry on with the next step, or end the
// whole loop with a result. "Carry on" stays outside the result's own number
// space, where any value picked for it could collide with a real result.
struct CarryOn {};
inline constexpr CarryOn kCarryOn{};

template <typename Result>
class [[nodiscard]] Step {
 public:
  // Both converting: a step returns kCarryOn or its result as it is.
  constexpr Step(CarryOn) {}
  constexpr Step(Result result) : result_(result) {}

  constexpr bool Ends() const { return result_.has_value(); }
  // The result that ends the loop; only when Ends().
  constexpr Result result() const { return *result_; }

 private:
  std::optional<Result> result_;
};
