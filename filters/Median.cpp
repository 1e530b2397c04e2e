#include "filters/Median.h"

#include <algorithm>
#include <array>
#include <vector>

#include "filters/ChannelPlane.h"

namespace imvora {
namespace {

// Median of the window of (x, y), r <= 2, gathered and partially sorted; for the few border
// pixels of the sorting-network paths.
std::uint8_t MedianAt(const std::uint8_t* src, int w, int h, int x, int y, int r) {
  std::array<std::uint8_t, 25> values;
  int n = 0;
  for (int yy = std::max(0, y - r); yy <= std::min(h - 1, y + r); ++yy) {
    for (int xx = std::max(0, x - r); xx <= std::min(w - 1, x + r); ++xx) {
      values[n++] = src[static_cast<std::size_t>(yy) * w + xx];
    }
  }
  std::nth_element(values.begin(), values.begin() + n / 2, values.begin() + n);
  return values[n / 2];
}

// Byte minimum and maximum by value: std::min returns a reference, which keeps the compiler
// from vectorizing the loops below.
inline std::uint8_t Low(std::uint8_t a, std::uint8_t b) {
  return a < b ? a : b;
}
inline std::uint8_t High(std::uint8_t a, std::uint8_t b) {
  return a < b ? b : a;
}

inline std::uint8_t Median3(std::uint8_t a, std::uint8_t b, std::uint8_t c) {
  return High(Low(a, b), Low(High(a, b), c));
}

// 3 x 3 median of the interior: sorting each column triple once serves three windows, and the
// median of nine is then the median of (largest low, median of middles, smallest high). The
// loops are plain min/max over rows, which the compiler turns into vector code.
void Median3x3Interior(const std::uint8_t* src, std::uint8_t* dst, int w, int h) {
  std::vector<std::uint8_t> columns(3 * static_cast<std::size_t>(w));
  // Distinct buffers: telling the compiler so lets it vectorize the second loop.
  std::uint8_t* __restrict lo = columns.data();
  std::uint8_t* __restrict mid = lo + w;
  std::uint8_t* __restrict hi = mid + w;
  for (int y = 1; y + 1 < h; ++y) {
    const std::uint8_t* a = src + static_cast<std::size_t>(y - 1) * w;
    const std::uint8_t* b = a + w;
    const std::uint8_t* c = b + w;
    for (int x = 0; x < w; ++x) {
      const std::uint8_t ab0 = Low(a[x], b[x]), ab1 = High(a[x], b[x]);
      lo[x] = Low(ab0, c[x]);
      const std::uint8_t rest = High(ab0, c[x]);
      mid[x] = Low(ab1, rest);
      hi[x] = High(ab1, rest);
    }
    std::uint8_t* __restrict out = dst + static_cast<std::size_t>(y) * w;
    for (int x = 1; x + 1 < w; ++x) {
      const std::uint8_t maxLow = High(High(lo[x - 1], lo[x]), lo[x + 1]);
      const std::uint8_t midMid = Median3(mid[x - 1], mid[x], mid[x + 1]);
      const std::uint8_t minHigh = Low(Low(hi[x - 1], hi[x]), hi[x + 1]);
      out[x] = Median3(maxLow, midMid, minHigh);
    }
  }
}

// The pixels within r of an edge, whose windows are cut, one by one.
void BorderMedians(const std::uint8_t* src, std::uint8_t* dst, int w, int h, int r) {
  for (int y = 0; y < h; ++y) {
    const bool borderRow = y < r || y >= h - r;
    for (int x = 0; x < w; ++x) {
      if (!borderRow && x == r) x = std::max(x, w - r);
      dst[static_cast<std::size_t>(y) * w + x] = MedianAt(src, w, h, x, y, r);
    }
  }
}

// Compare-exchange pairs of Batcher's odd-even merge sort of `wires` (a power of two) wires,
// keeping only those on which wire `target` depends.
std::vector<std::pair<int, int>> SelectionNetwork(int wires, int target) {
  std::vector<std::pair<int, int>> all;
  for (int p = 1; p < wires; p *= 2) {
    for (int k = p; k >= 1; k /= 2) {
      for (int j = k % p; j + k < wires; j += 2 * k) {
        for (int i = 0; i < std::min(k, wires - j - k); ++i) {
          if ((i + j) / (2 * p) == (i + j + k) / (2 * p)) all.emplace_back(i + j, i + j + k);
        }
      }
    }
  }
  std::vector<bool> needed(wires, false);
  needed[target] = true;
  std::vector<std::pair<int, int>> kept;
  for (auto it = all.rbegin(); it != all.rend(); ++it) {
    if (!needed[it->first] && !needed[it->second]) continue;
    needed[it->first] = needed[it->second] = true;
    kept.push_back(*it);
  }
  return {kept.rbegin(), kept.rend()};
}

// 5 x 5 median of the interior, many pixels at a time: the 25 window values with 3 zeros and
// 4 values 255 pass through the network, and sorted position 3 + 12 is the window's median.
void Median5x5Interior(const std::uint8_t* src, std::uint8_t* dst, int w, int h) {
  static const std::vector<std::pair<int, int>> network = SelectionNetwork(32, 15);
  constexpr int kLanes = 64;
  std::vector<std::array<std::uint8_t, kLanes>> wire(32);
  for (int x0 = 2; x0 + 2 < w; x0 += kLanes) {
    const int lanes = std::min(kLanes, w - 2 - x0);
    for (int y = 2; y + 2 < h; ++y) {
      int k = 0;
      for (int dy = -2; dy <= 2; ++dy) {
        const std::uint8_t* row = src + static_cast<std::size_t>(y + dy) * w + x0;
        for (int dx = -2; dx <= 2; ++dx) std::copy(row + dx, row + dx + lanes, wire[k++].begin());
      }
      for (; k < 28; ++k) wire[k].fill(0);
      for (; k < 32; ++k) wire[k].fill(255);
      for (const auto& [a, b] : network) {
        std::uint8_t* __restrict lo = wire[a].data();
        std::uint8_t* __restrict hi = wire[b].data();
        for (int j = 0; j < kLanes; ++j) {
          const std::uint8_t low = Low(lo[j], hi[j]);
          hi[j] = High(lo[j], hi[j]);
          lo[j] = low;
        }
      }
      std::copy(wire[15].begin(), wire[15].begin() + lanes,
                dst + static_cast<std::size_t>(y) * w + x0);
    }
  }
}

// Adds (delta 1) or removes (delta -1) the values of one window column in the histogram and
// returns the change of the number of window values below `median`.
int ChangeColumn(std::int32_t* hist, const std::uint8_t* p, int w, int rows, int median,
                 int delta) {
  int below = 0;
  for (int i = 0; i < rows; ++i, p += w) {
    hist[*p] += delta;
    below += *p < median;
  }
  return below * delta;
}

// Running histogram of the window along each row (Huang). The window is cut at the edges, so
// n and the wanted index n / 2 change near them; `median` follows the answer together with
// `below`, the number of window values smaller than it.
void MedianHuang(const std::uint8_t* src, std::uint8_t* dst, int w, int h, int rx, int ry) {
  std::array<std::int32_t, 256> hist;
  for (int y = 0; y < h; ++y) {
    const int y0 = std::max(0, y - ry), rows = std::min(h - 1, y + ry) - y0 + 1;
    const std::uint8_t* top = src + static_cast<std::size_t>(y0) * w;
    hist.fill(0);
    int median = 0, below = 0;
    for (int x = 0; x <= rx; ++x) ChangeColumn(hist.data(), top + x, w, rows, median, 1);
    std::uint8_t* out = dst + static_cast<std::size_t>(y) * w;
    for (int x = 0; x < w; ++x) {
      const int columns = std::min(w - 1, x + rx) - std::max(0, x - rx) + 1;
      const int index = columns * rows / 2;
      while (below > index) below -= hist[--median];
      while (below + hist[median] <= index) below += hist[median++];
      out[x] = static_cast<std::uint8_t>(median);
      if (x - rx >= 0) below += ChangeColumn(hist.data(), top + x - rx, w, rows, median, -1);
      if (x + rx + 1 < w) below += ChangeColumn(hist.data(), top + x + rx + 1, w, rows, median, 1);
    }
  }
}

// Huang's running histogram costs 2(2r + 1) updates per pixel, the column histograms a fixed
// amount; on camera pictures they break even at about r = 5.
constexpr int kHuangMaxRadius = 4;
// The column histograms take 256 counters per column; a picture so wide that they would exceed
// this falls back to Huang, which needs none.
constexpr std::int64_t kMaxColumnHistogramBytes = std::int64_t{256} << 20;

// Column histograms (Perreault and Hebert): every column keeps the histogram of its part of
// the window rows, so moving along a row adds one column and removes another whatever r is.
// Histograms are split into 16 coarse bins of 16 fine levels; the kernel keeps all coarse bins
// current and brings a fine segment up to date only when the median falls into it. The columns
// are padded with 2r empty histograms, which is exactly a window cut at the left and right edges.
template <class Count>
class TColumnHistogramMedian {
 public:
  TColumnHistogramMedian(const std::uint8_t* src, int w, int h, int rx, int ry)
      : src_(src),
        w_(w),
        h_(h),
        rx_(rx),
        ry_(ry),
        span_(2 * rx + 1),
        fine_(static_cast<std::size_t>(w + 2 * rx) * 256),
        coarse_(static_cast<std::size_t>(w + 2 * rx) * 16) {}

