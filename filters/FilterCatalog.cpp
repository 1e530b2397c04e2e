#include "filters/FilterCatalog.h"

#include "filters/2DCleaner.h"
#include "filters/AutoColor.h"
#include "filters/Box.h"
#include "filters/FFT.h"
#include "filters/GSharpen.h"
#include "filters/Gaussian.h"
#include "filters/GaussianNoise.h"
#include "filters/GrayScale.h"
#include "filters/Invert.h"
#include "filters/KMeans.h"
#include "filters/Levels.h"
#include "filters/LightAlign.h"
#include "filters/Median.h"
#include "filters/Morpho.h"
#include "filters/Rotate.h"
#include "filters/Wavelet.h"
#include "recognition/Binarize.h"
#include "recognition/ContourRecognition.h"
#include "recognition/Markup.h"
#include "recognition/MarkupAverage.h"

namespace imvora {
namespace {

template <class T>
std::unique_ptr<TImvoraFilter> Make() {
  return std::make_unique<T>();
}

const char* const kFiltering = "Фильтрация";
const char* const kRecognition = "Распознавание";

}  // namespace

const std::vector<TFilterEntry>& FilterCatalog() {
  static const std::vector<TFilterEntry> catalog = {
      {"Gauss", "N17", {kFiltering, "Гаусс-фильтры", "Размытие по Гауссу"}, &Make<TGaussFilter>},
      {"Median", "N18", {kFiltering, "Шум", "Медианная фильтрация"}, &Make<TMedianFilter>},
      {"Invert", "N33", {kFiltering, "Цвет", "Негатив"}, &Make<TInvertFilter>},
      {"Morpho", "N22", {kFiltering, "Морфология..."}, &Make<TMorphoFilter>},
      {"GrayScale",
       "Grayscale1",
       {kFiltering, "Цвет", "В оттенки серого"},
       &Make<TGrayScaleFilter>},
      {"GaussianNoise", "N30", {kFiltering, "Шум", "Нормальный шум"}, &Make<TGaussianNoiseFilter>},
      {"LightAlign",
       "N19",
       {kFiltering, "Гаусс-фильтры", "Выравнивание освещения"},
       &Make<TLightAlignFilter>},
      {"AutoColor", "N35", {kFiltering, "Цвет", "Цветовая коррекция..."}, &Make<TAutoColorFilter>},
      {"Box", "BOX1", {kFiltering, "BOX..."}, &Make<TBoxFilter>},
      {"kMeans", "k1", {kFiltering, "Цвет", "k-средние"}, &Make<TkMeansFilter>},
      {"Markup", "N13", {kRecognition, "Разметка связных областей"}, &Make<TMarkupFilter>},
      {"FFT", "FFT1", {kFiltering, "FFT..."}, &Make<TFFTFilter>},
      {"2DCleaner", "N2DCleaner1", {kFiltering, "Шум", "2D Cleaner"}, &Make<T2DCleanerFilter>},
      {"Wavelet", "Wavelet1", {kFiltering, "Wavelet..."}, &Make<TWaveletFilter>},
      {"Binarize", "N44", {kFiltering, "Цвет", "Бинаризация..."}, &Make<TBinarizeFilter>},
      {"ContourRecognition",
       "N26",
       {kRecognition, "Распознавание контуров..."},
       &Make<TContourRecognitionFilter>},
      {"Rotate", "N21", {kFiltering, "Поворот..."}, &Make<TRotateFilter>},
      {"GSharpen",
       "Gsharpen1",
       {kFiltering, "Гаусс-фильтры", "Гаусс-резкость"},
       &Make<TGSharpenFilter>},
      {"Levels", "N34", {kFiltering, "Цвет", "Уровни..."}, &Make<TLevelsFilter>},
      {"MarkupAverage",
       "N36",
       {kFiltering, "Цвет", "Усреднение по разметке"},
       &Make<TMarkupMeanFilter>},
  };
  return catalog;
}

const TFilterEntry* FindCatalogEntry(const std::string& scriptName) {
  for (const TFilterEntry& entry : FilterCatalog()) {
    if (scriptName == entry.ScriptName) return &entry;
  }
  return nullptr;
}

std::vector<int> RegisterFilters(TDocument& document) {
  std::vector<int> indices;
  for (const TFilterEntry& entry : FilterCatalog()) {
    indices.push_back(document.AddFilter(entry.Make()));
  }
  return indices;
}

}  // namespace imvora
