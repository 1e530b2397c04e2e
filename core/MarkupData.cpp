#include "core/MarkupData.h"

#include <algorithm>

namespace imvora {

TMarkupData::TMarkupData(std::int32_t width, std::int32_t height)
    : Labels(static_cast<std::size_t>(std::max(width, 0)) * std::max(height, 0), 0),
      Width(width),
      Height(height) {}

}  // namespace imvora
