#include "cli/stream_writer.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "support/history_test_support.h"

namespace ebbwise {
namespace {

TEST(StreamWriter, FailuresAreReportedNotSwallowed) {
  // A full disk.
  const int full = ::open("/dev/full", O_WRONLY);
  ASSERT_GE(full, 0);
  EXPECT_EQ(StreamWriter::writeAll(full, "report\n"), "No space left on device");
  ::close(full);

  // A reader that went away: a failed write, and no signal that would have
  // ended this test program.
  int ends[2];
  ASSERT_EQ(::pipe(ends), 0);
  ::close(ends[0]);
  EXPECT_EQ(StreamWriter::writeAll(ends[1], "report\n"), "Broken pipe");
  ::close(ends[1]);
  sigset_t pending;
  sigemptyset(&pending);
  sigpending(&pending);
  EXPECT_FALSE(sigismember(&pending, SIGPIPE));
  sigset_t blocked;
  pthread_sigmask(SIG_SETMASK, nullptr, &blocked);
  EXPECT_FALSE(sigismember(&blocked, SIGPIPE)) << "the signal mask is left as it was";
}

TEST(StreamWriter, WritesEverything) {
  test::TempFolder folder;
  const std::string path = folder.file("report.txt");
  const std::string text(300 * 1024, 'x');
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT, 0600);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(StreamWriter::writeAll(fd, text), std::nullopt);
  ::close(fd);
  std::ifstream in(path);
  std::stringstream read;
  read << in.rdbuf();
  EXPECT_EQ(read.str(), text);
}

}  // namespace
}  // namespace ebbwise
