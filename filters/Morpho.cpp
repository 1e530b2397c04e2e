#include "filters/Morpho.h"

#include <algorithm>
#include <vector>

#include "core/Filtering.h"
#include "filters/ChannelPlane.h"

namespace imvora {
namespace {

// The window is a rectangle cut to the image, so its maximum is the maximum over its rows of
// each row's maximum: one pass along the rows, one down the columns. Positions past an edge
// are replaced by the neutral value of the pick (0 for the maximum, 255 for the minimum), which
// never wins against a real value and so reproduces the cut window exactly.
struct TPickMax {
  static std::uint8_t Pick(std::uint8_t a, std::uint8_t b) { return std::max(a, b); }
  static constexpr std::uint8_t kNeutral = 0;
};
struct TPickMin {
  static std::uint8_t Pick(std::uint8_t a, std::uint8_t b) { return std::min(a, b); }
  static constexpr std::uint8_t kNeutral = 255;
};

// Up to this radius the plain pick over 2r + 1 shifted rows, which vectorizes, is cheaper than
// the van Herk / Gil-Werman blocks, whose cost does not grow with r.
constexpr int kDirectRadius = 3;
// Width of the column strips of the vertical pass, small enough to keep its buffers in cache.
constexpr int kStrip = 64;

// van Herk / Gil-Werman on a padded line p of n values: in blocks of k = 2r + 1, forward holds
// the running pick from each block's start and backward the one to its end; the window
// [i, i + 2r] spans at most two blocks, so its pick is Pick(backward[i], forward[i + 2r]).
// Each "value" is a row of `lanes` bytes, so the same code serves single bytes and strips.
template <class P, class Source>
void BlockPicks(Source line, int n, int k, int lanes, std::uint8_t* forward,
                std::uint8_t* backward) {
  for (int start = 0; start < n; start += k) {
    const int end = std::min(n, start + k);
    std::copy(line(start), line(start) + lanes, forward + static_cast<std::size_t>(start) * lanes);
    for (int i = start + 1; i < end; ++i) {
      const std::uint8_t* in = line(i);
      const std::uint8_t* prev = forward + static_cast<std::size_t>(i - 1) * lanes;
      std::uint8_t* out = forward + static_cast<std::size_t>(i) * lanes;
      for (int j = 0; j < lanes; ++j) out[j] = P::Pick(prev[j], in[j]);
    }
    std::copy(line(end - 1), line(end - 1) + lanes,
              backward + static_cast<std::size_t>(end - 1) * lanes);
    for (int i = end - 2; i >= start; --i) {
      const std::uint8_t* in = line(i);
      const std::uint8_t* next = backward + static_cast<std::size_t>(i + 1) * lanes;
      std::uint8_t* out = backward + static_cast<std::size_t>(i) * lanes;
      for (int j = 0; j < lanes; ++j) out[j] = P::Pick(next[j], in[j]);
    }
  }
}

template <class P>
void RowPass(const std::uint8_t* src, std::uint8_t* dst, int w, int h, int r) {
  const int n = w + 2 * r;
  std::vector<std::uint8_t> padded(n, P::kNeutral), forward(n), backward(n);
  for (int y = 0; y < h; ++y) {
    const std::uint8_t* in = src + static_cast<std::size_t>(y) * w;
    std::uint8_t* out = dst + static_cast<std::size_t>(y) * w;
    std::copy(in, in + w, padded.begin() + r);
    if (r <= kDirectRadius) {
      std::copy(padded.begin(), padded.begin() + w, out);
      for (int d = 1; d <= 2 * r; ++d) {
        for (int x = 0; x < w; ++x) out[x] = P::Pick(out[x], padded[x + d]);
      }
      continue;
    }
    BlockPicks<P>([&](int i) { return &padded[i]; }, n, 2 * r + 1, 1, forward.data(),
                  backward.data());
    for (int x = 0; x < w; ++x) out[x] = P::Pick(backward[x], forward[x + 2 * r]);
  }
}

template <class P>
void ColumnPassDirect(const std::uint8_t* src, std::uint8_t* dst, int w, int h, int r) {
  for (int y = 0; y < h; ++y) {
    const int y0 = std::max(0, y - r), y1 = std::min(h - 1, y + r);
    std::uint8_t* out = dst + static_cast<std::size_t>(y) * w;
    std::copy(src + static_cast<std::size_t>(y0) * w, src + static_cast<std::size_t>(y0 + 1) * w,
              out);
    for (int yy = y0 + 1; yy <= y1; ++yy) {
      const std::uint8_t* in = src + static_cast<std::size_t>(yy) * w;
      for (int x = 0; x < w; ++x) out[x] = P::Pick(out[x], in[x]);
    }
  }
}

template <class P>
void ColumnPassBlocks(const std::uint8_t* src, std::uint8_t* dst, int w, int h, int r) {
  const int n = h + 2 * r;
  const std::vector<std::uint8_t> neutral(kStrip, P::kNeutral);
  std::vector<std::uint8_t> forward(static_cast<std::size_t>(n) * kStrip);
  std::vector<std::uint8_t> backward(forward.size());
  for (int x0 = 0; x0 < w; x0 += kStrip) {
    const int lanes = std::min(kStrip, w - x0);
    auto line = [&](int i) {
      const int y = i - r;
      return y >= 0 && y < h ? src + static_cast<std::size_t>(y) * w + x0 : neutral.data();
    };
    BlockPicks<P>(line, n, 2 * r + 1, lanes, forward.data(), backward.data());
    for (int y = 0; y < h; ++y) {
      const std::uint8_t* b = backward.data() + static_cast<std::size_t>(y) * lanes;
      const std::uint8_t* f = forward.data() + static_cast<std::size_t>(y + 2 * r) * lanes;
      std::uint8_t* out = dst + static_cast<std::size_t>(y) * w + x0;
      for (int j = 0; j < lanes; ++j) out[j] = P::Pick(b[j], f[j]);
    }
  }
}

template <class P>
void PickPlane(const std::uint8_t* src, std::uint8_t* dst, int w, int h, int r) {
  if (w <= 0 || h <= 0) return;
  // A radius reaching past the far edge gives the same cut windows as one that just reaches it.
  const int rx = std::clamp(r, 0, w - 1), ry = std::clamp(r, 0, h - 1);
  std::vector<std::uint8_t> rows(static_cast<std::size_t>(w) * h);
  RowPass<P>(src, rows.data(), w, h, rx);
  if (ry <= kDirectRadius) {
    ColumnPassDirect<P>(rows.data(), dst, w, h, ry);
  } else {
    ColumnPassBlocks<P>(rows.data(), dst, w, h, ry);
  }
}

template <class P>
void PickFilter(const TBitmap* source, TBitmap* destination, bool flag1, bool flag2, bool flag3,
                int r) {
  if (source == nullptr || destination == nullptr || !(flag1 || flag2 || flag3)) return;
  if (source->Width() != destination->Width() || source->Height() != destination->Height()) {
    return;
  }
  *destination = *source;
  if (source->Empty() || source->BitsPerPixel() != 24) return;
  std::vector<std::uint8_t> picked(static_cast<std::size_t>(source->Width()) * source->Height());
  for (int byte : FlaggedBytes(flag1, flag2, flag3)) {
    const std::vector<std::uint8_t> plane = ExtractChannel(*source, byte);
    PickPlane<P>(plane.data(), picked.data(), source->Width(), source->Height(), r);
    StoreChannel(picked, *destination, byte);
  }
}

}  // namespace

void MaxPlane(const std::uint8_t* src, std::uint8_t* dst, int w, int h, int r) {
  PickPlane<TPickMax>(src, dst, w, h, r);
}

void MinPlane(const std::uint8_t* src, std::uint8_t* dst, int w, int h, int r) {
  PickPlane<TPickMin>(src, dst, w, h, r);
}

TMorphoFilter::TMorphoFilter() {
  Name = "Morpho";
  EditColumn = TEditColumn::OwnLabel;
  PanelWidthFrom = TPanelWidthFrom::LastControl;
  AddParam(TParam::Integer("Радиус окрестности:", Radius).AtLeast(1).ScriptAtLeast(1));
  AddParam(TParam::Choice("Фильтр:", Operation,
                          {"сужение", "расширение", "открытие", "закрытие", "внутренний контур",
                           "внешний контур"})
               .WithWidth(150));
}

void TMorphoFilter::MaxFilter(const TBitmap* source, TBitmap* destination, bool flag1, bool flag2,
                              bool flag3) const {
  PickFilter<TPickMax>(source, destination, flag1, flag2, flag3, Radius);
}

void TMorphoFilter::MinFilter(const TBitmap* source, TBitmap* destination, bool flag1, bool flag2,
                              bool flag3) const {
  PickFilter<TPickMin>(source, destination, flag1, flag2, flag3, Radius);
}

void TMorphoFilter::Apply(TBitmap* bitmap, bool flag1, bool flag2, bool flag3) {
  if (bitmap == nullptr || !(flag1 || flag2 || flag3)) return;
  TBitmap t = *bitmap;
  switch (Operation) {
    case kShrink:
      MaxFilter(bitmap, &t, flag1, flag2, flag3);
      *bitmap = std::move(t);
      break;
    case kGrow:
      MinFilter(bitmap, &t, flag1, flag2, flag3);
      *bitmap = std::move(t);
      break;
    case kOpening:
      MaxFilter(bitmap, &t, flag1, flag2, flag3);
      MinFilter(&t, bitmap, flag1, flag2, flag3);
      break;
    case kClosing:
      MinFilter(bitmap, &t, flag1, flag2, flag3);
      MaxFilter(&t, bitmap, flag1, flag2, flag3);
      break;
    case kInnerContour:
      MaxFilter(bitmap, &t, flag1, flag2, flag3);
      ChannelDifference(&t, bitmap, flag1, flag2, flag3, 0, 0, 0);
      *bitmap = std::move(t);
      break;
    case kOuterContour:
      MinFilter(bitmap, &t, flag1, flag2, flag3);
      ChannelDifference(bitmap, &t, flag1, flag2, flag3, 0, 0, 0);
      break;
    default:
      break;
  }
}

}  // namespace imvora
