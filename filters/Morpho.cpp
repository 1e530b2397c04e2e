#include "filters/Morpho.h"

#include <algorithm>
#include <vector>

#include "core/Filtering.h"
#include "core/RowBands.h"
#include "filters/ByteVectors.h"

namespace imvora {
namespace {

// ---- The plain passes: every window scanned in full, as the operations are defined. ----

// Destination's flagged bytes become the pick of the window of source; rows are independent.
template <bool Maximum>
void PlainPick(const TBitmap& source, TBitmap& destination, bool flag1, bool flag2, bool flag3,
               int r, IFilterHost* host) {
  const int w = source.Width(), h = source.Height();
  const bool byteFlagged[3] = {flag3, flag2, flag1};
  ForEachRowBand(h, host, [&](int first, int last) {
    for (int y = first; y < last; ++y) {
      std::uint8_t* out = destination.ScanLine(y);
      for (int x = 0; x < w; ++x) {
        for (int b = 0; b < 3; ++b) {
          int m = Maximum ? 0 : 256;
          for (int yy = std::max(0, y - r); yy <= std::min(h - 1, y + r); ++yy) {
            const std::uint8_t* row = source.ScanLine(yy);
            for (int xx = std::max(0, x - r); xx <= std::min(w - 1, x + r); ++xx) {
              m = Maximum ? std::max<int>(m, row[3 * xx + b]) : std::min<int>(m, row[3 * xx + b]);
            }
          }
          if (byteFlagged[b]) out[3 * x + b] = static_cast<std::uint8_t>(m);
        }
      }
    }
  });
}

// ---- The fast passes: separable, streamed row by row through a few rows of scratch. ----

// The window is a rectangle cut to the image, so its pick is the pick over its rows of each
// row's pick. Positions past an edge hold the neutral value of the pick (0 for the maximum,
// 255 for the minimum), which never wins against a real value and so reproduces the cut window.
// A pick over n values is built from picks over powers of two: with L the largest power of two
// not above n, pick(i .. i+n-1) = pick(pick(i .. i+L-1), pick(i+n-L .. i+n-1)), and each power
// of two is the pick of two halves. So a window costs about log2(n) + 1 passes of one
// operation per byte, on the interleaved pixel bytes (neighbouring pixels 3 bytes apart).

// Spare bytes after every scratch row: the passes run in whole vectors past a row's end.
constexpr int kSlack = 64;

// dst[i] = pick(a[i], b[i]) for i < n. Whole vectors, reaching past n into spare bytes, unless
// Exact, which stops at n (for rows of the bitmap). dst may be a when b does not lie below a.
template <class V, bool Maximum, bool Exact>
[[gnu::always_inline]] inline void PickPairs(std::uint8_t* dst, const std::uint8_t* a,
                                             const std::uint8_t* b, int n) {
  int i = 0;
  for (; Exact ? i + static_cast<int>(sizeof(V)) <= n : i < n; i += sizeof(V)) {
    V x, y;
    bytes::Load(x, a + i);
    bytes::Load(y, b + i);
    if (Maximum) {
      bytes::MaxInto(x, y);
    } else {
      bytes::MinInto(x, y);
    }
    bytes::Store(dst + i, x);
  }
  for (; Exact && i < n; ++i) dst[i] = Maximum ? std::max(a[i], b[i]) : std::min(a[i], b[i]);
}

using TPairs = void (*)(std::uint8_t*, const std::uint8_t*, const std::uint8_t*, int);

template <bool Maximum, bool Exact>
IMVORA_AVX2 void PairsAvx2(std::uint8_t* dst, const std::uint8_t* a, const std::uint8_t* b, int n) {
  PickPairs<bytes::TBytes32, Maximum, Exact>(dst, a, b, n);
}
template <bool Maximum, bool Exact>
void PairsBaseline(std::uint8_t* dst, const std::uint8_t* a, const std::uint8_t* b, int n) {
  PickPairs<bytes::TBytes16, Maximum, Exact>(dst, a, b, n);
}

template <bool Exact>
TPairs PairsFor(bool maximum) {
  if (bytes::HasAvx2()) return maximum ? PairsAvx2<true, Exact> : PairsAvx2<false, Exact>;
  return maximum ? PairsBaseline<true, Exact> : PairsBaseline<false, Exact>;
}

int FloorPowerOfTwo(int n) {
  int p = 1;
  while (2 * p <= n) p *= 2;
  return p;
}

// The window pick of one kind over a stream of rows: rows go in one by one from the top, and
// each push returns the pick over the window of the last 2ry + 1 rows.
class TStreamPick {
 public:
  // Scratch bytes the pick needs for rows of `width` pixels.
  static std::size_t Bytes(int width, int rx, int ry) {
    return RowBytes(width, rx) * (Rows(ry) + 1);
  }

