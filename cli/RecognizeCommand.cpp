#include <iostream>

#include "cli/ContourRun.h"
#include "core/TextFile.h"
#include "recognition/ContextRecognition.h"

namespace imvora::cli {
namespace {

const char* const kUsage =
    "Использование: imvora-cli recognize --precedents ФАЙЛ --dictionary ФАЙЛ --classes K\n"
    "                                    [--coefs N] [--select L,T,R,B] [--grow-dictionary]\n"
    "                                    [--threads N]\n"
    "                                    ВХОД\n"
    "Выполняет распознавание контуров ВХОДА, затем контекстно-зависимое распознавание глифов\n"
    "слева направо: печатает протокол, как в окне «Контекстно-зависимое распознавание»,\n"
    "затем «answer: ОТВЕТ» и «new word: yes|no». Прецедентные данные: строка 0 — алфавит\n"
    "(символ класса k — k-й символ), строки 1 ... K — тексты контурных изображений\n"
    "прецедентов классов. Словарь: по слову на строку. Файлы читаются как UTF-8, а не\n"
    "являющиеся UTF-8 — как Windows-1251. --grow-dictionary дописывает новое слово в словарь.\n"
    "--threads N задаёт число потоков обработки (по умолчанию по числу ядер процессора).\n";

struct TRecognizeFiles {
  std::string Precedents, Dictionary;
  std::int32_t Classes = -1;
  bool GrowDictionary = false;
};

bool TakeRecognizeOption(const std::vector<std::string>& args, std::size_t& i,
                         TRecognizeFiles& files) {
  const std::string& option = args[i];
  if (option == "--grow-dictionary") {
    files.GrowDictionary = true;
    return true;
  }
  if (option != "--precedents" && option != "--dictionary" && option != "--classes") return false;
  if (i + 1 >= args.size()) throw TUsageError("у " + option + " нет значения");
  const std::string& value = args[++i];
  if (option == "--precedents") files.Precedents = value;
  if (option == "--dictionary") files.Dictionary = value;
  if (option == "--classes") files.Classes = BoundedOption(option, value, 0, kMaxClassCount);
  return true;
}

int RunRecognize(const std::vector<std::string>& args) {
  TRecognizeFiles files;
  TContourOptions options =
      ParseContourOptions(args, [&files](const std::vector<std::string>& a, std::size_t& i) {
        return TakeRecognizeOption(a, i, files);
      });
  if (files.Precedents.empty() || files.Dictionary.empty() || files.Classes < 0) {
    throw TUsageError("нужны --precedents, --dictionary и --classes");
  }
  if (options.Positional.size() != 1) throw TUsageError("нужен ровно один ВХОД");
  const std::vector<std::string> precedents = ReadTextLines(files.Precedents);
  const std::vector<std::string> dictionary = ReadTextLines(files.Dictionary);
  TDocument document(options.Common.Ui);
  const TContourSet& glyphs = RunContourRecognition(document, options, options.Positional[0]);
  std::vector<std::string> log;
  TRecognitionResult result;
  try {
    result = RecognizeWord(glyphs, precedents, files.Classes, dictionary, log);
  } catch (...) {
    for (const std::string& line : log) std::cout << line << '\n';
    throw;
  }
  for (const std::string& line : log) std::cout << line << '\n';
  std::cout << "answer: " << result.Answer << "\nnew word: " << (result.NewWord ? "yes" : "no")
            << '\n';
  if (files.GrowDictionary && result.NewWord) AppendTextLine(files.Dictionary, result.Answer);
  return 0;
}

const TCommandRegistrar registrar({"recognize", kUsage, &RunRecognize});

}  // namespace
}  // namespace imvora::cli
