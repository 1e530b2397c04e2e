#include "recognition/Markup.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <deque>
#include <limits>
#include <optional>
#include <vector>

namespace imvora {
namespace {

constexpr std::int32_t kUnlabelled = -1;
// Rows between progress reports.
constexpr int kProgressRows = 64;

// Region statistics gathered while a region grows. 64-bit sums: the column sum of one region
// already exceeds 32 bits on a 4096 x 4096 image.
struct TRegionSums {
  std::uint64_t Red = 0, Green = 0, Blue = 0, Columns = 0, Rows = 0, Area = 0;
  std::int32_t Label = 0, SeedX = 0;
  std::int32_t MinX = std::numeric_limits<std::int32_t>::max();
  std::int32_t MinY = std::numeric_limits<std::int32_t>::max();
  std::int32_t MaxX = std::numeric_limits<std::int32_t>::min();
  std::int32_t MaxY = std::numeric_limits<std::int32_t>::min();

  // Adds the pixels left ... right of row y, whose colours sum to the given sums.
  void AddSpan(int left, int right, int y, std::uint64_t red, std::uint64_t green,
               std::uint64_t blue) {
    const std::uint64_t length = right - left + 1;
    Red += red;
    Green += green;
    Blue += blue;
    Area += length;
    Columns += (std::uint64_t{static_cast<std::uint32_t>(left)} + right) * length / 2;
    Rows += length * y;
    MinX = std::min(MinX, left);
    MaxX = std::max(MaxX, right);
    MinY = std::min(MinY, y);
    MaxY = std::max(MaxY, y);
  }

  TRegionStatistics Statistics() const {
    // Most regions are small: for an area a below 2^16 and a sum below 2^48 (here below
    // 2^16 * 2^28), (sum * ceil(2^64 / a)) >> 64 is exactly sum / a, so five divisions become
    // one and five multiplications.
    const std::uint64_t reciprocal = Area > 1 && Area < 1 << 16 ? ~std::uint64_t{0} / Area + 1 : 0;
    auto mean = [&](std::uint64_t sum) -> std::uint64_t {
      if (Area == 1) return sum;
      if (reciprocal == 0) return sum / Area;
      return static_cast<std::uint64_t>((static_cast<unsigned __int128>(sum) * reciprocal) >> 64);
    };
    TRegionStatistics s;
    s.MeanR = static_cast<std::uint32_t>(mean(Red));
    s.MeanG = static_cast<std::uint32_t>(mean(Green));
    s.MeanB = static_cast<std::uint32_t>(mean(Blue));
    s.Area = static_cast<std::uint32_t>(Area);
    s.MinX = MinX;
    s.MinY = MinY;
    s.MaxX = MaxX;
    s.MaxY = MaxY;
    s.CenterX = static_cast<std::int32_t>(mean(Columns));
    s.CenterY = static_cast<std::int32_t>(mean(Rows));
    return s;
  }
};

// Sums of the blue, green and red bytes of pixels left ... right of a row.
void SumColours(const std::uint8_t* row, int left, int right, std::uint64_t sums[3]) {
  sums[0] = sums[1] = sums[2] = 0;
  for (const std::uint8_t* p = row + 3 * left; p <= row + 3 * right; p += 3) {
    sums[0] += p[0];
    sums[1] += p[1];
    sums[2] += p[2];
  }
}

void ReportRows(IFilterHost* host, int y, std::int64_t done, std::int64_t total) {
  if (host != nullptr && y % kProgressRows == 0) host->ReportProgress(done, total);
}

// ---- The fill: each region grown from its seed as the labelling is defined. ----

// Scanline fill with an explicit stack of span seeds, so that a region as large and winding
// as the image needs no call stack. Each labelled span tests the rows above and below it once.
class TRegionFiller {
 public:
  TRegionFiller(const TBitmap& bitmap, std::uint32_t tolerance, TMarkupData& data)
      : width_(bitmap.Width()), height_(bitmap.Height()), tolerance_(tolerance), data_(data) {
    rows_.reserve(height_);
    for (int y = 0; y < height_; ++y) rows_.push_back(bitmap.ScanLine(y));
  }

