#include "filters/Median.h"

#include <algorithm>
#include <array>
#include <utility>
#include <vector>

#include "core/RowBands.h"
#include "filters/ByteVectors.h"
#include "filters/ChannelPlane.h"

namespace imvora {

std::uint8_t WindowMedian(const std::uint8_t* const* rows, int rowCount, int w, int x, int r,
                          int byte, std::vector<std::uint8_t>& values) {
  values.clear();
  for (int i = 0; i < rowCount; ++i) {
    if (rows[i] == nullptr) continue;
    const int x0 = static_cast<int>(std::max<std::int64_t>(0, std::int64_t{x} - r));
    const int x1 = static_cast<int>(std::min<std::int64_t>(w - 1, std::int64_t{x} + r));
    for (int xx = x0; xx <= x1; ++xx) {
      values.push_back(rows[i][3 * xx + byte]);
    }
  }
  std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
  return values[values.size() / 2];
}

namespace {

// Row pointers of the window rows y - r ... y + r of an image of h rows, null past its edges.
template <class RowOf>
void WindowRows(int y, int r, int h, RowOf rowOf, std::vector<const std::uint8_t*>& rows) {
  rows.resize(2 * static_cast<std::size_t>(r) + 1);
  for (int dy = -r; dy <= r; ++dy) {
    const std::int64_t yy = std::int64_t{y} + dy;
    rows[dy + r] = yy >= 0 && yy < h ? rowOf(static_cast<int>(yy)) : nullptr;
  }
}

// ---- The plain path: every window gathered and partly sorted afresh. ----

void MedianPlainly(TBitmap& bitmap, int r, const bool byteFlagged[3], IFilterHost* host) {
  const TBitmap source = bitmap;
  const int w = bitmap.Width(), h = bitmap.Height();
  // A radius reaching past the far edge gathers the same cut windows as one that just reaches it.
  const int ry = std::min(r, h - 1);
  const auto sourceRow = [&](int y) { return source.ScanLine(y); };
  ForEachRowBand(h, host, [&](int first, int last) {
    std::vector<const std::uint8_t*> rows;
    std::vector<std::uint8_t> values;
    for (int y = first; y < last; ++y) {
      WindowRows(y, ry, h, sourceRow, rows);
      std::uint8_t* out = bitmap.ScanLine(y);
      for (int x = 0; x < w; ++x) {
        for (int b = 0; b < 3; ++b) {
          if (byteFlagged[b]) {
            out[3 * x + b] = WindowMedian(rows.data(), 2 * ry + 1, w, x, r, b, values);
          }
        }
      }
    }
  });
}

// ---- Radius 1 and 2: sorting networks on the interleaved bytes, rows streamed in place. ----

// Spare bytes after every scratch row: the passes run in whole vectors past a row's end.
constexpr int kSlack = 64;
// Bytes of a row handled at once, so that the sorted columns stay in the first-level cache.
constexpr int kChunk = 1024;

// The 3 x 3 median of the bytes [begin, end) of a row: each column (the three bytes above one
// another) is sorted once and serves three windows; the median of nine is then the median of
// the largest low, the median of the middles and the smallest high of the three columns.
template <class V>
[[gnu::always_inline]] inline void Median3Chunk(std::uint8_t* out, const std::uint8_t* const* rows,
                                                int begin, int end) {
  constexpr int kV = sizeof(V);
  // One vector more than the outputs need: the last output vector reads that far.
  alignas(64) std::uint8_t low[kChunk + 6 + 3 * kV], mid[kChunk + 6 + 3 * kV],
      high[kChunk + 6 + 3 * kV];
  const int from = begin - 3;
  for (int i = from; i < end + 3 + kV; i += kV) {
    V a, b, c;
    bytes::Load(a, rows[0] + i);
    bytes::Load(b, rows[1] + i);
    bytes::Load(c, rows[2] + i);
    bytes::Sort2(a, b);
    bytes::Sort2(b, c);
    bytes::Sort2(a, b);
    bytes::Store(low + i - from, a);
    bytes::Store(mid + i - from, b);
    bytes::Store(high + i - from, c);
  }
  for (int i = begin; i < end; i += kV) {
    const int k = i - from;
    V l0, l1, l2, m0, m1, m2, h0, h1, h2;
    bytes::Load(l0, low + k - 3);
    bytes::Load(l1, low + k);
    bytes::Load(l2, low + k + 3);
    bytes::Load(m0, mid + k - 3);
    bytes::Load(m1, mid + k);
    bytes::Load(m2, mid + k + 3);
    bytes::Load(h0, high + k - 3);
    bytes::Load(h1, high + k);
    bytes::Load(h2, high + k + 3);
    bytes::MaxInto(l0, l1);
    bytes::MaxInto(l0, l2);  // the largest low
    bytes::MinInto(h0, h1);
    bytes::MinInto(h0, h2);  // the smallest high
    bytes::Sort2(m0, m1);
    bytes::MinInto(m1, m2);
    bytes::MaxInto(m0, m1);  // the median of the middles
    bytes::Sort2(l0, m0);
    bytes::MinInto(m0, h0);
    bytes::MaxInto(l0, m0);
    bytes::Store(out + i, l0);
  }
}

// Compare-exchanges that take the median of 25 values to register 22 once the five columns of
// five (registers 5c ... 5c + 4, column c, smallest first) are sorted: Batcher's merge-exchange
// network on 64 wires with the columns and fixed padding in its inputs, reduced to the exchanges
// the median depends on and then, one by one, by every exchange it still finds correct without,
// checked on all inputs of zeros and ones with sorted columns (enough for comparator networks).
struct TExchange {
  int Low, High;
};
constexpr std::array<TExchange, 62> kMedian25 = {{
    {15, 10}, {16, 11}, {17, 12}, {18, 13}, {19, 14}, {5, 0},   {6, 1},   {7, 2},   {8, 3},
    {9, 4},   {19, 10}, {9, 0},   {17, 19}, {11, 18}, {12, 10}, {9, 7},   {1, 8},   {0, 2},
    {17, 16}, {19, 11}, {12, 18}, {10, 13}, {6, 9},   {1, 7},   {8, 0},   {3, 2},   {16, 5},
    {19, 6},  {11, 9},  {12, 1},  {18, 7},  {10, 8},  {13, 0},  {14, 3},  {13, 15}, {14, 17},
    {2, 5},   {4, 6},   {12, 14}, {2, 18},  {4, 10},  {9, 15},  {1, 17},  {5, 7},   {14, 4},
    {9, 18},  {1, 10},  {15, 5},  {4, 9},   {1, 18},  {10, 15}, {4, 22},  {9, 23},  {1, 24},
    {3, 20},  {1, 3},   {21, 18}, {22, 10}, {23, 15}, {3, 22},  {23, 18}, {22, 23},
}};
constexpr int kMedian25Result = 22;
// Sorts five values (Knuth's nine exchanges).
constexpr std::array<TExchange, 9> kSort5 = {
    {{0, 1}, {3, 4}, {2, 4}, {2, 3}, {1, 4}, {0, 3}, {0, 2}, {1, 3}, {1, 2}}};

template <class V, std::size_t N, std::size_t... I>
[[gnu::always_inline]] inline void Exchange(V* v, const std::array<TExchange, N>& network,
                                            std::index_sequence<I...>) {
  (bytes::Sort2(v[network[I].Low], v[network[I].High]), ...);
}

// The 5 x 5 median of the bytes [begin, end) of a row: every column of five is sorted once for
// the five windows it belongs to, then the network above picks each window's median.
template <class V>
[[gnu::always_inline]] inline void Median5Chunk(std::uint8_t* out, const std::uint8_t* const* rows,
                                                int begin, int end) {
  constexpr int kV = sizeof(V), kRowBytes = kChunk + 12 + 3 * kV;
  alignas(64) std::uint8_t sorted[5][kRowBytes];
  const int from = begin - 6;
  for (int i = from; i < end + 6 + kV; i += kV) {
    V v[5];
    for (int k = 0; k < 5; ++k) bytes::Load(v[k], rows[k] + i);
    Exchange(v, kSort5, std::make_index_sequence<kSort5.size()>());
    for (int k = 0; k < 5; ++k) bytes::Store(sorted[k] + i - from, v[k]);
  }
  for (int i = begin; i < end; i += kV) {
    V v[25];
    for (int c = 0; c < 5; ++c) {
      for (int k = 0; k < 5; ++k) bytes::Load(v[5 * c + k], sorted[k] + i - from + 3 * (c - 2));
    }
    Exchange(v, kMedian25, std::make_index_sequence<kMedian25.size()>());
    bytes::Store(out + i, v[kMedian25Result]);
  }
}

// The median of the window's bytes [begin, end) of one row of output, window radius r (1 or 2);
// rows are the 2r + 1 input rows. Whole vectors: out and the rows carry spare bytes.
template <class V>
[[gnu::always_inline]] inline void MedianBytes(std::uint8_t* out, const std::uint8_t* const* rows,
                                               int r, int begin, int end) {
  for (int from = begin; from < end; from += kChunk) {
    const int to = std::min(end, from + kChunk);
    if (r == 1) {
      Median3Chunk<V>(out, rows, from, to);
    } else {
      Median5Chunk<V>(out, rows, from, to);
    }
  }
}

// Copies n bytes in whole vectors (dst has spare bytes), stopping at the end of the source.
template <class V>
[[gnu::always_inline]] inline void CopyBytes(std::uint8_t* dst, const std::uint8_t* src, int n) {
  int i = 0;
  for (; i + static_cast<int>(sizeof(V)) <= n; i += sizeof(V)) {
    V v;
    bytes::Load(v, src + i);
    bytes::Store(dst + i, v);
  }
  std::copy(src + i, src + n, dst + i);
}

IMVORA_AVX2 void CopyBytesAvx2(std::uint8_t* dst, const std::uint8_t* src, int n) {
  CopyBytes<bytes::TBytes32>(dst, src, n);
}
void CopyBytesBaseline(std::uint8_t* dst, const std::uint8_t* src, int n) {
  CopyBytes<bytes::TBytes16>(dst, src, n);
}

IMVORA_AVX2 void MedianBytesAvx2(std::uint8_t* out, const std::uint8_t* const* rows, int r,
                                 int begin, int end) {
  MedianBytes<bytes::TBytes32>(out, rows, r, begin, end);
}
void MedianBytesBaseline(std::uint8_t* out, const std::uint8_t* const* rows, int r, int begin,
                         int end) {
  MedianBytes<bytes::TBytes16>(out, rows, r, begin, end);
}

// A window cut at the picture's edges holds n < N = (2r + 1)² values. Filling its N - n missing
// places with p = (N - 1) / 2 - n / 2 zeros and the rest with 255 puts its median (index n / 2)
// at the middle of N, so the network of the full window finds it. Rows and columns past the
// edges are filled with patterns that give every cut window exactly its p zeros: the place at
// distance d past an edge, at position i along it, is zero when i mod (2r + 1) < Zeros(r, d).
// Any 2r + 1 neighbours along an edge then hold Zeros(r, d) zeros: for r = 1 one zero in the
// missing line (n = 6, p = 1); for r = 2 two in the nearer line (n = 20, p = 2) and three more
// in the farther one (n = 15, p = 5). Only corner windows, cut both ways, are left over.
int Zeros(int r, int d) {
  return r == 1 ? 1 : d == 1 ? 2 : 3;
}
std::uint8_t Padding(int r, int d, int i) {
  return i % (2 * r + 1) < Zeros(r, d) ? 0 : 255;
}

// Replaces rows first ... last - 1 of the bitmap's flagged bytes by their medians of radius r
// (1 or 2, below both the width and the height). Each input row is copied, with the padding
// columns beside it, into a ring of 2r + 1 rows as it comes into the window, before its own
// output overwrites it.
void MedianBand(TBitmap& bitmap, int r, const std::uint8_t* mask, const bool byteFlagged[3],
                int first, int last, const TBandSource& source, std::vector<std::uint8_t>& buffer) {
  const int w = bitmap.Width(), h = bitmap.Height(), n = 3 * w, span = 2 * r + 1, margin = 3 * r;
  // Padding needs the window to fit between the edges; narrower pictures go by the scalar way.
  const bool padColumns = w >= span, padRows = h >= span;
  const std::size_t rowBytes = static_cast<std::size_t>(n) + 2 * margin + 3 * kSlack;
  // The ring, the padding rows at distance 1 ... r and the output row.
  buffer.resize(rowBytes * (span + r + 1));
  auto ringRow = [&](int y) { return buffer.data() + (y % span) * rowBytes + margin; };
  auto paddingRow = [&](int d) { return buffer.data() + (span + d - 1) * rowBytes + margin; };
  std::uint8_t* const out = buffer.data() + (span + r) * rowBytes;
  for (int d = 1; d <= r; ++d) {
    for (int x = 0; x < w; ++x) std::fill_n(paddingRow(d) + 3 * x, 3, Padding(r, d, x));
  }
  const auto medianBytes = bytes::HasAvx2() ? MedianBytesAvx2 : MedianBytesBaseline;
  // The library's copy of a row this size is slower here than plain vector moves.
  const auto copyBytes = bytes::HasAvx2() ? CopyBytesAvx2 : CopyBytesBaseline;
  std::vector<const std::uint8_t*> rows, realRows;
  std::vector<std::uint8_t> values;
  auto scalar = [&](int x) {
    for (int b = 0; b < 3; ++b) {
      if (byteFlagged[b]) out[3 * x + b] = WindowMedian(realRows.data(), span, w, x, r, b, values);
    }
  };
  for (int t = std::max(0, first - r); t < std::min(h, last + r); ++t) {
    std::uint8_t* row = ringRow(t);
    copyBytes(row, source.Row(t), n);
    for (int d = 1; d <= r && padColumns; ++d) {
      std::fill_n(row - 3 * d, 3, Padding(r, d, t));
      std::fill_n(row + n + 3 * (d - 1), 3, Padding(r, d, t));
    }
    const int c = t - r;
    // Once the bottom row is in, the rows whose windows reach past it follow at once.
    for (int y = std::max(c, first); y <= (t == h - 1 ? last - 1 : c); ++y) {
      WindowRows(y, r, h, ringRow, realRows);
      rows = realRows;
      for (int d = 1; d <= r; ++d) {
        if (y - d < 0) rows[r - d] = paddingRow(d - y);
        if (y + d >= h) rows[r + d] = paddingRow(y + d - (h - 1));
      }
      const bool inner = y >= r && y < h - r;
      const bool padded = inner ? padColumns : padRows;
      if (inner && padColumns) {
        medianBytes(out, rows.data(), r, 0, n);
      } else {
        if (padded) medianBytes(out, rows.data(), r, margin, n - margin);
        for (int x = 0; x < w; ++x) {
          if (padded && x == r) x = std::max(x, w - r);
          scalar(x);
        }
      }
      StoreRow(bitmap.ScanLine(y), out, mask, n, TStoreKind::Replace);
    }
  }
}

// ---- Larger radii: running histograms over one channel plane at a time. ----

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

// Running histogram of the window along each row (Huang), for rows first ... last - 1. The
// window is cut at the edges, so n and the wanted index n / 2 change near them; `median`
// follows the answer together with `below`, the number of window values smaller than it.
void MedianHuang(const std::uint8_t* src, std::uint8_t* dst, int w, int h, int rx, int ry,
                 int first, int last) {
  std::array<std::int32_t, 256> hist;
  for (int y = first; y < last; ++y) {
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
  // Bytes of working memory for a plane of width w.
  static std::size_t Bytes(int w, int rx) {
    return static_cast<std::size_t>(w + 2 * rx) * (256 + 16) * sizeof(Count);
  }

  TColumnHistogramMedian(const std::uint8_t* src, int w, int h, int rx, int ry,
                         std::uint8_t* memory)
      : src_(src),
        w_(w),
        h_(h),
        rx_(rx),
        ry_(ry),
        span_(2 * rx + 1),
        fine_(reinterpret_cast<Count*>(memory)),
        coarse_(fine_ + static_cast<std::size_t>(w + 2 * rx) * 256) {}

  // Filters rows first ... last - 1.
  void Run(std::uint8_t* dst, int first, int last) {
    std::fill_n(fine_, static_cast<std::size_t>(w_ + 2 * rx_) * (256 + 16), Count{0});
    for (int y = std::max(0, first - ry_); y <= std::min(h_ - 1, first + ry_); ++y) {
      ChangeRow(y, 1);
    }
    for (int y = first; y < last; ++y) {
      if (y > first && y - ry_ - 1 >= 0) ChangeRow(y - ry_ - 1, -1);
      if (y > first && y + ry_ < h_) ChangeRow(y + ry_, 1);
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

  const Count* FineOf(int column) const { return fine_ + static_cast<std::size_t>(column) * 256; }
  const Count* CoarseOf(int column) const {
    return coarse_ + static_cast<std::size_t>(column) * 16;
  }

  void ChangeRow(int y, int delta) {
    const std::uint8_t* row = src_ + static_cast<std::size_t>(y) * w_;
    Count* fine = fine_ + static_cast<std::size_t>(rx_) * 256;
    Count* coarse = coarse_ + static_cast<std::size_t>(rx_) * 16;
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
  Count* fine_;
  Count* coarse_;
};

// The median of one plane of w*h bytes with window radii rx < w and ry < h, in row bands.
void MedianPlane(const std::uint8_t* src, std::uint8_t* dst, int w, int h, int rx, int ry,
                 IFilterHost* host, TBytePool& pool) {
  const bool narrowCounts = (2 * std::int64_t{rx} + 1) * (2 * std::int64_t{ry} + 1) <= 0xFFFF;
  const std::int64_t histogramBytes = (std::int64_t{w} + 2 * rx) * 256 * (narrowCounts ? 2 : 4);
  const bool huang = ry <= kHuangMaxRadius || histogramBytes > kMaxColumnHistogramBytes;
  ForEachRowBand(h, host, [&](int first, int last) {
    if (huang) return MedianHuang(src, dst, w, h, rx, ry, first, last);
    TBytePool::TLease lease = pool.Take();
    std::vector<std::uint8_t>& buffer = *lease;
    if (narrowCounts) {
      using TMedian = TColumnHistogramMedian<std::uint16_t>;
      buffer.resize(TMedian::Bytes(w, rx));
      TMedian(src, w, h, rx, ry, buffer.data()).Run(dst, first, last);
    } else {
      using TMedian = TColumnHistogramMedian<std::uint32_t>;
      buffer.resize(TMedian::Bytes(w, rx));
      TMedian(src, w, h, rx, ry, buffer.data()).Run(dst, first, last);
    }
  });
}

}  // namespace

TMedianFilter::TMedianFilter() {
  Name = "Median";
  AddParam(TParam::Integer("Радиус окрестности:", Radius).AtLeast(1));
}

void TMedianFilter::Apply(TBitmap* bitmap, bool flag1, bool flag2, bool flag3) {
  if (bitmap == nullptr || bitmap->BitsPerPixel() != 24 || bitmap->Empty()) return;
  if (Radius <= 0 || !(flag1 || flag2 || flag3)) return;
  const bool byteFlagged[3] = {flag3, flag2, flag1};
  if (Scan == TWindowScan::Plain) return MedianPlainly(*bitmap, Radius, byteFlagged, Host);
  const int w = bitmap->Width(), h = bitmap->Height();
  // A radius reaching past the far edge gives the same cut windows as one that just reaches it.
  const int rx = std::min(Radius, w - 1), ry = std::min(Radius, h - 1);
  if (rx == ry && (rx == 1 || rx == 2)) {
    const std::vector<std::uint8_t> mask = FlagMask(w, flag1, flag2, flag3);
    ForEachInPlaceBand(
        *bitmap, rx, Host, scratch_,
        [&](int first, int last, const TBandSource& source, std::vector<std::uint8_t>& buffer) {
          MedianBand(*bitmap, rx, mask.empty() ? nullptr : mask.data(), byteFlagged, first, last,
                     source, buffer);
        });
    return;
  }
  for (int byte : FlaggedBytes(flag1, flag2, flag3)) {
    ExtractChannel(*bitmap, byte, plane_);
    filtered_.resize(plane_.size());
    MedianPlane(plane_.data(), filtered_.data(), w, h, rx, ry, Host, scratch_.Bands);
    StoreChannel(filtered_, *bitmap, byte);
  }
}

}  // namespace imvora
