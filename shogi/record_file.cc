#include "shogi/record_file.h"

#include <utility>

#include "shogi/kif_record.h"
#include "shogi/sfen.h"

namespace fvscope {

namespace {

// True when path ends in suffix, letters compared in any case.
bool EndsWithNoCase(std::string_view path, std::string_view suffix) {
  if (path.size() < suffix.size()) return false;
  path = path.substr(path.size() - suffix.size());
  for (size_t i = 0; i < suffix.size(); ++i) {
    char c = path[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != suffix[i]) return false;
  }
  return true;
}

}  // namespace

const char* RecordFormatName(RecordFormat format) {
  switch (format) {
    case RecordFormat::kCsa:
      return "csa";
    case RecordFormat::kKif:
      return "kif";
    case RecordFormat::kUsi:
      return "usi";
  }
  return "csa";
}

Notation RecordNotation(RecordFormat format) {
  return format == RecordFormat::kUsi ? Notation::kUsi : Notation::kCsa;
}

RecordFormat RecordFormatOf(std::string_view path, std::string_view bytes) {
  if (EndsWithNoCase(path, ".kif") || EndsWithNoCase(path, ".kifu")) return RecordFormat::kKif;
  if (LooksLikeUsiPosition(bytes)) return RecordFormat::kUsi;
  if (LooksLikeKif(bytes)) return RecordFormat::kKif;
  return RecordFormat::kCsa;
}

void ReadRecordGames(std::string_view bytes, RecordFormat format, std::vector<RecordGame>* games) {
  if (format == RecordFormat::kCsa) {
    ReadCsaGames(bytes, games);
    return;
  }
  RecordGame game;
  if (format == RecordFormat::kKif) {
    ReadKifRecord(bytes, &game.record, &game.error);
  } else {
    ParseUsiPosition(bytes, &game.record, &game.error);
  }
  games->push_back(std::move(game));
}

}  // namespace fvscope