  void LabelAll(IFilterHost* host) {
    data_.Labels.assign(data_.Labels.size(), kUnlabelled);
    std::int32_t label = 0;
    for (int y = 0; y < height_; ++y) {
      ReportRows(host, y, y, height_);
      for (int x = 0; x < width_; ++x) {
        if (LabelAt(x, y) != kUnlabelled) continue;
        Fill(x, y, label++);
      }
    }
  }

 private:
  struct TSeed {
    std::int32_t X, Y;
  };

  std::int32_t& LabelAt(int x, int y) {
    return data_.Labels[static_cast<std::size_t>(y) * width_ + x];
  }

  void SetSeedColour(int x, int y) {
    const std::uint8_t* p = rows_[y] + 3 * x;
    for (int b = 0; b < 3; ++b) {
      const int t = (tolerance_ >> (8 * b)) & 255;
      low_[b] = std::max(p[b] - t, 0);
      span_[b] = static_cast<unsigned>(std::min(p[b] + t, 255) - low_[b]);
    }
  }

  // Inside the bitmap is checked by the callers.
  bool Member(int x, int y) {
    if (LabelAt(x, y) != kUnlabelled) return false;
    const std::uint8_t* p = rows_[y] + 3 * x;
    return static_cast<unsigned>(p[0] - low_[0]) <= span_[0] &&
           static_cast<unsigned>(p[1] - low_[1]) <= span_[1] &&
           static_cast<unsigned>(p[2] - low_[2]) <= span_[2];
  }

  void Fill(int x, int y, std::int32_t label) {
    SetSeedColour(x, y);
    TRegionSums sums;
    sums.SeedX = x;
    stack_.clear();
    stack_.push_back({x, y});
    while (!stack_.empty()) {
      const TSeed seed = stack_.back();
      stack_.pop_back();
      if (!Member(seed.X, seed.Y)) continue;
      int left = seed.X, right = seed.X;
      while (left > 0 && Member(left - 1, seed.Y)) --left;
      while (right + 1 < width_ && Member(right + 1, seed.Y)) ++right;
      std::fill(&LabelAt(left, seed.Y), &LabelAt(right, seed.Y) + 1, label);
      std::uint64_t colours[3];
      SumColours(rows_[seed.Y], left, right, colours);
      sums.AddSpan(left, right, seed.Y, colours[2], colours[1], colours[0]);
      if (seed.Y > 0) PushRuns(left, right, seed.Y - 1);
      if (seed.Y + 1 < height_) PushRuns(left, right, seed.Y + 1);
    }
    data_.AddRegion(sums.SeedX, sums.Statistics());
  }

  // One seed per run of member pixels of row y under or over the span.
  void PushRuns(int left, int right, int y) {
    bool inRun = false;
    for (int x = left; x <= right; ++x) {
      const bool member = Member(x, y);
      if (member && !inRun) stack_.push_back({x, y});
      inRun = member;
    }
  }

