#include "app/command_line.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "eval/corpus/corpus_partial.h"
#include "eval/network/network_file.h"
#include "shogi/types.h"

namespace fvscope {

namespace {

constexpr long kMaxJobs = 256;
constexpr long kMaxUsiTimeout = 86400;
constexpr long kMaxScale = 1000000;

// Reads "--name=N" with N in [low, high] into *number; false with *error otherwise.
bool ReadNumber(const char* name, const char* value, long low, long high, int32_t* number,
                std::string* error) {
  char* end = nullptr;
  errno = 0;
  const long n = std::strtol(value, &end, 10);
  if (*value == '\0' || *end != '\0' || errno != 0 || n < low || n > high) {
    *error = std::string(name) + " takes a number from " + std::to_string(low) + " to " +
             std::to_string(high) + ", not \"" + value + "\"";
    return false;
  }
  *number = static_cast<int32_t>(n);
  return true;
}

// Reads arg as atoi reads it (blanks, a sign, digits; anything else ends the
// number, no digits read as 0) into *number. Returns false when the digits
// give a number outside the range of a 32-bit integer.
bool ReadAtoi(const char* arg, int32_t* number) {
  const char* p = arg;
  while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
  const bool negative = *p == '-';
  if (*p == '-' || *p == '+') ++p;
  int64_t value = 0;
  for (; *p >= '0' && *p <= '9'; ++p) {
    value = value * 10 + (*p - '0');
    if (value > int64_t{INT32_MAX} + 1) return false;
  }
  if (negative) value = -value;
  if (value > INT32_MAX || value < INT32_MIN) return false;
  *number = static_cast<int32_t>(value);
  return true;
}

// The options whose values are texts, by name.
struct TextOption {
  const char* name;
  std::string CommandLine::*field;
  bool may_be_empty;
};

constexpr TextOption kTextOptions[] = {
    {"--engine", &CommandLine::engine, true},  {"--workdir", &CommandLine::workdir, true},
    {"--position", &CommandLine::position, false}, {"--pv", &CommandLine::pv, true},
    {"--game", &CommandLine::game, false},
    {"--usi", &CommandLine::usi, false},       {"--go", &CommandLine::go, true},
    {"--fv", &CommandLine::fv, false},         {"--img", &CommandLine::img, false},
    {"--json", &CommandLine::json, false},     {"--html", &CommandLine::html, false},
    {"--compare", &CommandLine::compare, false}, {"--partial", &CommandLine::partial, false},
    {"--map", &CommandLine::map, false},       {"--squares", &CommandLine::squares, false},
};

// Value of "--name=value" in arg, or nullptr when arg is not that option.
const char* OptionValue(const char* arg, const char* name) {
  const size_t length = std::strlen(name);
  if (std::strncmp(arg, name, length) != 0 || arg[length] != '=') return nullptr;
  return arg + length + 1;
}

// The text option arg sets, with its value in *value; nullptr for none.
const TextOption* FindTextOption(const char* arg, const char** value) {
  for (const TextOption& option : kTextOptions) {
    if ((*value = OptionValue(arg, option.name)) != nullptr) return &option;
  }
  return nullptr;
}

// Text before the options in --help.
constexpr const char* kUsageHead =
    "usage: fvscope [options] [SORT_MODE [SCAN_KING_SQUARE]]\n"
    "\n"
    "Without a scan king square (or with -1), runs the engine in the working\n"
    "directory, plays its principal variation and takes the leaf's evaluation\n"
    "apart. With a king square 0..80, ranks the largest KPP table entries of\n"
    "that square instead.\n"
    "\n"
    "SORT_MODE: 0 by magnitude (default), 1 most positive first, other values\n"
    "most negative first.\n"
    "\n"
    "options:\n";

// The column where --help's descriptions start.
constexpr size_t kUsageColumn = 25;

constexpr OptionDoc kOptionDocs[] = {
    {"-C DIR, --workdir=DIR", "work in DIR (fv.bin, engine, img/, log/, report.html)",
     "a folder", "the folder fvscope was started in",
     "Every file name of the run (fv.bin, engine, img/, log/, report.html and the other "
     "options' files) is relative to DIR.",
     "", "dir"},
    {"--engine=CMD", "the engine command, run through /bin/sh -c\n(default ./engine)",
     "a shell command", "./engine",
     "The engine of a game analysis; it must leave log/game000.csa and log/n000.log.", "",
     "command"},
    {"--utf8", "write the Japanese texts in UTF-8, not code page 932", "", "code page 932",
     "Writes the Japanese texts of the console in UTF-8 instead of code page 932 (Shift-JIS).",
     "", ""},
    {"--jobs=N", "draw the pictures on N threads (default: one per core)", "a number from 1 to 256",
     "one thread per core",
     "Draws the pictures and evaluates a corpus on N threads; the files are the same for any N.",
     "", ""},
    {"--json=FILE",
     "also write every figure of the run as one JSON document\nto FILE; --json=- writes it to "
     "stdout instead of the text",
     "a file, or - for standard output", "none",
     "Writes every figure of the run as one JSON document (see docs/json.md), whole or not at "
     "all; --json=- writes it to standard output in place of the console text.",
     "--partial, --serve", "file"},
    {"--position=POS",
     "analyse POS without the engine: \"startpos\" or \"sfen ...\",\noptionally with \"moves "
     "...\", or a file holding such a\ntext or a CSA record",
     "startpos or sfen ..., optionally followed by moves ..., or a file holding such a text, a "
     "CSA record or a KIF record",
     "none: the engine's game",
     "Analyses the position as a game analysis does, without the engine (mode \"position\"). "
     "Every move is checked before it is played; one that fails stops the run with exit 2.",
     "a scan king square, --game, --corpus, --merge, --map, --census, --serve", "file"},
    {"--ply=N", "take the position after the first N moves of it", "a number from 0",
     "after every move", "Takes the position after the first N moves of the record or moves list.",
     "--game, --corpus, --map, --census, --serve; needs --position", ""},
    {"--game=RECORD",
     "evaluate every position of RECORD (read as --position reads\nit) and draw the evaluation as "
     "a curve in log/game.png",
     "a record file or text, read as --position reads it", "none",
     "Evaluates the start and the position after every move: a table on standard output, "
     "log/game.png, report.html with the chart; with --compare every ply under both files and "
     "RANKING OF CHANGES ALONG THE GAME.",
     "a sort mode or king square, --position, --pv, --usi, --ply, --pieces, --serve", "file"},
    {"--pv=MOVES",
     "moves from the position to the leaf (USI or CSA form,\nseparated by blanks or commas)",
     "moves in USI form (7g7f, P*5e, 8h2b+) or CSA form (+7776FU, 7776FU)", "none",
     "Plays MOVES from the position to the leaf, each checked first.",
     "--usi, a scan king square, --game, --corpus, --map, --census, --serve", ""},
    {"--usi=CMD", "let the USI engine CMD search the position and play its PV", "a shell command",
     "none",
     "Lets a USI engine (run through /bin/sh -c, such as /usr/games/fairy-stockfish) search the "
     "position and plays its principal variation to the leaf.",
     "--pv, a scan king square, --game, --corpus, --map, --census", "command"},
    {"--go=ARGS", "what the USI engine is told after go (default depth 10)", "the words after go",
     "depth 10", "What the USI engine is told after go.", "", ""},
    {"--usi-timeout=S", "seconds the USI engine has for its bestmove (default 60)",
     "a number from 1 to 86400", "60",
     "Seconds the USI engine has for its bestmove; then stop and 2 seconds more.", "", ""},
    {"--fv=FILE",
     "the evaluation file: a table (fv.bin), a HalfKP\nnetwork (nn.bin) or a folder holding a KPPT set\n(default ./fv.bin)",
     "a table (fv.bin), a HalfKP network (nn.bin) or a folder holding a KPPT set", "./fv.bin",
     "The evaluation file; which of the three it is comes from its contents: a folder is a KPPT "
     "set, known by its files' names and sizes (see docs/inputs.md).",
     "", "file"},
    {"--fv-scale=S", "a network's output per point, 1..128 (default 16)", "a number from 1 to 128",
     "16", "A network's output per point of value; refused when neither evaluation file is a network.", "", ""},
    {"--img=DIR", "the piece pictures (default ./img, else built-in ones)", "a folder",
     "./img, else the pictures built into the executable",
     "The 14 piece pictures FU.jpg .. RY.jpg; a picture that is missing or does not decode stops "
     "the run with exit 1.",
     "", "dir"},
    {"--html=FILE",
     "also write a page for a browser with every figure, table\nand picture of the run to FILE",
     "a file name (not -)", "none",
     "Writes one self-contained HTML page with every figure, table and picture of the run.",
     "--partial, --serve", "file"},
    {"--compare=FILE",
     "compare the evaluation file with FILE: the leaf's figures\nunder both and its terms (or a "
     "scanned square's entries)\nranked by their change",
     "an evaluation file, read as --fv is", "none",
     "Every mode runs under both files and shows the change. A game analysis or position run "
     "prints, after the leaf board, KKP and KPP (table units), material and value (points) under "
     "each file with the change, then RANKING OF CHANGES: the 150 changed terms ranked by their "
     "change (after minus before, a white king's term negated, in the sort mode), as \"1: change "
     "= +360  before = 640  after = 1000  [+59OU]-[+FU*]-[+FU*]\", drawn with the change as the "
     "value. A table scan prints changed = N and ranks the entries that differ; --game gives "
     "both values per ply; a corpus run, a map and a census add the second file's figures.",
     "", "file"},
    {"--pieces", "share the leaf's KKP + KPP among its pieces and hand kinds", "", "off",
     "Each piece on the board (kings aside) and each hand kind of both sides gets its share of "
     "KKP + KPP: its own KKP term, its pair with itself and half of every pair with another "
     "entry (the white king's terms subtracted); the shares add up to KKP + KPP. PIECES: comes "
     "after everything else, one line per piece (\"+76FU  +12.5\", points; with --compare also "
     "the share under the second file and the change), and log/pieces.png draws the shares over "
     "the leaf's pieces. Under a network a share is the value minus the value without the "
     "piece.",
     "a scan king square, --game, --corpus, --map, --census, --serve", ""},
    {"--corpus=PATH",
     "evaluate every position of every game of PATH (a record\nfile, or a folder of them read "
     "recursively; may be given\nagain) and fit a win rate to the values",
     "a record file, a packed file or a folder (read recursively); may be given again", "none",
     "Evaluates every position of every game and packed record under the evaluation file, fits a win rate to the values "
     "and counts the use of the table (see docs/corpora.md).",
     "a king square, --position, --pv, --usi, --ply, --pieces, --game, --map, --census, --merge",
     "file"},
    {"--from-ply=N", "leave out the first N plies of every game (default 0)", "a number from 0",
     "0", "Leaves the first N plies of every game (and psv records of a lower ply) out.",
     "needs --corpus; an hcpe file in the corpus is refused with it (exit 1)", ""},
    {"--scale=S", "the scale curve 1 / (1 + exp(-value / S)) (default 600)",
     "a number from 1 to 1000000", "600",
     "The fixed curve the corpus's values are also scored by, and the pull's.", "needs --corpus",
     ""},
    {"--no-usage", "count no reads of table entries in a corpus run", "", "off",
     "A corpus run counts no reads of table entries: only the fit.", "needs --corpus", ""},
    {"--activations", "count a network's neurons clamped at 0, between and\nat 127 over a corpus",
     "", "off",
     "A corpus run under a network counts, for every neuron of the transformer (both views), of "
     "layer 1 and of layer 2, its outputs clamped at 0, between and clamped at 127, and their "
     "mean; the dead and the saturated neurons; the transformer's values before the clamp.",
     "needs --corpus or --merge, and --fv a network", ""},
    {"--packed=psv|hcpe", "read corpus files of other names as packed records", "psv or hcpe",
     "by the file's name: *.psv, *.hcpe",
     "Reads corpus files that are not game records (such as .bin) as packed training records "
     "of that format.",
     "needs --corpus", "psv hcpe"},
    {"--lambda=L", "pull toward L * score's curve + (1 - L) * result (0..1)",
     "a number from 0 to 1", "0",
     "The pull's target mixes the records' search scores in: L * score's curve + (1 - L) * "
     "result.",
     "needs --corpus", ""},
    {"--shard=I/N", "take only games I, I + N, I + 2N, ... of the corpus",
     "I/N with 1 <= I <= N <= 1000000", "the whole corpus",
     "Takes only the games whose number g has (g - 1) mod N = I - 1, and the I-th slice of each "
     "packed file.",
     "needs --corpus; --merge, --serve", ""},
    {"--partial=FILE", "write what the corpus run found to FILE, for --merge", "a file name",
     "none", "Writes what the corpus run found to FILE (whole or absent) in place of every output.",
     "needs --corpus; --json, --html, --merge", "file"},
    {"--merge=FILE", "merge partial files (once each) into one corpus run",
     "a partial file; given once for each", "none",
     "Reads partial files and writes every output as one run over the whole corpus would.",
     "--corpus, --shard, --partial", "file"},
    {"--progress",
     "show a corpus run's or a merge's progress on stderr even\nwhen it is not a terminal (a line "
     "every few seconds)",
     "", "shown when stderr is a terminal",
     "Shows a corpus run's or a merge's progress on stderr also when it is not a terminal, a "
     "full line every five seconds.",
     "", ""},
    {"--no-progress", "never show it (shown by default on a terminal)", "", "shown on a terminal",
     "Never shows the progress.", "", ""},
    {"--map=KING:PIECE",
     "draw the table's values for a king and a piece (+59OU:+58KI,\n+59OU:-FU*3) or both kings "
     "(+59OU:-51OU)",
     "a king (+59OU) and a piece on its square (+58KI), a held kind with its count (-FU*3) or the "
     "other king (-51OU)",
     "none", "Prints and draws a map of the table for the king and the piece (see docs/outputs.md).",
     "a sort mode or king square, --position, --pv, --usi, --game, --corpus, --census", ""},
    {"--map=KING",
     "with a network: draw each feature's weights under KING\n(+59OU, -51OU; a white king from "
     "white's view): their\nmagnitude, or with --neuron=N neuron N's weight",
     "a king (+59OU, -51OU)", "none",
     "With a network: every feature's weights under the king's square, as grids per piece kind "
     "and strips for the hands; each feature's magnitude (the root of the sum of its squared "
     "weights), or with --neuron=N that neuron's weight (see docs/outputs.md).",
     "a sort mode or king square, --position, --pv, --usi, --game, --corpus, --census, --compare",
     ""},
    {"--neuron=N", "with --map=KING and a network: show neuron N's weights (0..W-1)",
     "a number from 0 to W - 1", "none",
     "Shows one neuron's weight in a network's map instead of each feature's magnitude.",
     "needs --map=KING with a network", ""},
    {"--part=board|turn",
     "with a KPPT set: the part of its entries a map or a table\nscan shows (default board)",
     "board or turn", "board",
     "A KPPT set's entries are pairs of a board part and a turn part (a bonus to the side to "
     "move): --map and a table scan show the part chosen; --census shows both. Refused with "
     "fv.bin or a network (exit 2).",
     "needs a KPPT set", "board turn"},
    {"--squares=PIECE",
     "the leaf's value with PIECE (+58KI on the board, +KI* or\n-FU* held) on each square it "
     "can stand on instead, with\nthe leaf's side to move (needs --position; --pv sets the\n"
     "leaf)",
     "a piece on the board (+58KI) or a held kind (+KI*, -FU*)", "none",
     "The leaf's value with the piece moved to (or dropped on) each square it can stand on: "
     "SQUARES: with the best ten, log/squares.png, JSON \"squares\" (see docs/outputs.md).",
     "needs --position; a table scan, --usi, --pieces, --compare, --game, --corpus", ""},
    {"--census", "count the entries of the whole file per king square", "", "off",
     "A census of the whole evaluation file per king square; with --compare, also what changed.",
     "a sort mode or king square, --position, --pv, --usi, --game, --corpus, --map", ""},
    {"--serve[=ADDR:PORT]",
     "answer every analysis over HTTP until stopped (default\n127.0.0.1:8765); the files given "
     "are loaded once",
     "an address and port", "127.0.0.1:8765",
     "Answers every analysis over HTTP until stopped, with the files of --fv, --compare, --corpus "
     "and the engine of --usi loaded once (see docs/server.md).",
     "a king square, --position, --pv, --ply, --pieces, --game, --map, --census, --json, --html, "
     "--merge, --partial, --shard",
     ""},
    {"--help", "print this text", "", "", "Prints the usage and exits.", "", ""},
    {"--version", "print the version", "", "", "Prints the version and exits.", "", ""},
};

}  // namespace

bool AnalysesPosition(const CommandLine& command_line) {
  return !command_line.position.empty() || !command_line.pv.empty() ||
         !command_line.usi.empty();
}

bool AnalysesCorpus(const CommandLine& command_line) {
  return !command_line.corpus.empty() || !command_line.merge.empty();
}

namespace {

// Reads "I/N" with 1 <= I <= N <= kMaxShards into the shard fields.
bool ReadShard(const char* value, CommandLine* command_line, std::string* error) {
  int index = 0, count = 0, used = 0;
  if (std::sscanf(value, "%9d/%9d%n", &index, &count, &used) != 2 || value[used] != '\0' ||
      index < 1 || count < index || count > kMaxShards) {
    *error = std::string("--shard takes I/N with 1 <= I <= N <= ") + std::to_string(kMaxShards) +
             ", not \"" + value + "\"";
    return false;
  }
  command_line->shard_index = index;
  command_line->shard_count = count;
  return true;
}

// The first option given that the mode selected (corpus, map, census or
// game, whichever is set) does not take; nullptr for none.
const char* ForeignOption(const CommandLine& c, int positional, bool corpus, bool map,
                          bool census, bool game) {
  if (positional > (corpus ? 1 : 0)) return corpus ? "king square" : "sort mode or king square";
  if (AnalysesPosition(c)) return "--position, --pv or --usi";
  if (c.ply >= 0) return "--ply";
  if (c.pieces) return "--pieces";
  if (!corpus && AnalysesCorpus(c)) return "--corpus or --merge";
  if (!map && !c.map.empty()) return "--map";
  if (!census && c.census) return "--census";
  if (!c.squares.empty()) return "--squares";
  if (!game && !c.game.empty()) return "--game";
  return nullptr;
}

// Checks the options of the modes that take no position: a corpus, a map, a
// census. Returns false with *error naming what does not go together.
bool CheckTableModes(const CommandLine& c, int positional, std::string* error) {
  const bool corpus = AnalysesCorpus(c);
  const char* mode = corpus ? "a corpus run (--corpus, --merge)"
                     : !c.map.empty() ? "--map"
                     : c.census ? "--census"
                                : nullptr;
  if (mode != nullptr) {
    const bool map = !corpus && !c.map.empty();
    const char* other = ForeignOption(c, positional, corpus, map, !corpus && !map, false);
    if (other != nullptr) {
      *error = std::string(mode) + " takes no " + other;
      return false;
    }
  }
  const bool shard = c.shard_count > 0 || !c.partial.empty();
  if (!c.merge.empty() && (!c.corpus.empty() || shard)) {
    *error = "--merge takes the partials of a corpus; it takes no --corpus, --shard or --partial";
    return false;
  }
  if (!c.partial.empty() && (!c.json.empty() || !c.html.empty())) {
    *error = "--partial writes what the shard found in place of every output; it takes no "
             "--json or --html";
    return false;
  }
  if (!corpus && (shard || c.from_ply >= 0 || c.scale != kDefaultScale || c.no_usage)) {
    *error = "--shard, --partial, --from-ply, --scale and --no-usage need --corpus";
    return false;
  }
  if (!corpus && c.activations) {
    *error = "--activations counts a network's neurons over a corpus: it needs --corpus or --merge";
    return false;
  }
  if (c.corpus.empty() && (!c.packed.empty() || c.lambda != 0)) {
    *error = "--packed and --lambda need --corpus";
    return false;
  }
  return true;
}

}  // namespace

bool CheckScanKingSquare(int32_t square, std::string* error) {
  if (square == -1 || IsSquare(square)) return true;
  *error = "scan king square " + std::to_string(square) +
           " is outside 0..80 (-1 selects game analysis)";
  return false;
}

std::span<const OptionDoc> OptionDocs() { return kOptionDocs; }

const char* UsageText() {
  static const std::string text = [] {
    std::string usage = kUsageHead;
    for (const OptionDoc& option : kOptionDocs) {
      std::string line = std::string("  ") + option.usage;
      line.resize(std::max(line.size() + 2, kUsageColumn), ' ');
      for (const char* help = option.help; *help != '\0';) {
        const char* end = std::strchr(help, '\n');
        if (end == nullptr) end = help + std::strlen(help);
        usage += line;
        usage.append(help, end);
        usage += '\n';
        line.assign(kUsageColumn, ' ');
        help = *end == '\n' ? end + 1 : end;
      }
    }
    return usage;
  }();
  return text.c_str();
}

bool ParseCommandLine(int argc, const char* const* argv, CommandLine* command_line,
                      std::string* error) {
  std::vector<const char*> positional;
  bool options_ended = false;
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    const char* value;
    if (options_ended) {
      positional.push_back(arg);
    } else if (std::strcmp(arg, "--") == 0) {
      options_ended = true;
    } else if (std::strcmp(arg, "-C") == 0) {
      if (i + 1 >= argc) {
        *error = "option -C needs a folder";
        return false;
      }
      command_line->workdir = argv[++i];
    } else if (std::strncmp(arg, "--", 2) != 0) {
      positional.push_back(arg);
    } else if (std::strcmp(arg, "--help") == 0) {
      command_line->help = true;
    } else if (std::strcmp(arg, "--version") == 0) {
      command_line->version = true;
    } else if (std::strcmp(arg, "--utf8") == 0) {
      command_line->utf8 = true;
    } else if (std::strcmp(arg, "--pieces") == 0) {
      command_line->pieces = true;
    } else if ((value = OptionValue(arg, "--jobs")) != nullptr) {
      int32_t jobs = 0;
      if (!ReadNumber("--jobs", value, 1, kMaxJobs, &jobs, error)) return false;
      command_line->jobs = jobs;
    } else if ((value = OptionValue(arg, "--ply")) != nullptr) {
      if (!ReadNumber("--ply", value, 0, INT32_MAX, &command_line->ply, error)) return false;
    } else if (std::strcmp(arg, "--serve") == 0) {
      command_line->serve = kDefaultServeAddress;
    } else if ((value = OptionValue(arg, "--serve")) != nullptr) {
      if (*value == '\0') {
        *error = "--serve needs ADDR:PORT";
        return false;
      }
      command_line->serve = value;
    } else if ((value = OptionValue(arg, "--neuron")) != nullptr) {
      if (!ReadNumber("--neuron", value, 0, kMaxTransformerWidth - 1, &command_line->neuron, error)) {
        return false;
      }
    } else if ((value = OptionValue(arg, "--part")) != nullptr) {
      if (std::strcmp(value, "board") != 0 && std::strcmp(value, "turn") != 0) {
        *error = "--part takes board or turn, not \"" + std::string(value) + "\"";
        return false;
      }
      command_line->part = value[0] == 't' ? 1 : 0;
    } else if (std::strcmp(arg, "--census") == 0) {
      command_line->census = true;
    } else if (std::strcmp(arg, "--activations") == 0) {
      command_line->activations = true;
    } else if (std::strcmp(arg, "--no-usage") == 0) {
      command_line->no_usage = true;
    } else if (std::strcmp(arg, "--progress") == 0) {
      command_line->progress = 1;
    } else if (std::strcmp(arg, "--no-progress") == 0) {
      command_line->progress = 0;
    } else if ((value = OptionValue(arg, "--corpus")) != nullptr ||
               (value = OptionValue(arg, "--merge")) != nullptr) {
      const bool corpus = arg[2] == 'c';
      if (*value == '\0') {
        *error = std::string(corpus ? "--corpus" : "--merge") + " needs a value";
        return false;
      }
      (corpus ? command_line->corpus : command_line->merge).push_back(value);
    } else if ((value = OptionValue(arg, "--from-ply")) != nullptr) {
      if (!ReadNumber("--from-ply", value, 0, INT32_MAX, &command_line->from_ply, error)) {
        return false;
      }
    } else if ((value = OptionValue(arg, "--packed")) != nullptr) {
      if (std::strcmp(value, "psv") != 0 && std::strcmp(value, "hcpe") != 0) {
        *error = std::string("--packed takes psv or hcpe, not \"") + value + "\"";
        return false;
      }
      command_line->packed = value;
    } else if ((value = OptionValue(arg, "--lambda")) != nullptr) {
      char* end = nullptr;
      const double lambda = std::strtod(value, &end);
      if (*value == '\0' || *end != '\0' || !(lambda >= 0 && lambda <= 1)) {
        *error = std::string("--lambda takes a number from 0 to 1, not \"") + value + "\"";
        return false;
      }
      command_line->lambda = lambda;
    } else if ((value = OptionValue(arg, "--fv-scale")) != nullptr) {
      if (!ReadNumber("--fv-scale", value, 1, kMaxNetworkScale, &command_line->fv_scale, error)) {
        return false;
      }
    } else if ((value = OptionValue(arg, "--scale")) != nullptr) {
      if (!ReadNumber("--scale", value, 1, kMaxScale, &command_line->scale, error)) return false;
    } else if ((value = OptionValue(arg, "--shard")) != nullptr) {
      if (!ReadShard(value, command_line, error)) return false;
    } else if ((value = OptionValue(arg, "--usi-timeout")) != nullptr) {
      if (!ReadNumber("--usi-timeout", value, 1, kMaxUsiTimeout, &command_line->usi_timeout,
                      error)) {
        return false;
      }
    } else if (const TextOption* option = FindTextOption(arg, &value)) {
      if (*value == '\0' && !option->may_be_empty) {
        *error = std::string(option->name) + " needs a value";
        return false;
      }
      command_line->*(option->field) = value;
    } else {
      *error = std::string("unknown option ") + arg;
      return false;
    }
  }
  if (positional.size() == 1 || positional.size() == 2) {
    int32_t* targets[2] = {&command_line->sort_mode, &command_line->scan_king_square};
    for (size_t i = 0; i < positional.size(); ++i) {
      if (!ReadAtoi(positional[i], targets[i])) {
        *error = std::string(i == 0 ? "the sort mode" : "the scan king square") + " \"" +
                 positional[i] + "\" is outside the range of a 32-bit integer";
        return false;
      }
    }
  }
  if (!command_line->serve.empty()) {
    const CommandLine& c = *command_line;
    const char* other = c.scan_king_square != -1         ? "king square"
                        : !c.position.empty() || !c.pv.empty() ? "--position or --pv"
                        : c.ply >= 0                     ? "--ply"
                        : c.pieces                       ? "--pieces"
                        : !c.game.empty()                ? "--game"
                        : !c.map.empty()                 ? "--map"
                        : c.census                       ? "--census"
                        : !c.squares.empty()             ? "--squares"
                        : !c.json.empty()                ? "--json"
                        : !c.html.empty()                ? "--html"
                        : !c.merge.empty() || !c.partial.empty() || c.shard_count > 0
                            ? "--merge, --partial or --shard"
                            : nullptr;
    if (other != nullptr) {
      *error = std::string("--serve answers each request with the run it names; it takes no ") +
               other;
      return false;
    }
    // The corpus's options, given with --serve, go with its corpus.
    if (!AnalysesCorpus(c) && (c.from_ply >= 0 || c.scale != kDefaultScale || c.no_usage)) {
      *error = "--from-ply, --scale and --no-usage need --corpus";
      return false;
    }
    if (!AnalysesCorpus(c) && c.activations) {
      *error = "--activations counts a network's neurons over a corpus: it needs --corpus";
      return false;
    }
    return true;
  }
  if (!CheckTableModes(*command_line, static_cast<int>(positional.size()), error)) return false;
  if (!command_line->game.empty()) {
    const char* other = !positional.empty()              ? "a sort mode or king square"
                        : AnalysesPosition(*command_line) ? "--position, --pv or --usi"
                        : command_line->ply >= 0          ? "--ply"
                        : command_line->pieces            ? "--pieces"
                                                          : nullptr;
    if (other != nullptr) {
      *error = std::string("--game evaluates every position of its record; it takes no ") + other;
      return false;
    }
  }
  if (command_line->neuron >= 0 && command_line->map.empty()) {
    *error = "--neuron needs --map=KING with a network";
    return false;
  }
  if (!command_line->squares.empty()) {
    const CommandLine& c = *command_line;
    const char* other = c.scan_king_square != -1 ? "king square (a table scan)"
                        : !c.usi.empty()         ? "--usi"
                        : c.pieces               ? "--pieces"
                        : !c.compare.empty()     ? "--compare"
                        : !c.game.empty()        ? "--game"
                                                 : nullptr;
    if (other != nullptr) {
      *error = std::string("--squares moves a piece of one position's leaf; it takes no ") + other;
      return false;
    }
    if (c.position.empty()) {
      *error = "--squares needs --position";
      return false;
    }
  }
  if (command_line->scan_king_square != -1 && AnalysesPosition(*command_line)) {
    *error = "a table scan takes no position (--position, --pv, --usi)";
    return false;
  }
  if (command_line->html == "-") {
    *error = "--html needs a file name";
    return false;
  }
  if (command_line->pieces && command_line->scan_king_square != -1) {
    *error = "--pieces shares a position's evaluation; a table scan has none";
    return false;
  }
  if (!command_line->pv.empty() && !command_line->usi.empty()) {
    *error = "--pv and --usi both give the PV; take one";
    return false;
  }
  if (command_line->ply >= 0 && command_line->position.empty() && command_line->game.empty()) {
    *error = "--ply needs --position";
    return false;
  }
  return true;
}

}  // namespace fvscope
