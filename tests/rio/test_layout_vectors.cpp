// Every row of tests/data/layout-vectors.tsv written through LayoutWriter:
// layout, kinds, values as bit patterns / integers / s:text, and the
// expected records joined by the two characters "\n".
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "rio/layout.hpp"

namespace {

struct Collect : rio::RecordOut {
  std::vector<std::string> records;
  void record(const char* p, std::size_t n) override { records.emplace_back(p, n); }
};

std::vector<std::string> splitOn(const std::string& s, char sep) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (;;) {
    std::size_t k = s.find(sep, start);
    parts.push_back(s.substr(start, k - start));
    if (k == std::string::npos) return parts;
    start = k + 1;
  }
}

// Writes one row's values; returns the records joined by "\n".
std::string writeRow(const rio::Layout& layout, const std::vector<std::string>& kinds,
                     const std::string& values) {
  Collect out;
  rio::LayoutWriter w(layout, out);
  // A text that is the row's only value runs to the end of the column.
  std::vector<std::string> vals =
      kinds.size() == 1 ? std::vector<std::string>{values} : splitOn(values, ' ');
  if (vals.size() != kinds.size()) throw std::runtime_error("value count differs from kinds");
  for (std::size_t k = 0; k < kinds.size(); ++k) {
    const std::string& kind = kinds[k];
    const std::string& v = vals[k];
    if (kind == "r4") {
      w.put(std::bit_cast<float>(static_cast<std::uint32_t>(std::stoul(v, nullptr, 16))));
    } else if (kind == "r8") {
      w.put(std::bit_cast<double>(static_cast<std::uint64_t>(std::stoull(v, nullptr, 16))));
    } else if (kind == "i4") {
      w.put(static_cast<std::int32_t>(std::stol(v)));
    } else if (kind == "a") {
      if (v.rfind("s:", 0) != 0) throw std::runtime_error("text without s:");
      w.put(std::string_view(v).substr(2));
    } else {
      throw std::runtime_error("unknown kind " + kind);
    }
  }
  w.end();
  std::string joined;
  for (std::size_t k = 0; k < out.records.size(); ++k) {
    if (k) joined += "\\n";
    joined += out.records[k];
  }
  return joined;
}

TEST(LayoutVectors, EveryRowIsWrittenExactly) {
  std::ifstream in(std::string(VORN_TEST_DATA) + "/layout-vectors.tsv");
  ASSERT_TRUE(in) << "cannot open layout-vectors.tsv";
  std::string line;
  std::getline(in, line);
  ASSERT_EQ(line, "layout\tkind\tvalues\texpected");
  std::map<std::string, std::unique_ptr<rio::Layout>> layouts;
  int rows = 0, failed = 0;
  while (std::getline(in, line)) {
    if (line.empty()) continue;
    ++rows;
    std::vector<std::string> cols = splitOn(line, '\t');
    ASSERT_EQ(cols.size(), 4u) << "row " << rows << ": " << line;
    auto& layout = layouts[cols[0]];
    if (!layout) layout = std::make_unique<rio::Layout>(cols[0]);
    std::string got;
    try {
      got = writeRow(*layout, splitOn(cols[1], ' '), cols[2]);
    } catch (const std::exception& e) {
      got = std::string("exception: ") + e.what();
    }
    if (got != cols[3]) {
      if (++failed <= 8) {
        ADD_FAILURE() << "row " << rows << ": " << line << "\n  expected [" << cols[3]
                      << "]\n  got      [" << got << "]";
      }
    }
  }
  EXPECT_EQ(rows, 35552);
  EXPECT_EQ(failed, 0) << failed << " of " << rows << " rows differ";
}

}  // namespace
