// What vorncheck prints: the findings in the form compilers use, a summary,
// the same as JSON, and the record walk as JSON.
#include <cstdio>
#include <string>

#include "vorncheck/check.hpp"

namespace vorncheck {
namespace {

const char* levelName(Level l) {
  switch (l) {
    case Level::error: return "error";
    case Level::warning: return "warning";
    case Level::note: break;
  }
  return "note";
}

std::string fixed(double x, int decimals) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*f", decimals, x);
  return buf;
}

std::string location(const Finding& f) {
  return f.line > 0 ? f.file + ":" + std::to_string(f.line) : f.file;
}

}  // namespace

std::string textReport(const Check& c) {
  std::string out;
  for (const Finding& f : c.findings) {
    out += location(f) + ": " + levelName(f.level) + ": " + f.message + "\n";
  }
  const Summary& s = c.summary;
  out += c.parfile + ": " + std::to_string(c.count(Level::error)) + " error(s), " +
         std::to_string(c.count(Level::warning)) + " warning(s)\n";
  if (s.timing) {
    out += "  run: day " + fixed(s.startDay, 4) + " to day " + fixed(s.endDay, 4) + " (" +
           fixed(s.endDay - s.startDay, 4) + " days)\n";
  }
  if (s.packetsKnown) out += "  packets: " + std::to_string(s.packets) + " at the end of the run\n";
  if (!s.files.empty()) {
    out += "  writes:";
    for (const std::string& f : s.files) out += " " + f;
    out += "\n";
  }
  if (!s.site.empty()) out += "  site: " + s.site + "\n";
  return out;
}

std::string jsonReport(const Check& c) {
  std::string out = "{\"parameter_file\": " + jsonString(c.parfile) + ",\n \"findings\": [";
  bool first = true;
  for (const Finding& f : c.findings) {
    out += first ? "\n  " : ",\n  ";
    first = false;
    out += "{\"file\": " + jsonString(f.file) + ", \"line\": " + std::to_string(f.line) +
           ", \"severity\": \"" + levelName(f.level) + "\", \"message\": " + jsonString(f.message) + "}";
  }
  const Summary& s = c.summary;
  out += "],\n \"summary\": {\"errors\": " + std::to_string(c.count(Level::error)) +
         ", \"warnings\": " + std::to_string(c.count(Level::warning));
  if (s.timing) {
    out += ", \"start_day\": " + fixed(s.startDay, 6) + ", \"end_day\": " + fixed(s.endDay, 6) +
           ", \"span_days\": " + fixed(s.endDay - s.startDay, 6);
  } else {
    out += ", \"start_day\": null, \"end_day\": null, \"span_days\": null";
  }
  out += ", \"packets\": " + (s.packetsKnown ? std::to_string(s.packets) : std::string("null"));
  out += ", \"files\": [";
  for (std::size_t k = 0; k < s.files.size(); ++k) out += (k ? ", " : "") + jsonString(s.files[k]);
  out += "], \"site\": " + (s.site.empty() ? std::string("null") : jsonString(s.site));
  out += "},\n \"exit_status\": " + std::to_string(c.exitStatus()) + "}\n";
  return out;
}

std::string recordsJson(const Check& c) {
  std::string out = "{\"parameter_file\": " + jsonString(c.parfile) + ",\n \"records\": [";
  bool first = true;
  for (const Record& r : c.records) {
    out += first ? "\n   " : ",\n   ";
    first = false;
    out += "{\"name\": " + jsonString(r.name) + ", \"file\": " + jsonString(r.file) +
           ", \"line\": " + std::to_string(r.line) + ", \"last_line\": " +
           std::to_string(r.lastLine) + ",\n    \"fields\": [";
    for (std::size_t k = 0; k < r.fields.size(); ++k) out += (k ? ", " : "") + jsonString(r.fields[k]);
    out += "], \"values\": [";
    for (std::size_t k = 0; k < r.values.size(); ++k) out += (k ? ", " : "") + r.values[k].json;
    out += "]}";
  }
  out += "]}\n";
  return out;
}

}  // namespace vorncheck
