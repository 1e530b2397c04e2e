#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/Controls.h"
#include "core/Raster.h"

namespace imvora {

class TMarkupData;
struct TCRContourImage;
using TContourSet = std::vector<std::unique_ptr<TCRContourImage>>;

// What a filter may ask of the document it runs in.
class IFilterHost {
 public:
  virtual ~IFilterHost() = default;
  // Replaces the document's label map (which then owns it); none drops it.
  virtual void SetMarkup(std::unique_ptr<TMarkupData> markup) = 0;
  virtual const TMarkupData* CurrentMarkup() const = 0;
  virtual void SetContours(std::unique_ptr<TContourSet> contours) = 0;
  // Runs one filter call through the apply pipeline on the current image and selection.
  virtual bool RunFilterCall(const std::string& call) = 0;
  // Long work reports that `done` of `total` units are finished; throws ECancelled when the
  // user asked it to stop.
  virtual void ReportProgress(std::int64_t done, std::int64_t total) = 0;
};

// One line of `imvora-cli filters`: a parameter's caption and what it accepts.
struct TParamDescription {
  std::string Label;
  std::string Accepts;
};

// The common interface of every filter.
class TImvoraFilter {
 public:
  virtual ~TImvoraFilter() = default;

  // Filters the 24-bit bitmap in place; the flags are channels 1, 2, 3 (red, green, blue).
  // A missing bitmap means there is nothing to filter.
  virtual void Apply(TBitmap* bitmap, bool flag1, bool flag2, bool flag3);
  virtual void CreateControls(TPanel& parent);
  virtual void DestroyControls();
  virtual void SetParam(std::int32_t index, std::int32_t value);
  virtual std::vector<TParamDescription> DescribeParams() const { return {}; }
  // What the result depends on, besides the image, the channel flags and the filter's own
  // parameters, that one file of a batch leaves for the next (the shared random generator, or
  // other filters' parameters set by calls of its own), in Russian; empty when nothing.
  // A batch with such a filter keeps its files in order.
  virtual std::string StateBetweenFiles() const { return {}; }
  // Long work reports `done` of `total` units to the host, if any: at most once per row or
  // block, never per pixel. Throws ECancelled when the user asked to stop.
  void ReportProgress(std::int64_t done, std::int64_t total) const {
    if (Host != nullptr) Host->ReportProgress(done, total);
  }

  std::string Name;
  // 1 when Apply receives a copy of the selection that will be pasted back, 0 when it
  // receives the current image itself.
  std::uint8_t Cropped = 0;
  // The document the filter is registered in; set by AddFilter.
  IFilterHost* Host = nullptr;
};

}  // namespace imvora
