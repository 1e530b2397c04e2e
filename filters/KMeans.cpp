#include "filters/KMeans.h"

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "core/Error.h"
#include "core/Filtering.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace imvora {
namespace {

template <bool Quadratic>
std::int32_t Distance(std::uint32_t pixel, std::uint32_t centre) {
  std::int32_t sum = 0;
  for (int shift = 0; shift < 32; shift += 8) {
    const std::int32_t d = static_cast<std::int32_t>((pixel >> shift) & 255) -
                           static_cast<std::int32_t>((centre >> shift) & 255);
    sum += Quadratic ? d * d : std::abs(d);
  }
  return sum;
}

// The scan from centre 0 upward: a centre replaces the best only when strictly nearer.
template <bool Quadratic>
std::int32_t NearestCentre(std::uint32_t pixel, const std::uint32_t* centres, std::int32_t k) {
  std::int32_t best = 0;
  std::int32_t bestDistance = Distance<Quadratic>(pixel, centres[0]);
  for (std::int32_t j = 1; j < k; ++j) {
    const std::int32_t d = Distance<Quadratic>(pixel, centres[j]);
    if (d < bestDistance) {
      bestDistance = d;
      best = j;
    }
  }
  return best;
}

// Calls visit(i, nearest) for every pixel i in array order.
template <bool Quadratic, class Visit>
void AssignScalar(const std::uint32_t* pixels, std::int32_t begin, std::int32_t count,
                  const std::uint32_t* centres, std::int32_t k, Visit&& visit) {
  for (std::int32_t i = begin; i < count; ++i)
    visit(i, NearestCentre<Quadratic>(pixels[i], centres, k));
}

#if defined(__SSE2__)

// Four pixels against one centre per step: byte differences in both directions with
// saturation (one of them is always 0), summed per pixel in 16-bit lanes.
template <bool Quadratic>
__m128i Distances(__m128i pixels, __m128i centre) {
  const __m128i diff = _mm_or_si128(_mm_subs_epu8(pixels, centre), _mm_subs_epu8(centre, pixels));
  const __m128i even = _mm_and_si128(diff, _mm_set1_epi16(0x00FF));  // bytes 0 and 2
  const __m128i odd = _mm_srli_epi16(diff, 8);                       // bytes 1 and 3
  if (Quadratic) return _mm_add_epi32(_mm_madd_epi16(even, even), _mm_madd_epi16(odd, odd));
  return _mm_madd_epi16(_mm_add_epi16(even, odd), _mm_set1_epi16(1));
}

template <bool Quadratic, class Visit>
void AssignPacked(const std::uint32_t* pixels, std::int32_t count, const std::uint32_t* centres,
                  std::int32_t k, Visit&& visit) {
  struct TWideCentre {
    __m128i Lanes;  // the centre in each of the four lanes
  };
  std::vector<TWideCentre> wide(k);
  for (std::int32_t j = 0; j < k; ++j) wide[j].Lanes = _mm_set1_epi32(static_cast<int>(centres[j]));
  alignas(16) std::int32_t nearest[4];
  std::int32_t i = 0;
  for (; i + 4 <= count; i += 4) {
    const __m128i p = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pixels + i));
    __m128i bestDistance = Distances<Quadratic>(p, wide[0].Lanes);
    __m128i best = _mm_setzero_si128();
    for (std::int32_t j = 1; j < k; ++j) {
      const __m128i d = Distances<Quadratic>(p, wide[j].Lanes);
      const __m128i nearer = _mm_cmplt_epi32(d, bestDistance);
      bestDistance = _mm_or_si128(_mm_and_si128(nearer, d), _mm_andnot_si128(nearer, bestDistance));
      best = _mm_or_si128(_mm_and_si128(nearer, _mm_set1_epi32(j)), _mm_andnot_si128(nearer, best));
    }
    _mm_store_si128(reinterpret_cast<__m128i*>(nearest), best);
    for (int t = 0; t < 4; ++t) visit(i + t, nearest[t]);
  }
  AssignScalar<Quadratic>(pixels, i, count, centres, k, visit);
}

#endif

