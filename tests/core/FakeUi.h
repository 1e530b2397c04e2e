#pragma once

#include <string>

#include "core/Document.h"

namespace imvora::testing {

// Answers the document's questions from fields the test sets, and counts the questions and
// the refreshes.
class TFakeUi : public IDocumentUi {
 public:
  TSaveAnswer AskSaveChanges() override {
    ++saveQuestions;
    return saveAnswer;
  }
  bool ChooseSaveName(std::string& name) override {
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
  void HistogramChanged() override { ++histogramChanges; }
  bool ShowsPicture() const override { return showsPicture; }

  TSaveAnswer saveAnswer = TSaveAnswer::No;
  std::string saveName;
  TJpegDialogResult jpeg{"85", false};
  int jpegCancels = 0;  // JPEG dialogs still to cancel
  int saveQuestions = 0, jpegDialogs = 0, pictureChanges = 0, histogramChanges = 0;
  bool showsPicture = true;
};

}  // namespace imvora::testing
