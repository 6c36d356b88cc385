// The command-line options and the progress line on the terminal.
#include <fcntl.h>
#include <pty.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "driver/buildinfo.hpp"
#include "driver/cmdoptions.hpp"
#include "driver/termprogress.hpp"
#include "forcing/sitefiles.hpp"
#include "runtime/stop.hpp"
#include "testutil.hpp"

using testutil::readFile;
using testutil::runBinary;
using testutil::writeFile;

class ProgramOptions : public testutil::ScratchDir {};

namespace {

std::vector<Text<256>> argList(std::initializer_list<const char*> a) {
  std::vector<Text<256>> v;
  for (const char* s : a) v.emplace_back(std::string_view(s));
  return v;
}

// Runs COMMANDOPTIONS; returns what it printed when it stopped the run.
std::string printedBy(std::initializer_list<const char*> a) {
  auto args = argList(a);
  testing::internal::CaptureStdout();
  EXPECT_THROW(COMMANDOPTIONS(args), StopRun);
  return testing::internal::GetCapturedStdout();
}

// A small steady-release run of one day that writes the sediment, statistics
// and packet files.
std::string writeRun() {
  std::string site = sitefiles::writeSmallSite();
  site.resize(site.size() - sitefiles::noOutputs().size());
  return "vorn.log\n1234567 7654321\n24 0\n3\n0.05 1\n2\n1\n0.0001\n0.001 0.001 0.001 0\n"
         "0.4 0.05\n0\n1\n1000 500 1 0\n" +
         site + "1\nsediment.out\n0\n1\nstats.out\n0.05 1.0 1000\n6\npackets.out\n0\n0\n0\n0\n";
}

const std::vector<std::string> kFiles = {"vorn.log", "sediment.out", "stats.out", "packets.out",
                                         "vornprog.out"};

// Runs the program with standard output and standard error on a pseudo
// terminal; returns every byte the terminal received.
std::string runOnTerminal(const std::vector<std::string>& args, int& status) {
  int master = -1, slave = -1;
  termios raw{};
  cfmakeraw(&raw);
  if (openpty(&master, &slave, nullptr, &raw, nullptr) != 0) return "openpty failed";
  std::vector<std::string> words = {VORN_BINARY};
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&fa, slave, 1);
  posix_spawn_file_actions_adddup2(&fa, slave, 2);
  posix_spawn_file_actions_addclose(&fa, master);
  pid_t pid = -1;
  const int rc = posix_spawn(&pid, VORN_BINARY, &fa, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&fa);
  ::close(slave);
  std::string got;
  char buf[4096];
  for (;;) {
    const ssize_t k = ::read(master, buf, sizeof buf);
    if (k > 0) {
      got.append(buf, static_cast<std::size_t>(k));
    } else if (k < 0 && errno == EINTR) {
      continue;
    } else {
      break;  // EIO: the program has closed the terminal
    }
  }
  ::close(master);
  int ws = 0;
  if (rc == 0) waitpid(pid, &ws, 0);
  status = rc == 0 && WIFEXITED(ws) ? WEXITSTATUS(ws) : -1;
  return got;
}

}  // namespace

TEST(CommandOptions, AreTakenOutOfTheArgumentsAndActedOn) {
  // File arguments stay, in their order; "./--name" is a file.
  auto files = argList({"run.par", "./--odd", "screen.txt"});
  EXPECT_TRUE(COMMANDOPTIONS(files));
  ASSERT_EQ(files.size(), 3u);
  EXPECT_EQ(files[1].trimmed(), "./--odd");
  EXPECT_EQ(files[2].trimmed(), "screen.txt");

  // Anything else that begins with "--" is refused, wherever it stands.
  for (auto bad : {argList({"--bogus"}), argList({"run.par", "--versions"}), argList({"--"}),
                   argList({"--help=1"}), argList({"--HELP"})}) {
    EXPECT_FALSE(COMMANDOPTIONS(bad)) << bad[bad.size() - 1].trimmed();
  }

  // --help: what the program does, the six forms, the exit statuses, the documents.
  const std::string help = printedBy({"run.par", "--help"});
  EXPECT_EQ(help, helpText());
  for (const char* form : {"  vornv7                      ", "  vornv7 StdIn                ",
                           "  vornv7 < run.par > screen   ", "  vornv7 run.par              ",
                           "  vornv7 StdIn screen.txt     ", "  vornv7 run.par screen.txt   ",
                           "Exit status:", "README.md", "run.par.annotated", buildinfo::sourceDir}) {
    EXPECT_NE(help.find(form), std::string::npos) << form;
  }
  EXPECT_EQ(help.find('\r'), std::string::npos);

  // --version: the version, the compiler and the flags of this build.
  const std::string version = printedBy({"--version"});
  EXPECT_EQ(version.rfind(std::string("vornv7 ") + buildinfo::version + "\n", 0), 0u) << version;
  EXPECT_NE(version.find("\ncompiler: "), std::string::npos);
  EXPECT_NE(version.find("-ffp-contract=off"), std::string::npos) << version;
}

