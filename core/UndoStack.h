#pragma once

#include <cstddef>
#include <deque>
#include <memory>
#include <string>

#include "core/ContourData.h"
#include "core/MarkupData.h"
#include "core/Raster.h"

namespace imvora {

// What an undo step puts back: the current image, the selection, the label map, the contour
// set and the modified flag. The label map and the contour set are never changed in place, so
// a state shares them with the document instead of copying them.
struct TDocumentState {
  TBitmap Image;
  int SelLeft = 0, SelTop = 0, SelRight = 0, SelBottom = 0;
  std::shared_ptr<const TMarkupData> Markup;
  std::shared_ptr<TContourSet> Contours;
  bool Modified = false;

  // Memory the state holds, as counted against the undo limit.
  std::size_t Bytes() const;
};

enum class TUndoKind { Apply, Revert };

struct TUndoStep {
  TUndoKind Kind = TUndoKind::Apply;
  // Script name of the applied filter; empty for a revert.
  std::string FilterName;
  // The document on the other side of the step: before it while the step can be undone, after
  // it while it can be redone.
  TDocumentState State;
};

// Multi-level undo and redo of the document's changes. Undo and redo exchange the document's
// state with the step's, so neither copies an image.
class TUndoStack {
 public:
  // The undo data kept at most; the oldest steps go first, but one step is always kept.
  static constexpr std::size_t kMaxUndoBytes = std::size_t{256} << 20;

  explicit TUndoStack(std::size_t maxBytes = kMaxUndoBytes) : maxBytes_(maxBytes) {}

  void Clear();
  // Records a finished step holding the state before it; the steps that could be redone go.
  void Push(TUndoStep step);
  bool CanUndo() const { return done_ > 0; }
  bool CanRedo() const { return done_ < steps_.size(); }
  const TUndoStep* NextUndo() const { return CanUndo() ? &steps_[done_ - 1] : nullptr; }
  const TUndoStep* NextRedo() const { return CanRedo() ? &steps_[done_] : nullptr; }
  // Exchange `current` (the document's state) with the state of the step undone or redone.
  void Undo(TDocumentState& current);
  void Redo(TDocumentState& current);
  // The document was written to its file: every kept state now differs from the file.
  void MarkSaved();
  std::size_t Bytes() const { return bytes_; }
  std::size_t Count() const { return steps_.size(); }

 private:
  void Exchange(TUndoStep& step, TDocumentState& current);
  void Trim();

  std::size_t maxBytes_;
  std::deque<TUndoStep> steps_;
  std::size_t done_ = 0;  // steps [0, done_) can be undone, the rest redone
  std::size_t bytes_ = 0;
};

}  // namespace imvora