template <class Visit>
void Assign(const std::uint32_t* pixels, std::int32_t count, const std::uint32_t* centres,
            std::int32_t k, bool fast, bool quadratic, Visit&& visit) {
#if defined(__SSE2__)
  if (fast) {
    if (quadratic) return AssignPacked<true>(pixels, count, centres, k, visit);
    return AssignPacked<false>(pixels, count, centres, k, visit);
  }
#else
  (void)fast;
#endif
  if (quadratic) return AssignScalar<true>(pixels, 0, count, centres, k, visit);
  AssignScalar<false>(pixels, 0, count, centres, k, visit);
}

// Assigns block by block, reporting between blocks, so that a cancel never waits for a whole
// pass. The blocks are multiples of four pixels: the packed path groups them the same way.
template <class Visit>
void AssignInBlocks(const std::uint32_t* pixels, std::int32_t count, const std::uint32_t* centres,
                    std::int32_t k, bool fast, bool quadratic,
                    const std::function<void(std::int64_t, std::int64_t)>& progress,
                    Visit&& visit) {
  constexpr std::int32_t kBlock = 1 << 16;
  for (std::int32_t begin = 0; begin < count; begin += kBlock) {
    if (progress) progress(begin, count);
    Assign(pixels + begin, std::min(kBlock, count - begin), centres, k, fast, quadratic,
           [&](std::int32_t i, std::int32_t j) { visit(begin + i, j); });
  }
}

// Member sums of one pass. 64-bit sums cannot overflow for any image size; where 32-bit sums
// would not have overflowed (up to 16,843,009 pixels) the means are the same.
struct TClusterSums {
  explicit TClusterSums(std::int32_t k) : Bytes(4 * static_cast<std::size_t>(k)), Count(k) {}
  std::vector<std::uint64_t> Bytes;  // four per cluster: bytes 0..3
  std::vector<std::uint64_t> Count;

  void Add(std::int32_t cluster, std::uint32_t pixel) {
    std::uint64_t* sums = &Bytes[4 * static_cast<std::size_t>(cluster)];
    sums[0] += pixel & 255;
    sums[1] += (pixel >> 8) & 255;
    sums[2] += (pixel >> 16) & 255;
    sums[3] += pixel >> 24;
    ++Count[cluster];
  }
  // The truncated means as a packed word; an empty cluster keeps its centre.
  std::uint32_t Mean(std::int32_t cluster, std::uint32_t centre) const {
    if (Count[cluster] == 0) return centre;
    const std::uint64_t* sums = &Bytes[4 * static_cast<std::size_t>(cluster)];
    std::uint32_t mean = 0;
    for (int b = 0; b < 4; ++b)
      mean |= static_cast<std::uint32_t>(sums[b] / Count[cluster]) << (8 * b);
    return mean;
  }
};

// The convergence test always measures with absolute differences.
bool AllWithin(const std::vector<std::uint32_t>& means, const std::uint32_t* centres,
               std::int64_t limit) {
  for (std::size_t j = 0; j < means.size(); ++j) {
    if (Distance<false>(means[j], centres[j]) > limit) return false;
  }
  return true;
}

std::uint32_t ChannelMask(bool flag1, bool flag2, bool flag3) {
  return (flag1 ? 0xFF0000u : 0u) | (flag2 ? 0xFF00u : 0u) | (flag3 ? 0xFFu : 0u);
}

std::vector<std::uint32_t> PackPixels(const TBitmap& bitmap, std::uint32_t mask) {
  std::vector<std::uint32_t> words;
  words.reserve(static_cast<std::size_t>(bitmap.Width()) * bitmap.Height());
  for (int y = 0; y < bitmap.Height(); ++y) {
    const std::uint8_t* p = bitmap.ScanLine(y);
    for (int x = 0; x < bitmap.Width(); ++x, p += 3) {
      words.push_back((p[0] | p[1] << 8 | p[2] << 16) & mask);
    }
  }
  return words;
}

void UnpackPixels(const std::vector<std::uint32_t>& words, std::uint32_t mask, TBitmap& bitmap) {
  const std::uint32_t* word = words.data();
  for (int y = 0; y < bitmap.Height(); ++y) {
    std::uint8_t* p = bitmap.ScanLine(y);
    for (int x = 0; x < bitmap.Width(); ++x, p += 3, ++word) {
      for (int b = 0; b < 3; ++b) {
        if (mask >> (8 * b) & 255) p[b] = static_cast<std::uint8_t>(*word >> (8 * b));
      }
    }
  }
}

