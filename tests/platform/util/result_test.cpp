#include "platform/util/result.h"

#include <gtest/gtest.h>

#include <memory>
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

}  // namespace
