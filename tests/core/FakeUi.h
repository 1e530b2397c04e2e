#pragma once

#include <memory>
#include <string>
#include <vector>

#include "core/Document.h"

namespace imvora::testing {

// Answers the document's questions from fields the test sets, and records the refreshes.
class TFakeUi : public IDocumentUi {
 public:
  TSaveAnswer AskSaveChanges() override {
    ++saveQuestions;
    return saveAnswer;
  }
  bool ChooseSaveName(std::string& name) override {
    ++saveDialogs;
    name = saveName;
    return !saveName.empty();
  }
  bool AskJpegOptions(TJpegDialogResult& result) override {
    ++jpegDialogs;
    if (jpegCancels > 0) {
      --jpegCancels;
      return false;
    }
    result = jpeg;
    return true;
  }
  void PictureChanged() override { ++pictureChanges; }
  void SelectionChanged() override { ++selectionChanges; }
  void HistogramChanged() override { ++histogramChanges; }
  bool ShowsPicture() const override { return showsPicture; }

  TSaveAnswer saveAnswer = TSaveAnswer::No;
  std::string saveName;
  TJpegDialogResult jpeg{"85", false};
  int jpegCancels = 0;
  int saveQuestions = 0, saveDialogs = 0, jpegDialogs = 0;
  int pictureChanges = 0, selectionChanges = 0, histogramChanges = 0;
  bool showsPicture = true;
};

}  // namespace imvora::testing
