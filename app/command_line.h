// The command line: options first, then the positional sort mode and scan
// king square.
#ifndef FVSCOPE_APP_COMMAND_LINE_H_
#define FVSCOPE_APP_COMMAND_LINE_H_

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace fvscope {

// The points S of a corpus's scale curve, 1 / (1 + exp(-value / S)).
constexpr int32_t kDefaultScale = 600;

// The tool's version, as --version prints it after "fvscope ".
constexpr const char* kVersion = "0.2.0";

// Where --serve listens when given no address.
constexpr const char* kDefaultServeAddress = "127.0.0.1:8765";

// What the command line asks for.
struct CommandLine {
  int32_t sort_mode = 0;
  int32_t scan_king_square = -1;
  std::string engine = "./engine";  // run through /bin/sh -c
  std::string workdir;              // empty: stay where started
  int jobs = 0;                     // drawing threads; 0: as many as the machine runs
  std::string json;                 // the JSON document's file, "-" for stdout; empty: none
  std::string html;                 // the page for a browser; empty: none
  std::string game;                 // a record whose every position is evaluated; empty: none
  std::string position;             // a USI position text or a file; empty: none
  int32_t ply = -1;                 // moves of the position's record to play; -1: all
  std::string pv;                   // moves from the position to the leaf
  std::string usi;                  // a USI engine that searches the position
  std::string go = "depth 10";      // what the USI engine is told after "go"
  int32_t usi_timeout = 60;         // seconds the USI engine has for its bestmove
  std::string fv = "./fv.bin";      // the evaluation file
  int32_t fv_scale = 0;             // a network's output per point; 0: not given (16)
  std::string img;                  // the piece pictures; empty: ./img, else the built-in ones
  std::string compare;              // a second evaluation file to compare with; empty: none
  bool pieces = false;              // share the leaf's evaluation among its pieces
  std::vector<std::string> corpus;  // record files and folders of a corpus, in order
  int32_t from_ply = -1;            // plies of each game a corpus leaves out; -1: not given (0)
  int32_t scale = kDefaultScale;    // the points of the scale curve's logistic
  int32_t shard_index = 0;          // --shard=I/N: I (1..N); 0: the whole corpus
  int32_t shard_count = 0;          // N
  std::string partial;              // where a shard's partial goes; empty: the outputs instead
  std::vector<std::string> merge;   // partials to merge into one corpus run
  bool no_usage = false;            // a corpus run counts no reads of table entries
  bool activations = false;         // a corpus run counts a network's neurons' clamps
  std::string packed;               // --packed: "psv" or "hcpe" for packed files of other names
  double lambda = 0;                // share of the score in the pull's target, 0..1
  int progress = -1;                // --progress 1, --no-progress 0; -1: when stderr is a terminal
  std::string map;                  // KING:PIECE of a map of the table; empty: none
  bool census = false;              // a census of the whole evaluation file
  int32_t neuron = -1;              // the neuron of a network's map; -1: magnitudes
  int32_t part = -1;                // a KPPT set's part a map or scan shows: 0 board, 1 turn;
                                    // -1: not given (board)
  std::string squares;              // PIECE of the leaf moved to every square; empty: none
  std::string serve;                // ADDR:PORT of the server; empty: no server
  bool utf8 = false;
  bool help = false;
  bool version = false;
};

// True when the run analyses a position of the command line rather than
// running the engine or scanning the table.
bool AnalysesPosition(const CommandLine& command_line);

// True when the run evaluates a corpus of games, or merges the partials of
// one.
bool AnalysesCorpus(const CommandLine& command_line);

// Reads argv into *command_line. Arguments that start with "--" and "-C DIR"
// are options; "--" alone ends the options. What is left is positional: with
// one argument it is the sort mode, with two the sort mode and the scan king
// square (each read as atoi reads it); any other number of them is ignored.
// Returns false with *error set for an unknown or incomplete option, or for
// options that do not go together (a position with a table scan, --pv with
// --usi, --ply without --position, --serve with an option that names one
// run's input or output).
bool ParseCommandLine(int argc, const char* const* argv, CommandLine* command_line,
                      std::string* error);

// Checks the scan king square of a table scan (-1 is none). Returns false
// with *error saying why when it is outside 0..80.
bool CheckScanKingSquare(int32_t square, std::string* error);

// One option as --help, the man page, the command-line reference and the bash
// completion show it.
struct OptionDoc {
  const char* usage;          // as --help names it: "-C DIR, --workdir=DIR"
  const char* help;           // --help's description, its lines separated by '\n'
  const char* takes;          // the values it takes; "" for a switch
  const char* default_value;  // what holds when it is not given; "" for none
  const char* detail;         // what it does, for the reference
  const char* refused_with;   // what it does not go with or needs; "" for nothing
  const char* complete;       // its value's completion: "", "file", "dir", "command" or words
};

// Every option, in the order --help lists them.
std::span<const OptionDoc> OptionDocs();

// The usage text printed by --help, made from OptionDocs().
const char* UsageText();

}  // namespace fvscope

#endif  // FVSCOPE_APP_COMMAND_LINE_H_