  TStreamPick(bool maximum, int width, int rx, int ry, std::uint8_t* memory)
      : pairs_(PairsFor<false>(maximum)),
        exactPairs_(PairsFor<true>(maximum)),
        neutral_(maximum ? 0 : 255),
        n_(3 * width),
        rx_(rx),
        span_(2 * ry + 1),
        top_(FloorPowerOfTwo(span_)) {
    rowBytes_ = RowBytes(width, rx);
    padded_ = memory;
    memory += rowBytes_;
    for (int j = 0, size = 0; (1 << j) <= top_; ++j, memory += size * rowBytes_) {
      size = (1 << j) < top_ ? (1 << j) + 1 : span_ - top_ + 1;
      levels_.push_back({memory, size});
    }
    result_ = memory;
  }

  // Pushes the next row (null: a row past an edge of the bitmap).
  const std::uint8_t* Push(const std::uint8_t* row) {
    std::uint8_t* level0 = Slot(0, pushed_);
    if (row == nullptr) {
      std::fill_n(level0, n_, neutral_);
    } else {
      PickAlongRow(row, level0);
    }
    for (std::size_t j = 0; j + 1 < levels_.size(); ++j) {
      const int half = 1 << j;
      pairs_(Slot(j + 1, pushed_), Slot(j, pushed_ - half), Slot(j, pushed_), n_);
    }
    const std::size_t top = levels_.size() - 1;
    pairs_(result_, Slot(top, pushed_ - (span_ - top_)), Slot(top, pushed_), n_);
    ++pushed_;
    return result_;
  }

 private:
  struct TLevel {
    std::uint8_t* Rows;
    int Size;
  };

  static std::size_t RowBytes(int width, int rx) {
    return 3 * (static_cast<std::size_t>(width) + 2 * rx) + 2 * kSlack;
  }
  // Level j holds picks over 2^j rows: the ones that later levels and the result still need.
  static int Rows(int ry) {
    const int span = 2 * ry + 1, top = FloorPowerOfTwo(span);
    int rows = span - top + 1;
    for (int half = 1; half < top; half *= 2) rows += half + 1;
    return rows + 1;  // and the result
  }

  std::uint8_t* Slot(std::size_t level, long long t) {
    const int size = levels_[level].Size;
    const long long slot = ((t % size) + size) % size;
    return levels_[level].Rows + slot * rowBytes_;
  }

  // The pick along the row over 2rx + 1 pixels. The row with rx neutral pixels on either side
  // is picked in pairs of neighbours straight from the source (past the edges only the real
  // pixel of a pair counts), then built up in place.
  void PickAlongRow(const std::uint8_t* row, std::uint8_t* out) {
    if (rx_ == 0) return exactPairs_(out, row, row, n_);
    const int margin = 3 * rx_;
    std::fill_n(padded_, margin - 3, neutral_);
    std::copy_n(row, 3, padded_ + margin - 3);
    exactPairs_(padded_ + margin, row, row + 3, n_ - 3);
    std::copy_n(row + n_ - 3, 3, padded_ + margin + n_ - 3);
    std::fill_n(padded_ + margin + n_, margin - 3, neutral_);
    const int span = 2 * rx_ + 1, top = FloorPowerOfTwo(span);
    int length = n_ + 2 * margin - 3;
    for (int half = 2; half < top; half *= 2) {
      length -= 3 * half;
      pairs_(padded_, padded_, padded_ + 3 * half, length);
    }
    pairs_(out, padded_, padded_ + 3 * (span - top), n_);
  }