  void Run(std::uint8_t* dst) {
    for (int y = 0; y <= std::min(h_ - 1, ry_); ++y) ChangeRow(y, 1);
    for (int y = 0; y < h_; ++y) {
      if (y > 0 && y - ry_ - 1 >= 0) ChangeRow(y - ry_ - 1, -1);
      if (y > 0 && y + ry_ < h_) ChangeRow(y + ry_, 1);
      const int rows = std::min(h_ - 1, y + ry_) - std::max(0, y - ry_) + 1;
      FilterRow(rows, dst + static_cast<std::size_t>(y) * w_);
    }
  }

 private:
  // The window's histogram; fine segment k holds the padded columns up to updatedTo[k] - 1.
  struct TKernel {
    Count coarse[16];
    Count fine[256];
    int updatedTo[16];
  };

  const Count* FineOf(int column) const {
    return fine_.data() + static_cast<std::size_t>(column) * 256;
  }
  const Count* CoarseOf(int column) const {
    return coarse_.data() + static_cast<std::size_t>(column) * 16;
  }

  void ChangeRow(int y, int delta) {
    const std::uint8_t* row = src_ + static_cast<std::size_t>(y) * w_;
    Count* fine = fine_.data() + static_cast<std::size_t>(rx_) * 256;
    Count* coarse = coarse_.data() + static_cast<std::size_t>(rx_) * 16;
    for (int x = 0; x < w_; ++x, fine += 256, coarse += 16) {
      fine[row[x]] = static_cast<Count>(fine[row[x]] + delta);
      coarse[row[x] >> 4] = static_cast<Count>(coarse[row[x] >> 4] + delta);
    }
  }

