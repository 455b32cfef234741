// The kinds of request the server answers: one table of each kind's mode,
// parameters and way of asking, and how its parameters become the command
// line's words.
#ifndef FVSCOPE_APP_REQUEST_KINDS_H_
#define FVSCOPE_APP_REQUEST_KINDS_H_

#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/mode.h"
#include "http/request_params.h"

namespace fvscope {

// A parameter a request kind takes; a number reads whole as a decimal
// integer or answers 400.
struct ParamRule {
  const char* name;
  bool number;
};

// When a kind's run is made: for each request, once for all at the first
// request, or from the start in the background.
enum class RunTime { kEachRequest, kOnce, kBackground };

// The command line's words for a request (words before "--", positional
// ones after) with params; record_text: a record comes in the body. Returns
// false with *error when the request cannot be given so.
using WordsFunction = bool (*)(const CommandLine& start, const std::vector<RequestParam>& params,
                               bool record_text, std::vector<std::string>* words,
                               std::vector<std::string>* positional, std::string* error);

// What a document of the run puts after a picture's name: the parameters
// that make the same run again.
using QueryFunction = std::string (*)(const CommandLine& options,
                                      const std::vector<RequestParam>& params,
                                      const RunResult& result);

// Each kind of run a request names: its mode, the parameters it takes, how
// it is asked for, and how its parameters become the command line's words.
struct RequestKind {
  const char* name;   // of /api/NAME and /api/picture/NAME/
  ModeFunction mode;
  ParamRule params[6];
  bool get;           // GET /api/NAME
  bool post;          // POST /api/NAME with a record in the body
  bool heavy;         // each run takes a turn of the work limit
  RunTime when;
  WordsFunction words;
  QueryFunction query;  // nullptr: the request's own parameters
};

// The number of kinds in kRequestKinds.
constexpr int kRequestKindCount = 7;

// The one table of request kinds.
extern const RequestKind kRequestKinds[kRequestKindCount];

// The kind named name (as in /api/NAME); nullptr for none.
const RequestKind* FindRequestKind(const std::string& name);

// Checks params against kind's: each one known, each number whole. Returns
// false with *error naming the parameter.
bool CheckRequestParams(const RequestKind& kind, const std::vector<RequestParam>& params,
                        std::string* error);

}  // namespace fvscope

#endif  // FVSCOPE_APP_REQUEST_KINDS_H_