// Centres evenly spaced on the diagonal of the box spanned by each channel's second-lowest
// and second-highest occupied level.
std::vector<std::uint32_t> InitialCentres(const TBitmap& bitmap, std::int32_t k,
                                          std::uint32_t mask) {
  const std::unique_ptr<HistogramTable> histogram = BuildHistogram(&bitmap);
  const int blocks[3] = {kBlueBlock, kGreenBlock, kRedBlock};  // bytes 0, 1, 2
  int low[3], high[3];
  for (int b = 0; b < 3; ++b) HistLevelRange(histogram->data() + blocks[b], 2, low[b], high[b]);
  std::vector<std::uint32_t> centres(k);
  for (std::int32_t i = 0; i < k; ++i) {
    std::uint32_t centre = 0;
    for (int b = 0; b < 3; ++b) {
      // 64 bits: 255 * i overflows 32 bits from about 8.4 million clusters on.
      const std::int64_t level = low[b] + std::int64_t{high[b] - low[b]} * i / (k - 1);
      centre |= static_cast<std::uint32_t>(level) << (8 * b);
    }
    centres[i] = centre & mask;
  }
  return centres;
}

}  // namespace

int ClusterizePixels(std::uint32_t* pixels, std::int32_t count, std::int32_t k, bool fast,
                     bool quadratic, std::int32_t tolerance, std::uint32_t* centres, int maxPasses,
                     const std::function<void(std::int64_t, std::int64_t)>& progress) {
  if (pixels == nullptr || count <= 0 || k <= 0 || centres == nullptr) return 0;
  const std::int64_t limit = 4 * std::int64_t{tolerance};
  std::vector<std::uint32_t> means(k);
  int passes = 0;
  for (;;) {
    ++passes;
    TClusterSums sums(k);
    AssignInBlocks(pixels, count, centres, k, fast, quadratic, progress,
                   [&](std::int32_t i, std::int32_t j) { sums.Add(j, pixels[i]); });
    for (std::int32_t j = 0; j < k; ++j) means[j] = sums.Mean(j, centres[j]);
    if (AllWithin(means, centres, limit) || passes >= maxPasses) break;
    std::copy(means.begin(), means.end(), centres);
  }
  AssignInBlocks(pixels, count, centres, k, fast, quadratic, progress,
                 [&](std::int32_t i, std::int32_t j) { pixels[i] = centres[j]; });
  EndMmxState();
  return passes;
}

TkMeansFilter::TkMeansFilter() {
  Name = "kMeans";
  AddParam(TParam::Integer("Число кластеров:", ClusterCount))
      .AtLeast(2)
      .ScriptAtLeast(2)
      .RunsAtMost(kMaxClusterCount)
      .WithHint("От 2 до " + std::to_string(kMaxClusterCount) +
                "; чем больше кластеров, тем дольше расчёт");
  AddParam(TParam::Integer("Точность:", Tolerance))
      .AtLeast(0)
      .ScriptAtLeast(0)
      .WithHint("Чем меньше, тем точнее");
  AddParam(TParam::Flag("Квадратичная мера", Quadratic));
}

void TkMeansFilter::Apply(TBitmap* bitmap, bool flag1, bool flag2, bool flag3) {
  if (bitmap == nullptr || !(flag1 || flag2 || flag3)) return;
  if (const TCheckBox* box = CheckOf(2)) Quadratic = box->Checked();
  if (bitmap->Empty()) return;
  if (ClusterCount > kMaxClusterCount) {
    const std::string limit = std::to_string(kMaxClusterCount);
    throw EImvoraError("Число кластеров " + std::to_string(ClusterCount) + " слишком велико: " +
                       "таблицам кластеров не хватит памяти, допускается не более " + limit);
  }
  const std::uint32_t mask = ChannelMask(flag1, flag2, flag3);
  std::vector<std::uint32_t> pixels = PackPixels(*bitmap, mask);
  std::vector<std::uint32_t> centres = InitialCentres(*bitmap, ClusterCount, mask);
  ClusterizePixels(pixels.data(), static_cast<std::int32_t>(pixels.size()), ClusterCount,
                   CpuHasSse2(), Quadratic, Tolerance, centres.data(), kMaxClusterPasses,
                   [this](std::int64_t done, std::int64_t total) { ReportProgress(done, total); });
  UnpackPixels(pixels, mask, *bitmap);
}

}  // namespace imvora
