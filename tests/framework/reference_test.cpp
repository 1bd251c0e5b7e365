// A registry that lists objects without owning them hands them out with TryAddRef: it must
// never revive an object whose last reference is gone.
#include <gtest/gtest.h>

#include "framework/Reference.h"

namespace OSTREL {
namespace {

class CCounted : public CReferenceT<CCounted> {
 public:
  explicit CCounted(int& finalReleases) : finalReleases_(finalReleases) {}
  void OnFinalRelease() override { ++finalReleases_; }

 private:
  int& finalReleases_;
};

TEST(ReferenceTest, TryAddRefTakesAReferenceOnlyWhileOneIsHeld) {
  int finalReleases = 0;
  CCounted object(finalReleases);
  EXPECT_FALSE(object.TryAddRef());  // never referenced: nothing to hold on to
  EXPECT_EQ(object.GetRefCount(), 0);

  object.AddRef();
  ASSERT_TRUE(object.TryAddRef());
  EXPECT_EQ(object.GetRefCount(), 2);
  object.Release();
  object.Release();
  EXPECT_EQ(finalReleases, 1);

  EXPECT_FALSE(object.TryAddRef());  // on its way out: stays released
  EXPECT_EQ(finalReleases, 1);
}

}  // namespace
}  // namespace OSTREL
