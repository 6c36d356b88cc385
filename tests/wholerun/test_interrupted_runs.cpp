// Runs that end before their end: a signal from the user or a batch
// scheduler, a console whose reader has gone, the file size limit. However
// a run ends, every file it wrote ends in a whole record, and the status
// says how it ended.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "testutil.hpp"

namespace fs = std::filesystem;
using testutil::readFile;

namespace {

// Starts the program in the current folder with the given arguments,
// standard input from /dev/null, standard output to `outFd` (or the file
// prog.stdout) and standard error to prog.stderr, under a file size limit
// in bytes when one is given. The signals that end a run take their
// default action in the child whatever the test runner ignores; with
// `blockEnd` the child starts with them blocked, as a careless parent may
// leave them.
pid_t start(const std::vector<std::string>& args, int outFd = -1, rlim_t fileLimit = 0,
            bool blockEnd = false) {
  std::vector<std::string> all = {VORN_BINARY};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  const int in = ::open("/dev/null", O_RDONLY);
  const int out = outFd >= 0 ? outFd : ::open("prog.stdout", O_WRONLY | O_CREAT | O_TRUNC, 0644);
  const int err = ::open("prog.stderr", O_WRONLY | O_CREAT | O_TRUNC, 0644);
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(in, 0);
    ::dup2(out, 1);
    ::dup2(err, 2);
    sigset_t mask;
    sigemptyset(&mask);
    for (int s : {SIGINT, SIGTERM, SIGHUP, SIGPIPE, SIGXFSZ}) {
      ::signal(s, SIG_DFL);
      if (blockEnd && s != SIGPIPE && s != SIGXFSZ) sigaddset(&mask, s);
    }
    ::sigprocmask(SIG_SETMASK, &mask, nullptr);
    if (fileLimit > 0) {
      const rlimit r{fileLimit, fileLimit};
      ::setrlimit(RLIMIT_FSIZE, &r);
    }
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  ::close(in);
  if (outFd < 0) ::close(out);
  ::close(err);
  return pid;
}

int waitFor(pid_t pid) {
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return status;
}

// The latest value of the progress file, 0 while there is none.
int progress() {
  const std::string p = readFile("vornprog.out");
  const auto at = p.find("%Completed:");
  return at == std::string::npos ? 0 : std::atoi(p.c_str() + at + 11);
}

// Every file the example's run writes is missing, empty or ends in CR LF.
void expectWholeRecords(const std::string& label) {
  for (const char* name : {"aldmouth.log", "screen.txt", "vornprog.out", "sediment.out",
                           "velprof.out", "stats.out", "packets.out", "conc.out", "map.out",
                           "bio.out", "biomap.out"}) {
    const std::string bytes = readFile(name);
    if (bytes.empty()) continue;
    EXPECT_EQ(bytes.substr(bytes.size() - std::min<std::size_t>(2, bytes.size())), "\r\n")
        << label << ": " << name << " ends inside a record (" << bytes.size() << " bytes)";
  }
}

void copyExample() {
  const fs::path example = fs::path(VORN_SOURCE_DIR) / "examples" / "aldmouth-bank";
  for (const auto& e : fs::directory_iterator(example)) {
    fs::copy_file(e.path(), e.path().filename(), fs::copy_options::overwrite_existing);
  }
}

// The signals blocked by each thread of process `pid`, by thread id, from
// the SigBlk line of /proc/PID/task/TID/status.
std::vector<std::pair<long, unsigned long long>> threadMasks(pid_t pid) {
  std::vector<std::pair<long, unsigned long long>> masks;
  const fs::path tasks = fs::path("/proc") / std::to_string(pid) / "task";
  std::error_code ec;
  for (const auto& t : fs::directory_iterator(tasks, ec)) {
    const std::string status = readFile((t.path() / "status").string());
    const auto at = status.find("SigBlk:");
    if (at == std::string::npos) continue;
    masks.emplace_back(std::stol(t.path().filename().string()),
                       std::stoull(status.substr(at + 7), nullptr, 16));
  }
  return masks;
}

class InterruptedRun : public testutil::ScratchDir {};

}  // namespace

