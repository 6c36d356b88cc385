// Packet positions as a CF trajectory collection: x, y, z (time,
// trajectory), one trajectory per slot of the packet store, with the fill
// value in the slots of packets not yet released. Streams one frame at a
// time: memory holds one frame, whatever the length of the file.
#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <exception>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "output/recordlayouts.hpp"
#include "rio/units.hpp"
#include "vorn2nc/groups.hpp"
#include "vorn2nc/ncfile.hpp"

namespace vorn2nc {
namespace {

// Packets of a chunk: a frame of the largest store is read in 8 chunks of
// 512 kB a coordinate, a packet's track in one chunk a frame. A frame is
// read and written a chunk of packets at a time.
constexpr std::size_t kChunkPackets = 131072;

// Writes the slices of the frames on a thread of its own, so that the
// compression of one slice overlaps the reading of the next. While it runs,
// netCDF is called from that thread only. Two slice buffers: one filled by
// the reader, the other written.
class SliceWriter {
 public:
  SliceWriter(int grp, const int* vars) : grp_(grp) {
    for (int c = 0; c < 3; ++c) vars_[c] = vars[c];
    for (auto& b : buf_) {
      for (auto& c : b) c.resize(kChunkPackets);
    }
    thread_ = std::thread([this] { run(); });
  }
  ~SliceWriter() {
    {
      std::lock_guard<std::mutex> g(m_);
      stop_ = true;
    }
    cv_.notify_all();
    thread_.join();
  }
  // The buffer of coordinate c to fill next, once the writer is done with it.
  float* slice(int c) {
    std::unique_lock<std::mutex> g(m_);
    cv_.wait(g, [this] { return !busy_[next_] || error_; });
    rethrow();
    return buf_[next_][c].data();
  }
  // Hands the filled buffer over: packets first..first+count-1 of frame n.
  void submit(std::size_t n, std::size_t first, std::size_t count) {
    {
      std::lock_guard<std::mutex> g(m_);
      busy_[next_] = true;
      jobs_.push_back({next_, n, first, count});
    }
    cv_.notify_all();
    next_ ^= 1;
  }
  // Waits until every slice handed over is written.
  void drain() {
    std::unique_lock<std::mutex> g(m_);
    cv_.wait(g, [this] { return (jobs_.empty() && !busy_[0] && !busy_[1]) || error_; });
    rethrow();
  }

 private:
  struct Job {
    int buffer;
    std::size_t frame, first, count;
  };
  void rethrow() {
    if (error_) std::rethrow_exception(error_);
  }
  void run() {
    for (;;) {
      Job job{};
      {
        std::unique_lock<std::mutex> g(m_);
        cv_.wait(g, [this] { return stop_ || !jobs_.empty(); });
        if (jobs_.empty()) return;
        job = jobs_.front();
        jobs_.pop_front();
      }
      try {
        const std::size_t start[2] = {job.frame, job.first};
        const std::size_t count[2] = {1, job.count};
        for (int c = 0; c < 3; ++c) nc::put(grp_, vars_[c], start, count, buf_[job.buffer][c].data());
      } catch (...) {
        std::lock_guard<std::mutex> g(m_);
        error_ = std::current_exception();
      }
      {
        std::lock_guard<std::mutex> g(m_);
        busy_[job.buffer] = false;
      }
      cv_.notify_all();
    }
  }

