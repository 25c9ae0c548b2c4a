// The owners of what the system hands out close it exactly once, whoever
// ends up holding it, and the drive lock goes with its holder.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <utility>

#include "drive/drive_lock.h"
#include "platform/unique_fd.h"

namespace norvane::test {
namespace {

namespace fs = std::filesystem;

bool IsOpen(int fd) { return fcntl(fd, F_GETFD) != -1 || errno != EBADF; }

int OpenDevNull() { return open("/dev/null", O_RDONLY | O_CLOEXEC); }

TEST(UniqueFd, ClosesItsDescriptorOnceWhereverItWentAndNotOneHandedOn) {
  int fd = -1;
  {
    UniqueFd first(OpenDevNull());
    fd = first.Get();
    ASSERT_TRUE(first);
    UniqueFd second(std::move(first));
    EXPECT_FALSE(first) << "the moved-from owner holds nothing";
    UniqueFd third;
    third = std::move(second);
    EXPECT_EQ(third.Get(), fd);
    EXPECT_TRUE(IsOpen(fd)) << "open while an owner has it";
  }
  EXPECT_FALSE(IsOpen(fd)) << "closed when its last owner went";

  UniqueFd handedOn(OpenDevNull());
  const int released = handedOn.Release();
  handedOn.Reset();
  EXPECT_TRUE(IsOpen(released)) << "a released descriptor is its new owner's";
  close(released);

  UniqueFd replaced(OpenDevNull());
  const int before = replaced.Get();
  replaced = UniqueFd(OpenDevNull());
  ASSERT_NE(replaced.Get(), before);
  EXPECT_FALSE(IsOpen(before)) << "the one replaced is closed";
}

// A node any program may lock: a file of the test's own.
class LockedNode : public ::testing::Test {
 protected:
  LockedNode() : m_node(fs::temp_directory_path() / ("norvane-lock-" + std::to_string(getpid()))) {
    std::ofstream(m_node).put('\0');
  }
  ~LockedNode() override { fs::remove(m_node); }
  std::wstring Path() const { return m_node.wstring(); }

 private:
  fs::path m_node;
};

TEST_F(LockedNode, TheLockGoesWithItsHolderAndIsLetGoWhenTheLastOneGoes) {
  {
    DriveLock first(Path());
    ASSERT_TRUE(first.Held());
    const DriveLock moved(std::move(first));
    EXPECT_TRUE(moved.Held());
    EXPECT_FALSE(first.Held()) << "the lock moved out holds nothing";
    EXPECT_FALSE(DriveLock(Path()).Held()) << "still held by the lock it moved to";
  }
  EXPECT_TRUE(DriveLock(Path()).Held()) << "let go with its holder";
}

}  // namespace
}  // namespace norvane::test
