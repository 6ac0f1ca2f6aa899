#include <gtest/gtest.h>
#include <windows.h>
#include <unknwn.h>

#include <string>
#include <utility>
#include <vector>

#include "support/handles.h"
#include "support/unique_handle.h"

namespace {

// A handle kind whose closer only records what it was given; -1 owns nothing.
std::vector<int> g_closed;

struct counted_traits {
  using handle_type = int;
  static int invalid() noexcept { return -1; }
  static void close(int handle) noexcept { g_closed.push_back(handle); }
};
using counted = orelib::unique_handle<counted_traits>;

class UniqueHandle : public testing::Test {
 protected:
  void SetUp() override { g_closed.clear(); }
};

TEST_F(UniqueHandle, ClosesOnceWhenDestroyed) {
  {
    const counted owner(7);
    EXPECT_TRUE(owner);
    EXPECT_EQ(owner.get(), 7);
    EXPECT_TRUE(g_closed.empty());
  }
  EXPECT_EQ(g_closed, std::vector<int>{7});
}

TEST_F(UniqueHandle, NeverClosesTheInvalidValue) {
  {
    const counted empty;
    EXPECT_FALSE(empty);
    EXPECT_EQ(empty.get(), -1);
    const counted given_invalid(-1);
    EXPECT_FALSE(given_invalid);
    counted emptied(3);
    emptied.reset();
    emptied.reset();
    emptied.reset(-1);
  }
  // 0 is a valid handle of this kind: only the invalid value is passed over.
  { const counted zero(0); }
  EXPECT_EQ(g_closed, (std::vector<int>{3, 0}));
}

TEST_F(UniqueHandle, MoveTransfersOwnership) {
  {
    counted source(4);
    counted target(std::move(source));
    EXPECT_FALSE(source);
    EXPECT_EQ(target.get(), 4);
    EXPECT_TRUE(g_closed.empty());
  }
  EXPECT_EQ(g_closed, std::vector<int>{4});
}

TEST_F(UniqueHandle, MoveAssignmentClosesTheOldTargetAtOnce) {
  counted source(5);
  counted target(6);
  target = std::move(source);
  EXPECT_EQ(g_closed, std::vector<int>{6});
  EXPECT_FALSE(source);
  EXPECT_EQ(target.get(), 5);

  // Onto itself: nothing closes and the handle stays.
  counted& same = target;
  target = std::move(same);
  EXPECT_EQ(target.get(), 5);
  EXPECT_EQ(g_closed, std::vector<int>{6});

  // An empty source empties the target.
  target = counted();
  EXPECT_FALSE(target);
  EXPECT_EQ(g_closed, (std::vector<int>{6, 5}));
}

TEST_F(UniqueHandle, ResetClosesThePreviousHandle) {
  counted owner(1);
  owner.reset(2);
  EXPECT_EQ(g_closed, std::vector<int>{1});
  EXPECT_EQ(owner.get(), 2);
  owner.reset();
  EXPECT_EQ(g_closed, (std::vector<int>{1, 2}));
  EXPECT_FALSE(owner);
}

TEST_F(UniqueHandle, ReleaseHandsOverWithoutClosing) {
  int released = -1;
  {
    counted owner(8);
    released = owner.release();
    EXPECT_FALSE(owner);
  }
  EXPECT_EQ(released, 8);
  EXPECT_TRUE(g_closed.empty());
}

TEST_F(UniqueHandle, PutClosesTheHeldHandleAndTakesTheAnswer) {
  {
    counted owner(9);
    int* slot = owner.put();
    EXPECT_EQ(g_closed, std::vector<int>{9});
    EXPECT_EQ(*slot, -1);
    *slot = 10;
    EXPECT_EQ(owner.get(), 10);
  }
  EXPECT_EQ(g_closed, (std::vector<int>{9, 10}));
}

// The Win32 kinds reach their real closer: a file opened without sharing cannot be opened
// again until its owner lets it go.
TEST(Win32Handles, FileHandleClosesTheFile) {
  char directory[MAX_PATH] = {};
  char path[MAX_PATH] = {};
  ASSERT_NE(GetTempPathA(sizeof directory, directory), 0u);
  ASSERT_NE(GetTempFileNameA(directory, "uh", 0, path), 0u);
  const auto open_exclusive = [&path] {
    return orelib::file_handle(
        CreateFileA(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  };
  {
    orelib::file_handle first = open_exclusive();
    ASSERT_TRUE(first);
    const orelib::file_handle second = open_exclusive();
    const DWORD error = GetLastError();
    EXPECT_FALSE(second);
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    first.reset();
    EXPECT_TRUE(open_exclusive());
    first = open_exclusive();
    ASSERT_TRUE(first);
  }
  EXPECT_TRUE(open_exclusive());
  EXPECT_TRUE(DeleteFileA(path));
}

// A COM reference is given back through the interface's own Release.
struct CountedObject : IUnknown {
  ULONG references = 1;
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** object) override {
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
  ULONG STDMETHODCALLTYPE Release() override { return --references; }
};

TEST(Win32Handles, ComPtrReleasesOnce) {
  CountedObject object;
  {
    orelib::com_ptr<IUnknown> first(&object);
    object.AddRef();
    orelib::com_ptr<IUnknown> second(&object);
    EXPECT_EQ(object.references, 2u);
    second = std::move(first);
    EXPECT_EQ(object.references, 1u);
  }
  EXPECT_EQ(object.references, 0u);
}

}  // namespace