  // Lane-wise to += plus - minus over the 16 counters of a segment.
  static void Slide(Count* __restrict to, const Count* __restrict plus,
                    const Count* __restrict minus) {
    for (int j = 0; j < 16; ++j) to[j] = static_cast<Count>(to[j] + plus[j] - minus[j]);
  }
  static void Add(Count* __restrict to, const Count* __restrict plus) {
    for (int j = 0; j < 16; ++j) to[j] = static_cast<Count>(to[j] + plus[j]);
  }

  // Brings fine segment k of the kernel to the padded columns [x, x + 2r].
  void UpdateSegment(TKernel& kernel, int k, int x) const {
    Count* segment = kernel.fine + 16 * k;
    const int target = x + span_;
    if (target - kernel.updatedTo[k] >= span_) {
      std::fill(segment, segment + 16, Count{0});
      for (int c = x; c < target; ++c) Add(segment, FineOf(c) + 16 * k);
    } else {
      for (int c = kernel.updatedTo[k]; c < target; ++c) {
        Slide(segment, FineOf(c) + 16 * k, FineOf(c - span_) + 16 * k);
      }
    }
    kernel.updatedTo[k] = target;
  }

  void FilterRow(int rows, std::uint8_t* out) const {
    TKernel kernel;
    std::fill(kernel.coarse, kernel.coarse + 16, Count{0});
    for (int c = 0; c < span_; ++c) Add(kernel.coarse, CoarseOf(c));
    // Every segment starts stale, so its first use sums its window afresh.
    std::fill(kernel.updatedTo, kernel.updatedTo + 16, -span_);
    for (int x = 0; x < w_; ++x) {
      if (x > 0) Slide(kernel.coarse, CoarseOf(x + span_ - 1), CoarseOf(x - 1));
      const int columns = std::min(w_ - 1, x + rx_) - std::max(0, x - rx_) + 1;
      const std::int64_t index = static_cast<std::int64_t>(columns) * rows / 2;
      std::int64_t below = 0;
      int k = 0;
      while (below + kernel.coarse[k] <= index) below += kernel.coarse[k++];
      UpdateSegment(kernel, k, x);
      const Count* segment = kernel.fine + 16 * k;
      int j = 0;
      while (below + segment[j] <= index) below += segment[j++];
      out[x] = static_cast<std::uint8_t>(16 * k + j);
    }
  }

