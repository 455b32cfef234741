// Reader of KIF game records (the text form of Kakinoki's Kifu for Windows
// that most shogi programs read and write), in UTF-8 or Shift-JIS.
#ifndef FVSCOPE_SHOGI_KIF_RECORD_H_
#define FVSCOPE_SHOGI_KIF_RECORD_H_

#include <string>
#include <string_view>

#include "shogi/move.h"

namespace fvscope {

// A handicap a KIF names in its "手合割" line, and the position it starts
// from in SFEN: the stronger player (white) gives up pieces and moves first.
struct KifHandicap {
  const char* name;  // UTF-8
  const char* sfen;
};

// Every handicap the reader knows, the even game first.
inline constexpr KifHandicap kKifHandicaps[] = {
    {"平手", "lnsgkgsnl/1r5b1/ppppppppp/9/9/9/PPPPPPPPP/1B5R1/LNSGKGSNL b - 1"},
    {"香落ち", "lnsgkgsn1/1r5b1/ppppppppp/9/9/9/PPPPPPPPP/1B5R1/LNSGKGSNL w - 1"},
    {"右香落ち", "1nsgkgsnl/1r5b1/ppppppppp/9/9/9/PPPPPPPPP/1B5R1/LNSGKGSNL w - 1"},
    {"角落ち", "lnsgkgsnl/1r7/ppppppppp/9/9/9/PPPPPPPPP/1B5R1/LNSGKGSNL w - 1"},
    {"飛車落ち", "lnsgkgsnl/7b1/ppppppppp/9/9/9/PPPPPPPPP/1B5R1/LNSGKGSNL w - 1"},
    {"飛香落ち", "lnsgkgsn1/7b1/ppppppppp/9/9/9/PPPPPPPPP/1B5R1/LNSGKGSNL w - 1"},
    {"二枚落ち", "lnsgkgsnl/9/ppppppppp/9/9/9/PPPPPPPPP/1B5R1/LNSGKGSNL w - 1"},
    {"三枚落ち", "lnsgkgsn1/9/ppppppppp/9/9/9/PPPPPPPPP/1B5R1/LNSGKGSNL w - 1"},
    {"四枚落ち", "1nsgkgsn1/9/ppppppppp/9/9/9/PPPPPPPPP/1B5R1/LNSGKGSNL w - 1"},
    {"五枚落ち", "2sgkgsn1/9/ppppppppp/9/9/9/PPPPPPPPP/1B5R1/LNSGKGSNL w - 1"},
    {"左五枚落ち", "1nsgkgs2/9/ppppppppp/9/9/9/PPPPPPPPP/1B5R1/LNSGKGSNL w - 1"},
    {"六枚落ち", "2sgkgs2/9/ppppppppp/9/9/9/PPPPPPPPP/1B5R1/LNSGKGSNL w - 1"},
    {"左七枚落ち", "2sgkg3/9/ppppppppp/9/9/9/PPPPPPPPP/1B5R1/LNSGKGSNL w - 1"},
    {"右七枚落ち", "3gkgs2/9/ppppppppp/9/9/9/PPPPPPPPP/1B5R1/LNSGKGSNL w - 1"},
    {"八枚落ち", "3gkg3/9/ppppppppp/9/9/9/PPPPPPPPP/1B5R1/LNSGKGSNL w - 1"},
    {"十枚落ち", "4k4/9/ppppppppp/9/9/9/PPPPPPPPP/1B5R1/LNSGKGSNL w - 1"},
};

// The kanji of the KIF texts, indexed as the tables are, for readers and
// writers of KIF alike.
// Full-width file digits, index 1..9 ("１".."９").
inline constexpr const char* kKifFileDigits[10] = {"",   "１", "２", "３", "４",
                                                   "５", "６", "７", "８", "９"};
// Kanji numerals 1..9, index 1..9: ranks and the tail of hand counts.
inline constexpr const char* kKifNumerals[10] = {"",   "一", "二", "三", "四",
                                                 "五", "六", "七", "八", "九"};
// Name of a piece in a move, indexed by piece kind (the king as 玉).
inline constexpr const char* kKifMovePieces[kPieceKinds + 1] = {
    "", "歩", "香", "桂", "銀", "金", "角", "飛", "玉", "と", "成香", "成桂", "成銀", "馬", "龍"};
// Name of a piece on a board diagram, one character, indexed by piece kind.
inline constexpr const char* kKifBoardPieces[kPieceKinds + 1] = {
    "", "歩", "香", "桂", "銀", "金", "角", "飛", "玉", "と", "杏", "圭", "全", "馬", "龍"};

// Reads the main line of a KIF record's bytes (UTF-8 with or without a byte
// order mark, else Shift-JIS) into *record: its start (the handicap's, or
// the board diagram's), the side to move, move_number 1, its moves (parsed
// as ParseCsaMove gives them, not played), its result from the end word and
// the players' names. Every move is checked against the position it is
// played on. Returns false with *error "line N: expected ..., not \"...\"".
bool ReadKifRecord(std::string_view bytes, GameRecord* record, std::string* error);

// True when bytes read as text whose lines are KIF's and not CSA's: a
// "#KIF" line, a "key：value" header with a full-width colon, or a numbered
// move line with a full-width file digit ("   1 ７六歩(77)").
bool LooksLikeKif(std::string_view bytes);

}  // namespace fvscope

#endif  // FVSCOPE_SHOGI_KIF_RECORD_H_
