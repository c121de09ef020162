#include "platform/util/result.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>

namespace {

Result<std::string> NameOf(int id) {
  if (id < 0) return kUpdInvalidArgument;
  return std::string("module") + std::to_string(id);
}

TEST(ResultTest, HoldsEitherAValueOrTheCodeOfItsFailure) {
  const Result<std::string> found = NameOf(7);
  ASSERT_TRUE(found.ok());
  EXPECT_EQ(found.code(), kUpdOk);
  EXPECT_EQ(*found, "module7");
  EXPECT_EQ(found->size(), 7u);

  const Result<std::string> refused = NameOf(-1);
  EXPECT_FALSE(refused);
  EXPECT_EQ(refused.code(), kUpdInvalidArgument);
}

TEST(ResultTest, MovesAValueThatCannotBeCopiedOut) {
  Result<std::unique_ptr<int>> held(std::make_unique<int>(5));
  std::unique_ptr<int> taken = std::move(held).value();
  ASSERT_NE(taken, nullptr);
  EXPECT_EQ(*taken, 5);
}

// A step that passes on a code it never checked: the success case of that
// code must not become a Result that holds nothing.
Result<std::string> PassOn(UpdError code) { return code; }

TEST(ResultTest, MadeFromSuccessItHoldsAFailureInEveryBuild) {
  const Result<std::string> nothing = PassOn(kUpdOk);
  EXPECT_FALSE(nothing.ok());
  EXPECT_FALSE(nothing);
  EXPECT_NE(nothing.code(), kUpdOk);
  EXPECT_EQ(nothing.code(), Result<std::string>::kNoValueCode);
  // Every other code is kept as it came.
  EXPECT_EQ(PassOn(kUpdStopped).code(), kUpdStopped);
}

TEST(ResultTest, AskingAFailureForItsValueIsRefused) {
  Result<std::string> refused = NameOf(-1);
  EXPECT_THROW(static_cast<void>(refused.value()), std::bad_optional_access);
  EXPECT_THROW(static_cast<void>(*refused), std::bad_optional_access);
  EXPECT_THROW(static_cast<void>(refused->size()), std::bad_optional_access);
  EXPECT_THROW(static_cast<void>(std::move(refused).value()), std::bad_optional_access);
}

}  // namespace