  const std::uint8_t* src_;
  int w_, h_, rx_, ry_, span_;
  std::vector<Count> fine_, coarse_;
};

}  // namespace

void MedianPlane(const std::uint8_t* src, std::uint8_t* dst, int w, int h, int r) {
  if (w <= 0 || h <= 0) return;
  if (r <= 0) {
    std::copy(src, src + static_cast<std::size_t>(w) * h, dst);
    return;
  }
  // A radius reaching past the far edge gives the same cut windows as one that just reaches it.
  const int rx = std::min(r, w - 1), ry = std::min(r, h - 1);
  const bool narrowCounts = (2 * std::int64_t{rx} + 1) * (2 * std::int64_t{ry} + 1) <= 0xFFFF;
  const std::int64_t histogramBytes = (std::int64_t{w} + 2 * rx) * 256 * (narrowCounts ? 2 : 4);
  if (rx == ry && (rx == 1 || rx == 2)) {
    if (rx == 1) Median3x3Interior(src, dst, w, h);
    if (rx == 2) Median5x5Interior(src, dst, w, h);
    BorderMedians(src, dst, w, h, rx);
  } else if (ry <= kHuangMaxRadius || histogramBytes > kMaxColumnHistogramBytes) {
    MedianHuang(src, dst, w, h, rx, ry);
  } else if (narrowCounts) {
    TColumnHistogramMedian<std::uint16_t>(src, w, h, rx, ry).Run(dst);
  } else {
    TColumnHistogramMedian<std::uint32_t>(src, w, h, rx, ry).Run(dst);
  }
}

TMedianFilter::TMedianFilter() {
  Name = "Median";
  AddParam(TParam::Integer("Радиус окрестности:", Radius).AtLeast(1));
}

void TMedianFilter::Apply(TBitmap* bitmap, bool flag1, bool flag2, bool flag3) {
  if (bitmap == nullptr || bitmap->BitsPerPixel() != 24 || bitmap->Empty()) return;
  if (Radius <= 0) return;
  std::vector<std::uint8_t> filtered(static_cast<std::size_t>(bitmap->Width()) * bitmap->Height());
  std::vector<std::uint8_t> plane;
  for (int byte : FlaggedBytes(flag1, flag2, flag3)) {
    ExtractChannel(*bitmap, byte, plane);
    MedianPlane(plane.data(), filtered.data(), bitmap->Width(), bitmap->Height(), Radius);
    StoreChannel(filtered, *bitmap, byte);
  }
}

}  // namespace imvora