  TPairs pairs_, exactPairs_;
  std::uint8_t neutral_;
  int n_, rx_, span_, top_;
  std::size_t rowBytes_;
  std::uint8_t* padded_;
  std::vector<TLevel> levels_;
  std::uint8_t* result_;
  long long pushed_ = 0;
};

// One run of the fast morphology: the first pick, an optional second pick of the other kind
// over the first one's result, and how the result meets the image.
struct TMorphoPlan {
  bool FirstMaximum = true;
  bool TwoPicks = false;
  TStoreKind Store = TStoreKind::Replace;
  int Rx = 0, Ry = 0;
  const std::uint8_t* Mask = nullptr;

  int Halo() const { return TwoPicks ? 2 * Ry : Ry; }
};

// Replaces rows first ... last - 1. The first pick sees rows first - halo ... last - 1 + halo
// (past the bitmap: nothing); its result for row c is ready once row c + ry went in.
void MorphoBand(const TMorphoPlan& plan, TBitmap& bitmap, int first, int last,
                const TBandSource& source, std::vector<std::uint8_t>& buffer) {
  const int w = bitmap.Width(), h = bitmap.Height(), n = 3 * w;
  const std::size_t pickBytes = TStreamPick::Bytes(w, plan.Rx, plan.Ry);
  buffer.resize(pickBytes * (plan.TwoPicks ? 2 : 1));
  TStreamPick firstPick(plan.FirstMaximum, w, plan.Rx, plan.Ry, buffer.data());
  std::unique_ptr<TStreamPick> secondPick;
  if (plan.TwoPicks) {
    secondPick = std::make_unique<TStreamPick>(!plan.FirstMaximum, w, plan.Rx, plan.Ry,
                                               buffer.data() + pickBytes);
  }
  auto store = [&](int y, const std::uint8_t* result) {
    if (y >= first) StoreRow(bitmap.ScanLine(y), result, plan.Mask, n, plan.Store);
  };
  const int halo = plan.Halo();
  for (int t = first - halo; t < last + halo; ++t) {
    const std::uint8_t* picked = firstPick.Push(t >= 0 && t < h ? source.Row(t) : nullptr);
    const int c = t - plan.Ry;
    if (c < first - (halo - plan.Ry)) continue;  // the pick's window is not full yet
    if (!secondPick) {
      store(c, picked);
      continue;
    }
    const std::uint8_t* twice = secondPick->Push(c >= 0 && c < h ? picked : nullptr);
    if (c - plan.Ry >= first) store(c - plan.Ry, twice);
  }
}

// Runs the plan on the flagged bytes of a 24-bit bitmap, in place, in bands.
void RunFast(TMorphoPlan plan, int radius, TBitmap& bitmap, bool flag1, bool flag2, bool flag3,
             IFilterHost* host, TWindowScratch& scratch) {
  // A radius reaching past the far edge gives the same cut windows as one that just reaches it.
  const int r = std::max(0, radius);
  plan.Rx = std::min(r, bitmap.Width() - 1);
  plan.Ry = std::min(r, bitmap.Height() - 1);
  const std::vector<std::uint8_t> mask = FlagMask(bitmap.Width(), flag1, flag2, flag3);
  plan.Mask = mask.empty() ? nullptr : mask.data();
  ForEachInPlaceBand(
      bitmap, plan.Halo(), host, scratch,
      [&](int first, int last, const TBandSource& source, std::vector<std::uint8_t>& buffer) {
        MorphoBand(plan, bitmap, first, last, source, buffer);
      });
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
  Pass(true, source, destination, flag1, flag2, flag3);
}

void TMorphoFilter::MinFilter(const TBitmap* source, TBitmap* destination, bool flag1, bool flag2,
                              bool flag3) const {
  Pass(false, source, destination, flag1, flag2, flag3);
}

void TMorphoFilter::Pass(bool maximum, const TBitmap* source, TBitmap* destination, bool flag1,
                         bool flag2, bool flag3) const {
  if (source == nullptr || destination == nullptr || !(flag1 || flag2 || flag3)) return;
  if (source->Width() != destination->Width() || source->Height() != destination->Height()) {
    return;
  }
  *destination = *source;
  if (destination->Empty() || destination->BitsPerPixel() != 24) return;
  if (Scan == TWindowScan::Plain) {
    // A radius reaching past the far edge scans the same cut windows as one that just reaches it.
    const int r = std::clamp(Radius, 0, std::max(source->Width(), source->Height()));
    if (maximum) {
      PlainPick<true>(*source, *destination, flag1, flag2, flag3, r, Host);
    } else {
      PlainPick<false>(*source, *destination, flag1, flag2, flag3, r, Host);
    }
    return;
  }
  TMorphoPlan plan;
  plan.FirstMaximum = maximum;
  RunFast(plan, Radius, *destination, flag1, flag2, flag3, Host, scratch_);
}

void TMorphoFilter::Apply(TBitmap* bitmap, bool flag1, bool flag2, bool flag3) {
  if (bitmap == nullptr || !(flag1 || flag2 || flag3)) return;
  if (Operation < kShrink || Operation > kOuterContour) return;
  if (Scan == TWindowScan::Plain) {
    ApplyPlainly(*bitmap, flag1, flag2, flag3);
    return;
  }
  if (bitmap->Empty() || bitmap->BitsPerPixel() != 24) return;
  // Every operation is one stream over the rows, in place: opening and closing feed the first
  // pick's rows straight into the second, and the contours subtract as each row is stored.
  TMorphoPlan plan;
  plan.FirstMaximum = Operation == kShrink || Operation == kOpening || Operation == kInnerContour;
  plan.TwoPicks = Operation == kOpening || Operation == kClosing;
  plan.Store = Operation == kInnerContour   ? TStoreKind::ResultMinusRow
               : Operation == kOuterContour ? TStoreKind::RowMinusResult
                                            : TStoreKind::Replace;
  RunFast(plan, Radius, *bitmap, flag1, flag2, flag3, Host, scratch_);
}

void TMorphoFilter::ApplyPlainly(TBitmap& bitmap, bool flag1, bool flag2, bool flag3) const {
  TBitmap t(bitmap.Width(), bitmap.Height(), bitmap.BitsPerPixel());
  switch (Operation) {
    case kShrink:
      MaxFilter(&bitmap, &t, flag1, flag2, flag3);
      bitmap = std::move(t);
      break;
    case kGrow:
      MinFilter(&bitmap, &t, flag1, flag2, flag3);
      bitmap = std::move(t);
      break;
    case kOpening:
      MaxFilter(&bitmap, &t, flag1, flag2, flag3);
      MinFilter(&t, &bitmap, flag1, flag2, flag3);
      break;
    case kClosing:
      MinFilter(&bitmap, &t, flag1, flag2, flag3);
      MaxFilter(&t, &bitmap, flag1, flag2, flag3);
      break;
    case kInnerContour:
      MaxFilter(&bitmap, &t, flag1, flag2, flag3);
      ChannelDifference(&t, &bitmap, flag1, flag2, flag3, 0, 0, 0);
      bitmap = std::move(t);
      break;
    default:
      MinFilter(&bitmap, &t, flag1, flag2, flag3);
      ChannelDifference(&bitmap, &t, flag1, flag2, flag3, 0, 0, 0);
      break;
  }
}

}  // namespace imvora
