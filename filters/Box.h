#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "core/FilterParams.h"
#include "filters/ScratchPool.h"
#include "filters/WeightedSums.h"

namespace imvora {

using TBoxKernel = std::array<double, 9>;

// The convolution as it is defined, byte by byte and tap by tap, into a full copy: the plain
// path the streamed one is proved against.
void BoxConvolvePlain(TBitmap& bitmap, const TBoxKernel& kernel, const bool flagged[3]);

struct TBoxBand;

// The convolution streamed through a ring of three rows per band of rows, without a full copy;
// keeps its working rows from call to call.
class TBoxRows {
 public:
  TBoxRows();
  ~TBoxRows();
  void Run(TBitmap& bitmap, const TBoxKernel& kernel, const bool flagged[3], TLaneWidth lanes,
           IFilterHost* host);

 private:
  std::vector<std::uint8_t> halo_;
  TScratchPool<TBoxBand> bands_;
};

// Convolves the bytes of bitmap whose flags (in byte order: blue, green, red) are set with a
// 3 × 3 kernel: the nine products in kernel order, divided by the sum of the weights (1 when
// that is 0), limited to 0 ... 255 and truncated. Borders follow MirrorIndex.
void BoxConvolve(TBitmap& bitmap, const TBoxKernel& kernel, const bool flagged[3],
                 TLaneWidth lanes = LaneWidth());

// Convolution of the flagged channels with a fixed 3 × 3 kernel: blur, sharpen or edges
// ("Box").
class TBoxFilter : public TParamFilter {
 public:
  TBoxFilter();
  void Apply(TBitmap* bitmap, bool flag1, bool flag2, bool flag3) override;

  TLabel* MethodLabel() const { return LabelOf(0); }
  TComboBox* MethodComboBox() const { return ComboOf(0); }

  static constexpr int KernelRadius = 1;
  // The kernel of the last chosen method, row by row from the top (dy = -1, 0, 1), each row
  // from the left (dx = -1, 0, 1). It changes with Method, not with the list reopening.
  TBoxKernel Kernel;
  // 0 blur, 1 sharpen, 2 edges.
  std::uint8_t Method = 0;

 private:
  void LoadKernel();

  TBoxRows rows_;
};

}  // namespace imvora
