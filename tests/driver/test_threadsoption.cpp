// The --threads option taken out of the command line.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver/threadsoption.hpp"
#include "runtime/workers.hpp"

namespace {

struct Parsed {
  int threads;
  std::vector<std::string> rest;
  std::string error;
};

Parsed parse(std::vector<std::string> args) {
  args.insert(args.begin(), "vornv7");
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  int argc = static_cast<int>(args.size());
  Parsed p;
  p.threads = takeThreadsOption(argc, argv.data(), p.error);
  for (int k = 1; k < argc; ++k) p.rest.emplace_back(argv[k]);
  return p;
}

}  // namespace

TEST(ThreadsOption, TakenOutWhereverItStandsTheOtherArgumentsKeepTheirOrder) {
  using V = std::vector<std::string>;
  EXPECT_EQ(parse({"--threads", "3", "run.par", "out"}).rest, (V{"run.par", "out"}));
  EXPECT_EQ(parse({"--threads", "3", "run.par", "out"}).threads, 3);
  EXPECT_EQ(parse({"StdIn", "--threads=2", "out"}).rest, (V{"StdIn", "out"}));
  EXPECT_EQ(parse({"StdIn", "--threads=2", "out"}).threads, 2);
  const Parsed none = parse({"run.par"});
  EXPECT_EQ(none.threads, defaultThreadCount());
  EXPECT_EQ(none.rest, V{"run.par"});
  EXPECT_GE(defaultThreadCount(), 1);
  EXPECT_LE(defaultThreadCount(), MAXTHREADS);
  // Other arguments beginning with "--threads" are not the option.
  EXPECT_EQ(parse({"--threadsx"}).rest, V{"--threadsx"});

  for (const V& bad : {V{"--threads"}, V{"--threads", "0"}, V{"--threads", "-2"}, V{"--threads", "2x"},
                       V{"--threads="}, V{"--threads", "65"}, V{"--threads", "2", "--threads", "2"}}) {
    const Parsed p = parse(bad);
    EXPECT_EQ(p.threads, 0) << bad.back();
    EXPECT_NE(p.error.find("--threads"), std::string::npos) << p.error;
  }
}