  int width_, height_;
  std::uint32_t tolerance_;
  TMarkupData& data_;
  std::vector<const std::uint8_t*> rows_;
  std::vector<TSeed> stack_;
  int low_[3] = {0, 0, 0};
  unsigned span_[3] = {0, 0, 0};
};

// ---- Runs: when the tolerance splits the colours into classes, connected components. ----

// When, in every channel, the values present in the picture fall into groups no wider than
// the channel's tolerance with gaps wider than it between them, two pixels are within the
// tolerance of each other exactly when they lie in the same groups: a class of colours. A fill
// then takes in, from its seed, the whole 4-connected area of the seed's class (other areas of
// the class are never connected to it), so the regions are the connected components of the
// classes, numbered by their first pixels: what a row-by-row labelling of runs finds.
struct TColourClasses {
  // Group of each byte value, per pixel byte (blue, green, red).
  std::array<std::array<std::uint8_t, 256>, 3> Group{};
  // Every group holds one value: the pixels of a class all have the same colour.
  bool SingleColours = true;
};

std::optional<TColourClasses> ClassesOf(const TBitmap& bitmap, std::uint32_t tolerance) {
  // Tolerance 0 makes every value a group of its own, 255 all values one group: only the
  // channels in between need to know which values occur.
  int tolerances[3];
  bool scan = false;
  for (int b = 0; b < 3; ++b) {
    tolerances[b] = (tolerance >> (8 * b)) & 255;
    scan = scan || (tolerances[b] > 0 && tolerances[b] < 255);
  }
  std::array<std::array<bool, 256>, 3> present{};
  for (int y = 0; y < bitmap.Height() && scan; ++y) {
    const std::uint8_t* p = bitmap.ScanLine(y);
    for (int x = 0; x < bitmap.Width(); ++x, p += 3) {
      present[0][p[0]] = present[1][p[1]] = present[2][p[2]] = true;
    }
  }
  TColourClasses classes;
  for (int b = 0; b < 3; ++b) {
    const int t = tolerances[b];
    int group = -1, first = 0, previous = 0;
    for (int v = 0; v < 256; ++v) {
      if (t > 0 && t < 255 && !present[b][v]) continue;
      if (group < 0 || v - previous > t) {
        ++group;
        first = v;
      } else if (v - first > t) {
        return std::nullopt;
      } else {
        classes.SingleColours = false;
      }
      classes.Group[b][v] = static_cast<std::uint8_t>(group);
      previous = v;
    }
  }
  return classes;
}

// Two passes over the rows. The first cuts each row into runs of one class and gives each run
// the provisional label of the runs of its class it touches in the row above (joining their
// labels when it touches several) or a new one. Joined labels keep the smallest, the root, which is
// the label of the region's first run. The second pass cuts the rows again and meets the roots in
// the order of the regions' first pixels, which numbers the regions; it writes the final labels and
// gathers the statistics, keeping full sums only for the regions present in the rows at hand. A
// region that is not continued in a row is complete and goes into the label map's packed table.
class TRunLabeller {
 public:
  TRunLabeller(const TBitmap& bitmap, const TColourClasses& classes, TMarkupData& data,
               IFilterHost* host)
      : bitmap_(bitmap),
        classes_(classes),
        data_(data),
        host_(host),
        width_(bitmap.Width()),
        height_(bitmap.Height()) {
    for (TRows* rows : {&runs_, &above_}) {
      rows->Starts.resize(width_ + 1);
      rows->Classes.resize(width_ + 1);
      rows->Labels.resize(width_ + 1);
    }
  }

  void LabelAll() {
    for (int y = 0; y < height_; ++y) {
      ReportRows(host_, y, y, 2 * std::int64_t{height_});
      std::swap(above_, runs_);
      CutRow(y);
      JoinRow(y);
    }
    Resolve();
    for (int y = 0; y < height_; ++y) {
      ReportRows(host_, y, height_ + y, 2 * std::int64_t{height_});
      CutRow(y);
      GatherRow(y);
      Complete(y);
    }
    Complete(height_);
  }

 private:
  // The runs of a row: run i covers columns Starts[i] ... Starts[i + 1] - 1.
  struct TRows {
    std::vector<std::int32_t> Starts;
    std::vector<std::uint32_t> Classes;
    std::vector<std::int32_t> Labels;
    int Count = 0;
  };
  std::uint32_t ClassOf(const std::uint8_t* p) const {
    if (classes_.SingleColours) return p[0] | p[1] << 8 | p[2] << 16;
    return classes_.Group[0][p[0]] | classes_.Group[1][p[1]] << 8 | classes_.Group[2][p[2]] << 16;
  }

