// The refresh lock seen from this process and from another one. A program of
// its own: the child runs code after fork, which is only safe while the
// process has no other threads.
#include "refresh_lock.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace {

class RefreshLockTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "refresh-lock-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        home_ = pattern + "/";
        fs::create_directories(home_ + "kernel");
    }
    void TearDown() override { fs::remove_all(home_); }

    std::string LockText() const {
        std::ifstream in(CRefreshLock::LockPath(home_));
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    std::string home_;
};

TEST_F(RefreshLockTest, TheHolderIsKnownInThisProcess) {
    EXPECT_EQ(CRefreshLock::HolderPid(home_), std::nullopt);  // no lock file yet
    std::string error;
    auto lock = CRefreshLock::Acquire(home_, error);
    ASSERT_NE(lock, nullptr) << error;
    EXPECT_EQ(LockText(), std::to_string(::getpid()) + "\n");
    // Asking twice must not drop the claim.
    EXPECT_EQ(CRefreshLock::HolderPid(home_), ::getpid());
    EXPECT_EQ(CRefreshLock::HolderPid(home_), ::getpid());

    EXPECT_EQ(CRefreshLock::Acquire(home_, error), nullptr);
    EXPECT_NE(error.find("process " + std::to_string(::getpid())), std::string::npos) << error;

    lock.reset();
    EXPECT_EQ(CRefreshLock::HolderPid(home_), std::nullopt);  // the stale id is not a holder
    EXPECT_NE(CRefreshLock::Acquire(home_, error), nullptr) << error;
}

TEST_F(RefreshLockTest, AnotherProcessHoldsItUntilItEnds) {
    int toChild[2];
    int fromChild[2];
    ASSERT_EQ(::pipe(toChild), 0);
    ASSERT_EQ(::pipe(fromChild), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(toChild[1]);
        std::string error;
        auto lock = CRefreshLock::Acquire(home_, error);
        const char held = lock ? 'y' : 'n';
        char done = 0;
        const bool talked =
            ::write(fromChild[1], &held, 1) == 1 && ::read(toChild[0], &done, 1) >= 0;
        ::_exit(talked ? 0 : 1);
    }
    char held = 0;
    ASSERT_EQ(::read(fromChild[0], &held, 1), 1);
    ASSERT_EQ(held, 'y');
    EXPECT_EQ(CRefreshLock::HolderPid(home_), child);
    std::string error;
    EXPECT_EQ(CRefreshLock::Acquire(home_, error), nullptr);

    ::close(toChild[1]);  // the child ends without releasing the lock itself
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_EQ(CRefreshLock::HolderPid(home_), std::nullopt);
    EXPECT_NE(CRefreshLock::Acquire(home_, error), nullptr) << error;
    for (int fd : {toChild[0], fromChild[0], fromChild[1]}) {
        ::close(fd);
    }
}

}  // namespace
