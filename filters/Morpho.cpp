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

// van Herk / Gil-Werman on a padded line of n values: in blocks of k = 2r + 1, forward holds
// the running pick from each block's start and backward the one to its end; the window
// [i, i + 2r] spans at most two blocks, so its pick is Pick(backward[i], forward[i + 2r]).
template <class P>
void LineBlockPicks(const std::uint8_t* line, int n, int k, std::uint8_t* __restrict forward,
                    std::uint8_t* __restrict backward) {
  for (int start = 0; start < n; start += k) {
    const int end = std::min(n, start + k);
    forward[start] = line[start];
    for (int i = start + 1; i < end; ++i) forward[i] = P::Pick(forward[i - 1], line[i]);
    backward[end - 1] = line[end - 1];
    for (int i = end - 2; i >= start; --i) backward[i] = P::Pick(backward[i + 1], line[i]);
  }
}

// The same blocks down a strip of columns: each value is a row of `lanes` bytes.
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

// Buffers of one filter run, kept across channels and passes.
struct TScratch {
  std::vector<std::uint8_t> rows;     // the row pass's result, one plane
  std::vector<std::uint8_t> padded;   // one image row with neutral ends
  std::vector<std::uint8_t> forward;  // block picks of a line or strip
  std::vector<std::uint8_t> backward;
  std::vector<std::uint8_t> line;  // one output row before it goes into the bitmap
};

// Pick along each row of one byte of the bitmap's pixels into scratch.rows.
template <class P>
void RowPass(const TBitmap& bitmap, int byte, int r, TScratch& s) {
  const int w = bitmap.Width(), h = bitmap.Height(), n = w + 2 * r;
  s.rows.resize(static_cast<std::size_t>(w) * h);
  s.padded.assign(n, P::kNeutral);
  s.forward.resize(n);
  s.backward.resize(n);
  std::uint8_t* padded = s.padded.data();
  for (int y = 0; y < h; ++y) {
    const std::uint8_t* in = bitmap.ScanLine(y) + byte;
    for (int x = 0; x < w; ++x) padded[r + x] = in[3 * x];
    std::uint8_t* __restrict out = s.rows.data() + static_cast<std::size_t>(y) * w;
    if (r <= kDirectRadius) {
      std::copy(padded, padded + w, out);
      for (int d = 1; d <= 2 * r; ++d) {
        for (int x = 0; x < w; ++x) out[x] = P::Pick(out[x], padded[x + d]);
      }
      continue;
    }
    LineBlockPicks<P>(padded, n, 2 * r + 1, s.forward.data(), s.backward.data());
    for (int x = 0; x < w; ++x) out[x] = P::Pick(s.backward[x], s.forward[x + 2 * r]);
  }
}

void StoreRow(const std::uint8_t* line, int count, std::uint8_t* pixelByte) {
  for (int x = 0; x < count; ++x) pixelByte[3 * x] = line[x];
}

// Pick down each column of scratch.rows into the byte of the bitmap's pixels.
template <class P>
void ColumnPassDirect(TBitmap& bitmap, int byte, int r, TScratch& s) {
  const int w = bitmap.Width(), h = bitmap.Height();
  s.line.resize(w);
  std::uint8_t* __restrict line = s.line.data();
  for (int y = 0; y < h; ++y) {
    const int y0 = std::max(0, y - r), y1 = std::min(h - 1, y + r);
    const std::uint8_t* first = s.rows.data() + static_cast<std::size_t>(y0) * w;
    std::copy(first, first + w, line);
    for (int yy = y0 + 1; yy <= y1; ++yy) {
      const std::uint8_t* in = s.rows.data() + static_cast<std::size_t>(yy) * w;
      for (int x = 0; x < w; ++x) line[x] = P::Pick(line[x], in[x]);
    }
    StoreRow(line, w, bitmap.ScanLine(y) + byte);
  }
}