  // Without a branch per pixel: runs are short in noisy pictures.
  void CutRow(int y) {
    const std::uint8_t* p = bitmap_.ScanLine(y);
    std::uint32_t previous = ClassOf(p);
    runs_.Starts[0] = 0;
    runs_.Classes[0] = previous;
    int count = 1;
    for (int x = 1; x < width_; ++x) {
      const std::uint32_t current = ClassOf(p + 3 * x);
      runs_.Starts[count] = x;
      runs_.Classes[count] = current;
      count += current != previous;
      previous = current;
    }
    runs_.Starts[count] = width_;
    runs_.Count = count;
  }

  std::int32_t Find(std::int32_t label) {
    while (parent_[label] != label) {
      parent_[label] = parent_[parent_[label]];
      label = parent_[label];
    }
    return label;
  }
  // Joins two roots under the smaller.
  std::int32_t Join(std::int32_t a, std::int32_t b) {
    if (a > b) std::swap(a, b);
    parent_[b] = a;
    return a;
  }

  void JoinRow(int y) {
    const bool first = y == 0;
    int j = 0;
    for (int i = 0; i < runs_.Count; ++i) {
      const std::int32_t start = runs_.Starts[i], end = runs_.Starts[i + 1];
      std::int32_t label = kUnlabelled;
      if (!first) {
        while (above_.Starts[j + 1] <= start) ++j;
        for (int k = j; above_.Starts[k] < end; ++k) {
          if (above_.Classes[k] != runs_.Classes[i]) continue;
          const std::int32_t root = Find(above_.Labels[k]);
          label = label == kUnlabelled || label == root ? root : Join(label, root);
        }
      }
      if (label == kUnlabelled) {
        label = static_cast<std::int32_t>(parent_.size());
        parent_.push_back(label);
      }
      runs_.Labels[i] = label;
      runLabels_.push_back(label);
    }
  }

  // Every label comes to point straight at its root (roots are smaller than the labels under
  // them), and the roots are counted: one per region.
  void Resolve() {
    std::int32_t count = 0;
    for (std::size_t label = 0; label < parent_.size(); ++label) {
      const std::int32_t up = parent_[label];
      if (up == static_cast<std::int32_t>(label)) {
        ++count;
      } else {
        parent_[label] = parent_[up];
      }
    }
    data_.ResizeRegions(count);
  }

  void GatherRow(int y) {
    const std::uint8_t* row = bitmap_.ScanLine(y);
    std::int32_t* labels = data_.Labels.data() + static_cast<std::size_t>(y) * width_;
    for (int i = 0; i < runs_.Count; ++i) {
      const std::int32_t start = runs_.Starts[i], end = runs_.Starts[i + 1];
      TRegionSums& sums = SumsOf(runLabels_.front(), start);
      runLabels_.pop_front();
      FillLabels(labels, start, end, sums.Label);
      std::uint64_t colours[3];
      if (classes_.SingleColours) {
        for (int b = 0; b < 3; ++b) colours[b] = std::uint64_t{row[3 * start + b]} * (end - start);
      } else {
        SumColours(row, start, end - 1, colours);
      }
      sums.AddSpan(start, end - 1, y, colours[2], colours[1], colours[0]);
    }
  }

  // Runs are mostly short in noisy pictures: one store of eight labels (running on into the
  // row's later runs, written after this one) is cheaper than a loop.
  void FillLabels(std::int32_t* labels, int start, int end, std::int32_t label) const {
    if (end - start <= 8 && start + 8 <= width_) {
      const std::int32_t eight[8] = {label, label, label, label, label, label, label, label};
      std::memcpy(labels + start, eight, sizeof eight);
    } else {
      std::fill(labels + start, labels + end, label);
    }
  }

