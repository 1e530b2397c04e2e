#pragma once

#include <cstdint>
#include <functional>

#include "core/FilterParams.h"

namespace imvora {

// Truncated integer means can make the passes cycle between two assignments; after this many
// passes the clustering stops as if it had converged. Real images converge in a few dozen.
constexpr int kMaxClusterPasses = 1000;
// A run keeps 64 bytes of tables per cluster (centre, mean, four 64-bit byte sums and a count,
// and the centre widened for the packed path). Beyond 2^24 clusters they alone would need more
// than the gigabyte allowed for the pixel words of the largest picture, so the filter refuses
// such counts instead of running out of memory. Below the limit a large count is only slow.
constexpr std::int32_t kMaxClusterCount = 1 << 24;

// k-means over packed pixel words (blue | green << 8 | red << 16 | byte 3 << 24): assigns each
// pixel to the nearest of the k centres (sum of absolute or of squared byte differences, ties
// to the lowest index), moves the centres to the truncated means of their members, and repeats
// until no mean differs from its centre by more than 4 * tolerance (summed absolute byte
// differences). The centres of the last pass are kept (not the last means), and every pixel
// word is overwritten with its nearest centre. `fast` uses the packed-integer assignment, whose
// results are identical. Returns the number of passes, 0 when there is nothing to do.
// `progress`, when given, hears how many pixels of the current pass are assigned, block by
// block, and may stop the run by throwing.
int ClusterizePixels(
    std::uint32_t* pixels, std::int32_t count, std::int32_t k, bool fast, bool quadratic,
    std::int32_t tolerance, std::uint32_t* centres, int maxPasses = kMaxClusterPasses,
    const std::function<void(std::int64_t done, std::int64_t total)>& progress = {});

// "kMeans": reduces the flagged channels of the image to ClusterCount colours.
class TkMeansFilter : public TParamFilter {
 public:
  TkMeansFilter();
  void Apply(TBitmap* bitmap, bool flag1, bool flag2, bool flag3) override;

  std::int32_t ClusterCount = 2;
  std::int32_t Tolerance = 2;
  // While the panel exists its check box decides; it opens unticked.
  bool Quadratic = false;
};

}  // namespace imvora