  int grp_;
  int vars_[3];
  std::vector<float> buf_[2][3];
  bool busy_[2] = {false, false};
  int next_ = 0;  // the buffer the reader fills next (reader's own)
  std::deque<Job> jobs_;
  bool stop_ = false;
  std::exception_ptr error_;
  std::mutex m_;
  std::condition_variable cv_;
  std::thread thread_;
};

// The frames of a packet file that hold all their packets: every frame but
// a last one that a kill cut short. Files are read one at a time: called
// before the file is opened for the conversion. A frame is its line " ktotal, time"
// with the count, then one record per packet.
std::size_t completeFrames(const std::string& name) {
  TextFile f(name, "packet position");
  std::string_view rec;
  std::size_t frames = 0;
  long long left = 0;  // records the frame being read still needs
  const std::string_view head = " ktotal, time ";
  while (f.next(rec)) {
    if (left > 0) {
      if (--left == 0) ++frames;
      continue;
    }
    if (rec.substr(0, head.size()) != head) continue;  // the header line, or what is checked later
    left = std::atoll(std::string(rec.substr(head.size(), 12)).c_str());
    if (left <= 0) ++frames;
  }
  return frames;
}

}  // namespace

void writePackets(int ncid, const Run& run) {
  const std::vector<Step>& due = run.due[kPackets];
  std::int32_t most = 1;
  for (const Step& s : due) most = std::max(most, s.ktotal);
  const std::size_t slots = static_cast<std::size_t>(most);

  const int grp = nc::group(ncid, "packets");
  nc::text(grp, NC_GLOBAL, "featureType", "trajectory");
  nc::text(grp, NC_GLOBAL, "comment",
           "Position of every packet at every packet output step, from " + run.file[kPackets] +
               ". Packets are numbered by their slot in the store, in release order, and are "
               "never removed: a slot holds the fill value until its packet is released.");
  const TimeAxis t = defineTimeAxis(grp, run, "the end of the advection step",
                                    "free format, 16 or 17 significant digits");
  const int traj = nc::dim(grp, "trajectory", slots);
  const int id = nc::var(grp, "trajectory", NC_INT, {traj});
  nc::describe(grp, id, nullptr, "packet number");
  nc::text(grp, id, "comment", "the packet's slot in the packet store, from 1, in release order");
  nc::text(grp, id, "cf_role", "trajectory_id");
  const int live = nc::var(grp, "ktotal", NC_INT, {t.dim});
  nc::describe(grp, live, "1", "packets live (slots 1..ktotal)");
  struct Coord {
    const char* name;
    const char* longName;
    const char* standardName;
    const char* axis;
  };
  const Coord coords[] = {
      {"x", "x from the release point", "projection_x_coordinate", "X"},
      {"y", "y from the release point", "projection_y_coordinate", "Y"},
      {"z", "height above the bed", "height_above_sea_floor", "Z"},
  };
  int var[3];
  for (int k = 0; k < 3; ++k) {
    var[k] = nc::var(grp, coords[k].name, NC_FLOAT, {t.dim, traj});
    nc::describe(grp, var[k], "m", coords[k].longName, coords[k].standardName);
    nc::text(grp, var[k], "axis", coords[k].axis);
    nc::fill(grp, var[k], nc::kFillFloat);
    nc::compress(grp, var[k], {1, std::min(slots, kChunkPackets)});
  }
  nc::text(grp, var[2], "positive", "up");
  {
    std::vector<std::int32_t> number(slots);
    for (std::size_t k = 0; k < slots; ++k) number[k] = static_cast<std::int32_t>(k + 1);
    const std::size_t zero = 0;
    nc::put(grp, id, &zero, &slots, number.data());
  }

  // A run that ended early may have been killed in the middle of a frame:
  // that frame is left out. (Files are read one at a time.)
  const std::size_t whole =
      run.end == RunEnd::clean ? due.size() + 1 : completeFrames(run.file[kPackets]);
  TextFile f(run.file[kPackets], "packet position");
  if (f.need("the header line is missing") != " Packet positions") {
    f.bad("\"Packet positions\" expected");
  }
  // A write through to the file for every chunk as it comes: no chunk waits
  // in a cache to be compressed at the close.
  for (int c = 0; c < 3; ++c) nc::check(nc_set_var_chunk_cache(grp, var[c], 0, 0, 1.0f), "chunk cache");
  SliceWriter writer(grp, var);
  LayoutRecords r(f, kPacketLayout);
  const std::string_view head = " ktotal, time ";
  std::size_t n = 0;
  std::string_view rec;
  while (f.next(rec)) {
    if (n == whole) {
      warn(f.name() + ": the frame of record " + std::to_string(f.number()) +
           " was cut short when the run ended; it is left out");
      break;
    }
    if (rec.substr(0, head.size()) != head) f.bad("\"ktotal, time\" expected");
    std::int32_t k = 0;
    double days = 0;
    const rio::ListTarget values[] = {rio::target(k), rio::target(days)};
    const std::string_view counts = rec.substr(head.size());
    listValues(f, counts, values, 2);
    const Step& step = scheduled(f, run, kPackets, n);
    checkTime(f, run, counts.substr(12), step.time);  // after the count's 12 characters
    if (k != step.ktotal) {
      f.bad(std::to_string(k) + " packets where the release of " + run.parfile + " gives " +
            std::to_string(step.ktotal));
    }
    const long long frameRecord = f.number();
    progress("packets: frame " + std::to_string(n + 1) + " of " + std::to_string(due.size()) +
             " (" + std::to_string(k) + " packets)");
    const std::size_t packets = static_cast<std::size_t>(k);
    for (std::size_t first = 0; first < packets; first += kChunkPackets) {
      const std::size_t count = std::min(kChunkPackets, packets - first);
      float* pos[3] = {writer.slice(0), writer.slice(1), writer.slice(2)};
      for (std::size_t p = 0; p < count; ++p) {
        if (!r.next()) {
          writer.drain();
          f.endsEarly("the frame of record " + std::to_string(frameRecord) + " holds " +
                      std::to_string(first + p) + " of its " + std::to_string(k) + " packets");
        }
        for (float* c : pos) c[p] = r.real(nc::kFillFloat);
        r.done(3);
      }
      writer.submit(n, first, count);
    }
    writer.drain();
    const std::size_t start[1] = {n};
    const std::size_t one[1] = {1};
    nc::put(grp, t.time, start, one, &step.time);
    nc::put(grp, t.inFile, start, one, &days);
    nc::put(grp, live, start, one, &k);
    ++n;
  }
  progressDone();
  checkComplete(f, run, kPackets, n);
}

}  // namespace vorn2nc
