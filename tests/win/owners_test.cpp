// The owners of what Windows hands out give it back exactly once, whoever
// ends up holding it, and the drive lock goes with its holder.
#include <gtest/gtest.h>

#include <windows.h>

#include <thread>
#include <utility>

#include "drive/drive_lock.h"
#include "platform/scoped.h"

namespace norvane {
namespace {

bool IsOpen(HANDLE handle) {
  DWORD flags = 0;
  return GetHandleInformation(handle, &flags) != FALSE;
}

HANDLE NewEvent() { return CreateEventW(nullptr, TRUE, FALSE, nullptr); }

TEST(UniqueHandle, ClosesItsHandleOnceWhereverItWent) {
  HANDLE raw = nullptr;
  {
    UniqueHandle first(NewEvent());
    raw = first.Get();
    UniqueHandle second(std::move(first));
    EXPECT_FALSE(first) << "the moved-from owner holds nothing";
    UniqueHandle third;
    third = std::move(second);
    EXPECT_EQ(third.Get(), raw);
    EXPECT_TRUE(IsOpen(raw)) << "open while an owner has it";
  }
  EXPECT_FALSE(IsOpen(raw)) << "closed when its last owner went";
  EXPECT_FALSE(UniqueHandle(INVALID_HANDLE_VALUE)) << "what a failed open gives back is no handle";
}

// How another thread finds a mutex: free to take, or taken by someone.
DWORD AnotherThreadWaitsOn(HANDLE mutex) {
  DWORD wait = WAIT_FAILED;
  std::thread([&] {
    wait = WaitForSingleObject(mutex, 0);
    if (wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED) ReleaseMutex(mutex);
  }).join();
  return wait;
}

TEST(HeldMutex, LetsGoOfTheMutexBeforeClosingIt) {
  const UniqueHandle mutex(CreateMutexW(nullptr, FALSE, nullptr));
  HANDLE ours = nullptr;
  ASSERT_TRUE(
      DuplicateHandle(GetCurrentProcess(), mutex.Get(), GetCurrentProcess(), &ours, 0, FALSE, DUPLICATE_SAME_ACCESS));
  ASSERT_EQ(WaitForSingleObject(ours, 0), WAIT_OBJECT_0);
  {
    HeldMutex held(UniqueHandle{ours});
    HeldMutex movedTo;
    movedTo = std::move(held);
    EXPECT_FALSE(held);
    EXPECT_EQ(AnotherThreadWaitsOn(mutex.Get()), static_cast<DWORD>(WAIT_TIMEOUT)) << "held while an owner has it";
  }
  EXPECT_FALSE(IsOpen(ours)) << "closed when its last owner went";
  // A mutex closed without being let go is abandoned, not free.
  EXPECT_EQ(AnotherThreadWaitsOn(mutex.Get()), WAIT_OBJECT_0) << "and let go before";
}

TEST(DriveLock, GoesWithItsHolderAndIsLetGoWhenTheLastOneGoes) {
  const std::wstring drive = L"\\\\.\\OwnersTest" + std::to_wstring(GetCurrentProcessId());
  {
    DriveLock first(drive);
    ASSERT_TRUE(first.Held());
    const DriveLock moved(std::move(first));
    EXPECT_TRUE(moved.Held());
    EXPECT_FALSE(first.Held()) << "the lock moved out holds nothing";
    bool heldElsewhere = true;
    std::thread([&] { heldElsewhere = !DriveLock(drive).Held(); }).join();
    EXPECT_TRUE(heldElsewhere) << "still held by the lock it moved to";
  }
  bool freeAgain = false;
  std::thread([&] { freeAgain = DriveLock(drive).Held(); }).join();
  EXPECT_TRUE(freeAgain) << "let go with its holder";
}

}  // namespace
}  // namespace norvane
