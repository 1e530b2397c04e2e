#include "core/Filter.h"

namespace imvora {

void TImvoraFilter::Apply(TBitmap*, bool, bool, bool) {}
void TImvoraFilter::CreateControls(TPanel&) {}
void TImvoraFilter::DestroyControls() {}
void TImvoraFilter::SetParam(std::int32_t, std::int32_t) {}

}  // namespace imvora
