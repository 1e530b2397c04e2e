#include "filters/Median.h"

#include <algorithm>
#include <array>
#include <vector>

#include "filters/ChannelPlane.h"

namespace imvora {
namespace {

// Median of the window of (x, y) gathered and partially sorted; for the few border pixels of
// the 3 x 3 path.
std::uint8_t MedianAt(const std::uint8_t* src, int w, int h, int x, int y, int r) {
  std::array<std::uint8_t, 9> values;
  int n = 0;
  for (int yy = std::max(0, y - r); yy <= std::min(h - 1, y + r); ++yy) {
    for (int xx = std::max(0, x - r); xx <= std::min(w - 1, x + r); ++xx) {
      values[n++] = src[static_cast<std::size_t>(yy) * w + xx];
    }
  }
  std::nth_element(values.begin(), values.begin() + n / 2, values.begin() + n);
  return values[n / 2];
}

inline std::uint8_t Median3(std::uint8_t a, std::uint8_t b, std::uint8_t c) {
  return std::max(std::min(a, b), std::min(std::max(a, b), c));
}

// 3 x 3 median of the interior: sorting each column triple once serves three windows, and the
// median of nine is then the median of (largest low, median of middles, smallest high). The
// loops are plain min/max over rows, which the compiler turns into vector code.
void Median3x3Interior(const std::uint8_t* src, std::uint8_t* dst, int w, int h) {
  std::vector<std::uint8_t> lo(w), mid(w), hi(w);
  for (int y = 1; y + 1 < h; ++y) {
    const std::uint8_t* a = src + static_cast<std::size_t>(y - 1) * w;
    const std::uint8_t* b = a + w;
    const std::uint8_t* c = b + w;
    for (int x = 0; x < w; ++x) {
      const std::uint8_t ab0 = std::min(a[x], b[x]), ab1 = std::max(a[x], b[x]);
      lo[x] = std::min(ab0, c[x]);
      const std::uint8_t rest = std::max(ab0, c[x]);
      mid[x] = std::min(ab1, rest);
      hi[x] = std::max(ab1, rest);
    }
    std::uint8_t* out = dst + static_cast<std::size_t>(y) * w;
    for (int x = 1; x + 1 < w; ++x) {
      const std::uint8_t maxLow = std::max(std::max(lo[x - 1], lo[x]), lo[x + 1]);
      const std::uint8_t midMid = Median3(mid[x - 1], mid[x], mid[x + 1]);
      const std::uint8_t minHigh = std::min(std::min(hi[x - 1], hi[x]), hi[x + 1]);
      out[x] = Median3(maxLow, midMid, minHigh);
    }
  }
}

void Median3x3(const std::uint8_t* src, std::uint8_t* dst, int w, int h) {
  Median3x3Interior(src, dst, w, h);
  auto border = [&](int x, int y) {
    dst[static_cast<std::size_t>(y) * w + x] = MedianAt(src, w, h, x, y, 1);
  };
  for (int x = 0; x < w; ++x) {
    border(x, 0);
    border(x, h - 1);
  }
  for (int y = 1; y + 1 < h; ++y) {
    border(0, y);
    border(w - 1, y);
  }
}

// Running histogram of the window along each row (Huang). The window is cut at the edges, so
// n and the wanted index n / 2 change near them; `median` tracks the answer with `below`, the
// number of window values smaller than it.
class THuangRow {
 public:
  THuangRow(const std::uint8_t* src, int w, int y0, int y1) : src_(src), w_(w), y0_(y0), y1_(y1) {}

  void AddColumn(int x) { ChangeColumn(x, 1); }
  void RemoveColumn(int x) { ChangeColumn(x, -1); }

  std::uint8_t Select(std::int64_t index) {
    while (below_ > index) {
      --median_;
      below_ -= hist_[median_];
    }
    while (below_ + hist_[median_] <= index) {
      below_ += hist_[median_];
      ++median_;
    }
    return static_cast<std::uint8_t>(median_);
  }

 private:
  void ChangeColumn(int x, int delta) {
    const std::uint8_t* p = src_ + static_cast<std::size_t>(y0_) * w_ + x;
    for (int y = y0_; y <= y1_; ++y, p += w_) {
      hist_[*p] += delta;
      below_ += *p < median_ ? delta : 0;
    }
  }

  const std::uint8_t* src_;
  int w_, y0_, y1_;
  std::array<std::int64_t, 256> hist_{};
  std::int64_t below_ = 0;
  int median_ = 0;
};

void MedianHuang(const std::uint8_t* src, std::uint8_t* dst, int w, int h, int rx, int ry) {
  for (int y = 0; y < h; ++y) {
    const int y0 = std::max(0, y - ry), y1 = std::min(h - 1, y + ry);
    const std::int64_t rows = y1 - y0 + 1;
    THuangRow window(src, w, y0, y1);
    for (int x = 0; x <= rx; ++x) window.AddColumn(x);
    std::uint8_t* out = dst + static_cast<std::size_t>(y) * w;
    for (int x = 0; x < w; ++x) {
      const std::int64_t columns = std::min(w - 1, x + rx) - std::max(0, x - rx) + 1;
      out[x] = window.Select(columns * rows / 2);
      if (x - rx >= 0) window.RemoveColumn(x - rx);
      if (x + rx + 1 < w) window.AddColumn(x + rx + 1);
    }
  }
}

}  // namespace

void MedianPlane(const std::uint8_t* src, std::uint8_t* dst, int w, int h, int r) {
  if (w <= 0 || h <= 0) return;
  if (r <= 0) {
    std::copy(src, src + static_cast<std::size_t>(w) * h, dst);
    return;
  }
  // A radius reaching past the far edge gives the same cut windows as one that just reaches it.
  const int rx = std::min(r, w - 1), ry = std::min(r, h - 1);
  if (rx == 1 && ry == 1) {
    Median3x3(src, dst, w, h);
  } else {
    MedianHuang(src, dst, w, h, rx, ry);
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
  for (int byte : FlaggedBytes(flag1, flag2, flag3)) {
    const std::vector<std::uint8_t> plane = ExtractChannel(*bitmap, byte);
    MedianPlane(plane.data(), filtered.data(), bitmap->Width(), bitmap->Height(), Radius);
    StoreChannel(filtered, *bitmap, byte);
  }
}

}  // namespace imvora
