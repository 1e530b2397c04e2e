#include "recognition/Markup.h"

#include <algorithm>
#include <limits>
#include <vector>

namespace imvora {
namespace {

constexpr std::int32_t kUnlabelled = -1;

// Region statistics gathered while the region is filled. 64-bit sums: the column sum of one
// region already exceeds 32 bits on a 4096 x 4096 image.
struct TRegionStats {
  std::uint64_t Red = 0, Green = 0, Blue = 0, Columns = 0, Rows = 0, Area = 0;
  std::int32_t MinX = std::numeric_limits<std::int32_t>::max();
  std::int32_t MinY = std::numeric_limits<std::int32_t>::max();
  std::int32_t MaxX = std::numeric_limits<std::int32_t>::min();
  std::int32_t MaxY = std::numeric_limits<std::int32_t>::min();
};

// Scanline fill with an explicit stack of span seeds, so that a region as large and winding
// as the image needs no call stack. Each labelled span tests the rows above and below it once.
class TRegionLabeller {
 public:
  TRegionLabeller(const TBitmap& bitmap, std::uint32_t tolerance, TMarkupData& data)
      : width_(bitmap.Width()), height_(bitmap.Height()), tolerance_(tolerance), data_(data) {
    rows_.reserve(height_);
    for (int y = 0; y < height_; ++y) rows_.push_back(bitmap.ScanLine(y));
  }

  void LabelAll() {
    data_.Labels.assign(data_.Labels.size(), kUnlabelled);
    std::int32_t label = 0;
    for (int y = 0; y < height_; ++y) {
      for (int x = 0; x < width_; ++x) {
        if (LabelAt(x, y) != kUnlabelled) continue;
        Fill(x, y, label++);
      }
    }
    data_.RegionCount = label;
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
    TRegionStats stats;
    stack_.clear();
    stack_.push_back({x, y});
    while (!stack_.empty()) {
      const TSeed seed = stack_.back();
      stack_.pop_back();
      if (!Member(seed.X, seed.Y)) continue;
      int left = seed.X, right = seed.X;
      while (left > 0 && Member(left - 1, seed.Y)) --left;
      while (right + 1 < width_ && Member(right + 1, seed.Y)) ++right;
      LabelSpan(left, right, seed.Y, label, stats);
      if (seed.Y > 0) PushRuns(left, right, seed.Y - 1);
      if (seed.Y + 1 < height_) PushRuns(left, right, seed.Y + 1);
    }
    Store(stats);
  }

  void LabelSpan(int left, int right, int y, std::int32_t label, TRegionStats& stats) {
    const std::uint8_t* p = rows_[y] + 3 * left;
    std::int32_t* labels = &LabelAt(left, y);
    for (int x = left; x <= right; ++x, p += 3) {
      *labels++ = label;
      stats.Blue += p[0];
      stats.Green += p[1];
      stats.Red += p[2];
    }
    const std::uint64_t length = right - left + 1;
    stats.Area += length;
    stats.Columns += (std::uint64_t{static_cast<std::uint32_t>(left)} + right) * length / 2;
    stats.Rows += length * y;
    stats.MinX = std::min(stats.MinX, left);
    stats.MaxX = std::max(stats.MaxX, right);
    stats.MinY = std::min(stats.MinY, y);
    stats.MaxY = std::max(stats.MaxY, y);
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

  void Store(const TRegionStats& s) {
    data_.MeanR.push_back(static_cast<std::uint32_t>(s.Red / s.Area));
    data_.MeanG.push_back(static_cast<std::uint32_t>(s.Green / s.Area));
    data_.MeanB.push_back(static_cast<std::uint32_t>(s.Blue / s.Area));
    data_.Area.push_back(static_cast<std::uint32_t>(s.Area));
    data_.MinX.push_back(s.MinX);
    data_.MinY.push_back(s.MinY);
    data_.MaxX.push_back(s.MaxX);
    data_.MaxY.push_back(s.MaxY);
    data_.CenterX.push_back(static_cast<std::int32_t>(s.Columns / s.Area));
    data_.CenterY.push_back(static_cast<std::int32_t>(s.Rows / s.Area));
  }

  int width_, height_;
  std::uint32_t tolerance_;
  TMarkupData& data_;
  std::vector<const std::uint8_t*> rows_;
  std::vector<TSeed> stack_;
  int low_[3] = {0, 0, 0};
  unsigned span_[3] = {0, 0, 0};
};

}  // namespace

std::unique_ptr<TMarkupData> LabelRegions(const TBitmap* bitmap, std::uint32_t tolerance) {
  if (bitmap == nullptr || bitmap->Empty() || bitmap->BitsPerPixel() != 24) return nullptr;
  auto data = std::make_unique<TMarkupData>(bitmap->Width(), bitmap->Height());
  TRegionLabeller(*bitmap, tolerance, *data).LabelAll();
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
  std::unique_ptr<TMarkupData> markup = LabelRegions(bitmap, PackedTolerance(flag1, flag2, flag3));
  if (Host != nullptr) Host->SetMarkup(std::move(markup));
}

}  // namespace imvora