  // The sums of the region of a run with a provisional label. A region is met first at its
  // root, in the order of the regions' first pixels, and takes the next final label and a free
  // slot; while it is active its root's entry holds -1 - slot.
  TRegionSums& SumsOf(std::int32_t provisional, int x) {
    const std::int32_t up = parent_[provisional];
    if (up < 0) return slots_[-1 - up];
    const std::int32_t root = up;
    if (parent_[root] < 0) return slots_[-1 - parent_[root]];
    std::int32_t slot;
    if (freeSlots_.empty()) {
      slot = static_cast<std::int32_t>(slots_.size());
      slots_.emplace_back();
    } else {
      slot = freeSlots_.back();
      freeSlots_.pop_back();
      slots_[slot] = TRegionSums();
    }
    slots_[slot].Label = started_++;
    slots_[slot].SeedX = x;
    parent_[root] = -1 - slot;
    active_.push_back(slot);
    return slots_[slot];
  }

  // Stores every active region that has no pixel in row y. The active regions are sorted
  // without a branch each: in noisy pictures whether a region goes on is a coin toss.
  void Complete(int y) {
    complete_.resize(active_.size());
    std::size_t going = 0, done = 0;
    for (const std::int32_t slot : active_) {
      const bool over = slots_[slot].MaxY < y;
      active_[going] = slot;
      complete_[done] = slot;
      going += !over;
      done += over;
    }
    active_.resize(going);
    for (std::size_t i = 0; i < done; ++i) {
      const TRegionSums& sums = slots_[complete_[i]];
      data_.SetRegion(sums.Label, sums.SeedX, sums.Statistics());
      freeSlots_.push_back(complete_[i]);
    }
  }

  const TBitmap& bitmap_;
  const TColourClasses& classes_;
  TMarkupData& data_;
  IFilterHost* host_;
  int width_, height_;
  TRows runs_, above_;
  // The provisional label of every run in raster order, given back as the second pass reads it.
  std::deque<std::int32_t> runLabels_;
  std::vector<std::int32_t> parent_;
  std::int32_t started_ = 0;
  std::vector<TRegionSums> slots_;
  std::vector<std::int32_t> freeSlots_;
  std::vector<std::int32_t> active_, complete_;
};

}  // namespace

std::unique_ptr<TMarkupData> LabelRegions(const TBitmap* bitmap, std::uint32_t tolerance,
                                          IFilterHost* host, TLabelling labelling) {
  if (bitmap == nullptr || bitmap->Empty() || bitmap->BitsPerPixel() != 24) return nullptr;
  auto data = std::make_unique<TMarkupData>(bitmap->Width(), bitmap->Height());
  if (labelling == TLabelling::Runs) {
    if (const std::optional<TColourClasses> classes = ClassesOf(*bitmap, tolerance)) {
      TRunLabeller(*bitmap, *classes, *data, host).LabelAll();
      return data;
    }
  }
  TRegionFiller(*bitmap, tolerance, *data).LabelAll(host);
  return data;
}

TRegionToleranceFilter::TRegionToleranceFilter() {
  EditColumn = TEditColumn::OwnLabel;
  for (auto [label, field] : {std::pair{"Мягкость R:", &SoftR}, std::pair{"Мягкость G:", &SoftG},
                              std::pair{"Мягкость B:", &SoftB}}) {
    AddParam(TParam::Integer(label, *field)).AtLeast(0).AtMost(255).ScriptRange(0, 255);
  }
}

std::uint32_t TRegionToleranceFilter::PackedTolerance(bool flag1, bool flag2, bool flag3) const {
  std::uint32_t tolerance = (static_cast<std::uint32_t>(SoftR) << 16) +
                            (static_cast<std::uint32_t>(SoftG) << 8) +
                            static_cast<std::uint32_t>(SoftB);
  if (!flag1) tolerance |= 0xFF0000;
  if (!flag2) tolerance |= 0xFF00;
  if (!flag3) tolerance |= 0xFF;
  return tolerance;
}

void TMarkupFilter::Apply(TBitmap* bitmap, bool flag1, bool flag2, bool flag3) {
  if (bitmap == nullptr || !(flag1 || flag2 || flag3)) return;
  std::unique_ptr<TMarkupData> markup =
      LabelRegions(bitmap, PackedTolerance(flag1, flag2, flag3), Host, Labelling);
  if (Host != nullptr) Host->SetMarkup(std::move(markup));
}

}  // namespace imvora