template <class P>
void ColumnPassBlocks(TBitmap& bitmap, int byte, int r, TScratch& s) {
  const int w = bitmap.Width(), h = bitmap.Height(), n = h + 2 * r;
  const int strip = std::min(kStrip, w);
  const std::vector<std::uint8_t> neutral(strip, P::kNeutral);
  s.forward.resize(static_cast<std::size_t>(n) * strip);
  s.backward.resize(s.forward.size());
  for (int x0 = 0; x0 < w; x0 += strip) {
    const int lanes = std::min(strip, w - x0);
    auto line = [&](int i) {
      const int y = i - r;
      return y >= 0 && y < h ? s.rows.data() + static_cast<std::size_t>(y) * w + x0
                             : neutral.data();
    };
    BlockPicks<P>(line, n, 2 * r + 1, lanes, s.forward.data(), s.backward.data());
    // The strip's input is all in the block picks now, so its result can replace it.
    for (int y = 0; y < h; ++y) {
      const std::uint8_t* b = s.backward.data() + static_cast<std::size_t>(y) * lanes;
      const std::uint8_t* f = s.forward.data() + static_cast<std::size_t>(y + 2 * r) * lanes;
      std::uint8_t* out = s.rows.data() + static_cast<std::size_t>(y) * w + x0;
      for (int j = 0; j < lanes; ++j) out[j] = P::Pick(b[j], f[j]);
    }
  }
  // Row by row into the bitmap: scattering each strip there would touch three times as many
  // cache lines per row.
  for (int y = 0; y < h; ++y) {
    StoreRow(s.rows.data() + static_cast<std::size_t>(y) * w, w, bitmap.ScanLine(y) + byte);
  }
}

// Replaces each flagged byte of a 24-bit bitmap by its window pick.
template <class P>
void PickInPlace(TBitmap& bitmap, bool flag1, bool flag2, bool flag3, int r, TScratch& s) {
  const int w = bitmap.Width(), h = bitmap.Height();
  if (w <= 0 || h <= 0 || bitmap.BitsPerPixel() != 24) return;
  // A radius reaching past the far edge gives the same cut windows as one that just reaches it.
  const int rx = std::clamp(r, 0, w - 1), ry = std::clamp(r, 0, h - 1);
  for (int byte : FlaggedBytes(flag1, flag2, flag3)) {
    RowPass<P>(bitmap, byte, rx, s);
    if (ry <= kDirectRadius) {
      ColumnPassDirect<P>(bitmap, byte, ry, s);
    } else {
      ColumnPassBlocks<P>(bitmap, byte, ry, s);
    }
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
  TScratch scratch;
  PickInPlace<P>(*destination, flag1, flag2, flag3, r, scratch);
}

}  // namespace

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
  // A pass whose result only feeds the next pass runs in place: each channel is read whole by
  // the row pass before the column pass writes it, so every window still sees the pass's input.
  TScratch scratch;
  auto pickMax = [&] { PickInPlace<TPickMax>(*bitmap, flag1, flag2, flag3, Radius, scratch); };
  auto pickMin = [&] { PickInPlace<TPickMin>(*bitmap, flag1, flag2, flag3, Radius, scratch); };
  switch (Operation) {
    case kShrink:
      pickMax();
      break;
    case kGrow:
      pickMin();
      break;
    case kOpening:
      pickMax();
      pickMin();
      break;
    case kClosing:
      pickMin();
      pickMax();
      break;
    case kInnerContour: {
      TBitmap t(bitmap->Width(), bitmap->Height(), bitmap->BitsPerPixel());
      MaxFilter(bitmap, &t, flag1, flag2, flag3);
      ChannelDifference(&t, bitmap, flag1, flag2, flag3, 0, 0, 0);
      *bitmap = std::move(t);
      break;
    }
    case kOuterContour: {
      TBitmap t(bitmap->Width(), bitmap->Height(), bitmap->BitsPerPixel());
      MinFilter(bitmap, &t, flag1, flag2, flag3);
      ChannelDifference(bitmap, &t, flag1, flag2, flag3, 0, 0, 0);
      break;
    }
    default:
      break;
  }
}

}  // namespace imvora