TEST_F(ProgramOptions, OptionsOfTheBuiltProgram) {
  auto help = runBinary({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.out, std::string(helpText()));
  auto version = runBinary({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, std::string(versionText()));
  EXPECT_EQ(version.out.rfind("vornv7 1.0.0\n", 0), 0u) << version.out;

  // An unknown option gives the usage message and ends as three arguments do.
  auto usage = runBinary({"a", "b", "c"});
  auto unknown = runBinary({"--bogus"});
  EXPECT_EQ(unknown.out, usage.out);
  EXPECT_EQ(unknown.status, usage.status);
  EXPECT_EQ(unknown.out.rfind(" Too many calling parameters!!\r\n", 0), 0u) << unknown.out;

  // A parameter file whose name begins with "--", given as ./--name.
  writeFile("--odd.par", writeRun());
  auto odd = runBinary({"./--odd.par", "screen.txt"});
  EXPECT_EQ(odd.status, 0) << odd.err;
  EXPECT_NE(readFile("screen.txt").find("  Clean exit \r\n"), std::string::npos);
}

TEST(ProgressLine, TextHoldsPercentDayPacketsElapsedAndLeft) {
  char buf[128];
  auto text = [&](double done, double seconds, std::int32_t packets, double elapsed) {
    return std::string(buf, progressText(buf, done, seconds, packets, elapsed));
  };
  EXPECT_EQ(text(0.375, 158.25 * 86400, 100100, 125),
            " 37%  day 158.25  packets 100100  elapsed 2:05  left 3:28");
  EXPECT_EQ(text(0, 0, 0, 0), "  0%  day 0.00  packets 0  elapsed 0:00  left -:--");
  EXPECT_EQ(text(1, -86400, 7, 3725.4), "100%  day -1.00  packets 7  elapsed 1:02:05  left 0:00");
  // Whatever the values, the text stays within its buffer and one row.
  std::mt19937_64 rng(7);
  std::uniform_real_distribution<double> u(-1e12, 1e12);
  for (int k = 0; k < 2000; ++k) {
    const double odd[] = {std::nan(""), INFINITY, -INFINITY, u(rng), u(rng) * 1e290};
    const std::size_t n =
        progressText(buf, odd[k % 5], odd[(k + 1) % 5], static_cast<std::int32_t>(rng()),
                     odd[(k + 2) % 5]);
    ASSERT_LE(n, 96u);
    EXPECT_EQ(std::string(buf, n).find_first_of("\r\n"), std::string::npos);
  }
}

TEST_F(ProgramOptions, TheProgressLineIsDrawnOnATerminalAndChangesNothingElse) {
  writeFile("run.par", writeRun());
  // Not a terminal: nothing on standard error.
  auto plain = runBinary({"run.par"});
  ASSERT_EQ(plain.status, 0) << plain.err;
  EXPECT_EQ(plain.err, "");
  std::vector<std::string> reference;
  for (const auto& f : kFiles) reference.push_back(readFile(f));

  // Standard output and standard error on one terminal.
  int status = -1;
  const std::string tty = runOnTerminal({"run.par"}, status);
  ASSERT_EQ(status, 0) << tty;
  for (std::size_t k = 0; k < kFiles.size(); ++k) {
    EXPECT_TRUE(readFile(kFiles[k]) == reference[k]) << kFiles[k] << " differs";
  }
  // Every drawing of the line rewrites its row and is erased before the
  // next console record; without the line, the terminal shows the console.
  const std::regex draw("\r[^\r\n\x1b]+\x1b\\[K");
  int draws = 0;
  for (auto it = std::sregex_iterator(tty.begin(), tty.end(), draw); it != std::sregex_iterator();
       ++it) {
    ++draws;
    const std::size_t after = static_cast<std::size_t>(it->position() + it->length());
    ASSERT_LT(after, tty.size());
    EXPECT_EQ(tty[after], '\r') << "the line is not erased before what follows it";
    EXPECT_NE(it->str().find("%  day "), std::string::npos) << it->str();
  }
  EXPECT_GE(draws, 1) << tty;
  const std::string console =
      std::regex_replace(std::regex_replace(tty, draw, ""), std::regex("\r\x1b\\[K"), "");
  EXPECT_EQ(console, plain.out);
}