TEST_F(InterruptedRun, ASignalEndsTheRunWithItsStatusAndEveryFileInWholeRecords) {
  // The bundled example (every output on, a 45 MB packet file) is stopped
  // once it has done a tenth of its work: by SIGTERM, by SIGINT, and by
  // SIGTERM followed at once by SIGINT, which ends the process there.
  struct Case {
    const char* label;
    std::vector<int> signals;
  };
  for (const Case& c : {Case{"SIGTERM", {SIGTERM}}, Case{"SIGINT", {SIGINT}},
                        Case{"SIGTERM then SIGINT", {SIGTERM, SIGINT}}}) {
    SCOPED_TRACE(c.label);
    for (const auto& e : fs::directory_iterator(".")) fs::remove_all(e.path());
    copyExample();
    const pid_t pid = start({"run.par", "screen.txt"});
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(5);
    int status = 0;
    bool ended = false;
    while (progress() < 10) {
      ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "no progress";
      if (::waitpid(pid, &status, WNOHANG) == pid) {
        ended = true;
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    ASSERT_FALSE(ended) << "the run ended before it was interrupted";
    for (int s : c.signals) ::kill(pid, s);
    status = waitFor(pid);

    const int first = c.signals.front();
    const bool orderly = WIFEXITED(status);
    if (c.signals.size() == 1) {
      ASSERT_TRUE(orderly) << readFile("prog.stderr");
      EXPECT_EQ(WEXITSTATUS(status), 128 + first);
    } else if (orderly) {  // the end came before the second signal did
      EXPECT_EQ(WEXITSTATUS(status), 128 + first);
    } else {  // the second to be handled, which need not be the second sent
      ASSERT_TRUE(WIFSIGNALED(status));
      EXPECT_TRUE(WTERMSIG(status) == SIGINT || WTERMSIG(status) == SIGTERM) << WTERMSIG(status);
    }
    expectWholeRecords(c.label);

    // The log holds the parameter echo; the statistics hold the records of
    // the hours done.
    const std::string log = readFile("aldmouth.log");
    EXPECT_NE(log.find(" ***Echo file for vorn v7.0***\r\n"), std::string::npos);
    EXPECT_NE(log.find(" **End of Read Input Parameters\r\n"), std::string::npos);
    const std::string stats = readFile("stats.out");
    EXPECT_GE(std::count(stats.begin(), stats.end(), '\n'), 10);
    if (orderly) {
      const std::string line = " Run interrupted by signal " + std::to_string(first) + "\r\n";
      const std::string screen = readFile("screen.txt");
      ASSERT_GE(screen.size(), line.size());
      EXPECT_EQ(screen.substr(screen.size() - line.size()), line);
      EXPECT_NE(log.find(line), std::string::npos);
      EXPECT_EQ(screen.find("Clean exit"), std::string::npos);
    }
  }
}

TEST_F(InterruptedRun, AClosedConsoleAndTheFileSizeLimitAreWriteErrors) {
  // The console is a pipe nobody reads any more: status 1, a message on
  // the standard error stream, not a death by SIGPIPE.
  copyExample();
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  ::close(fds[0]);
  int status = waitFor(start({"run.par"}, fds[1]));
  ::close(fds[1]);
  ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
  EXPECT_EQ(WEXITSTATUS(status), 1);
  EXPECT_NE(readFile("prog.stderr").find("standard output"), std::string::npos)
      << readFile("prog.stderr");
  expectWholeRecords("closed console");

  // Files may not grow past 100 000 bytes: the first file to reach the
  // limit is named, and it is cut back to its last whole record.
  for (const auto& e : fs::directory_iterator(".")) fs::remove_all(e.path());
  copyExample();
  status = waitFor(start({"run.par", "screen.txt"}, -1, 100000));
  ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
  EXPECT_EQ(WEXITSTATUS(status), 1);
  const std::string err = readFile("prog.stderr");
  const auto at = err.find("(file \"");
  ASSERT_NE(at, std::string::npos) << err;
  const std::string name = err.substr(at + 7, err.find('"', at + 7) - at - 7);
  EXPECT_GT(fs::file_size(name), 90000u) << name;
  expectWholeRecords("file size limit");
}

TEST_F(InterruptedRun, WorkerThreadsBlockTheEndSignalsAndAThreadedRunEndsInOrder) {
  // The handler of SIGINT, SIGTERM and SIGHUP runs on the main thread only:
  // every worker thread blocks the three, the main thread none of them. A
  // threaded run stopped by SIGTERM ends in order each time, with no report
  // of a sanitizer on its standard error stream, also when its parent
  // started it with the three blocked (the last run).
  const unsigned long long endSignals = (1ull << (SIGHUP - 1)) | (1ull << (SIGINT - 1)) |
                                        (1ull << (SIGTERM - 1));
  int round = 0;
  for (const char* threads : {"3", "2", "2", "2"}) {
    SCOPED_TRACE(threads);
    const bool blocked = ++round == 4;
    for (const auto& e : fs::directory_iterator(".")) fs::remove_all(e.path());
    copyExample();
    const pid_t pid = start({"--threads", threads, "run.par", "screen.txt"}, -1, 0, blocked);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(5);
    while (progress() < 1) {
      ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "no progress";
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    const auto masks = threadMasks(pid);
    // A sanitizer may add a thread of its own.
    ASSERT_GE(masks.size(), static_cast<std::size_t>(std::atoi(threads))) << "threads of the run";
    for (const auto& [tid, blocked] : masks) {
      EXPECT_EQ(blocked & endSignals, tid == pid ? 0 : endSignals) << "thread " << tid;
    }
    ::kill(pid, SIGTERM);
    const int status = waitFor(pid);
    const std::string err = readFile("prog.stderr");
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status) << "\n" << err;
    EXPECT_EQ(WEXITSTATUS(status), 128 + SIGTERM) << err;
    EXPECT_EQ(err.find("Sanitizer"), std::string::npos) << err;
    const std::string screen = readFile("screen.txt");
    EXPECT_NE(screen.find(" Run interrupted by signal 15\r\n"), std::string::npos);
    expectWholeRecords(threads);
  }
}
