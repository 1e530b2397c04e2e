#include "core/UndoStack.h"

#include <utility>

namespace imvora {
namespace {

template <class T>
std::size_t VectorBytes(const std::vector<T>& v) {
  return v.size() * sizeof(T);
}

std::size_t ContourBytes(const TContourSet& set) {
  std::size_t bytes = 0;
  for (const auto& image : set) {
    bytes += sizeof(TCRContourImage);
    for (const auto& object : image->Objects) {
      bytes += sizeof(TCRContourObject) + VectorBytes(object->PathX) + VectorBytes(object->PathY) +
               VectorBytes(object->CoefX) + VectorBytes(object->CoefY);
    }
  }
  return bytes;
}

}  // namespace

std::size_t TDocumentState::Bytes() const {
  std::size_t bytes = static_cast<std::size_t>(Image.RowBytes()) * Image.Height();
  if (Markup) bytes += Markup->MemoryBytes();
  if (Contours) bytes += ContourBytes(*Contours);
  return bytes;
}

void TUndoStack::Clear() {
  steps_.clear();
  done_ = 0;
  bytes_ = 0;
}

void TUndoStack::Push(TUndoStep step) {
  while (CanRedo()) {
    bytes_ -= steps_.back().State.Bytes();
    steps_.pop_back();
  }
  bytes_ += step.State.Bytes();
  steps_.push_back(std::move(step));
  ++done_;
  Trim();
}

void TUndoStack::Exchange(TUndoStep& step, TDocumentState& current) {
  bytes_ -= step.State.Bytes();
  std::swap(step.State, current);
  bytes_ += step.State.Bytes();
}

void TUndoStack::Undo(TDocumentState& current) {
  if (!CanUndo()) return;
  --done_;
  Exchange(steps_[done_], current);
  Trim();
}

void TUndoStack::Redo(TDocumentState& current) {
  if (!CanRedo()) return;
  Exchange(steps_[done_], current);
  ++done_;
  Trim();
}

void TUndoStack::MarkSaved() {
  for (TUndoStep& step : steps_) step.State.Modified = true;
}

// The oldest undo steps go first; when only redo steps are left, the farthest of them.
void TUndoStack::Trim() {
  while (bytes_ > maxBytes_ && steps_.size() > 1) {
    if (done_ > 0) {
      bytes_ -= steps_.front().State.Bytes();
      steps_.pop_front();
      --done_;
    } else {
      bytes_ -= steps_.back().State.Bytes();
      steps_.pop_back();
    }
  }
}

}  // namespace imvora
