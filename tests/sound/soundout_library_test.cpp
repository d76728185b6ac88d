// The library's start and end bring the sound system up and down.
#include <gtest/gtest.h>

#include "core/core_api.h"
#include "sound/sound_system.h"

namespace {

// On the default output (SDL's dummy driver under the test runner).
TEST(SoundWithTheLibrary, StartsAndEndsWithTheLibrary) {
  EnableLogFile(0);
  ChangeWindowMode(1);
  ASSERT_EQ(LibraryInit(), 0);
  EXPECT_TRUE(IsSoundSystemStarted());
  EXPECT_EQ(LibraryEnd(), 0);
  EXPECT_FALSE(IsSoundSystemStarted());
  EnableLogFile(1);
}

}  // namespace
