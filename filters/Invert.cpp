#include "filters/Invert.h"

#include "core/Filtering.h"

namespace imvora {

void TInvertFilter::Apply(TBitmap* bitmap, bool flag1, bool flag2, bool flag3) {
  InvertChannels(bitmap, flag1, flag2, flag3, Host);
}

}  // namespace imvora
