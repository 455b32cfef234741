// The command-line reference, the man page and the bash completion, made
// from the product's option table so that none of them can drift from it.
#ifndef FVSCOPE_TOOLS_OPTION_DOCS_H_
#define FVSCOPE_TOOLS_OPTION_DOCS_H_

#include <string>

namespace fvscope {

// docs/command-line.md: every option with what it takes, its default and what
// refuses it, the positional arguments and the exit status.
std::string CommandLineReference();

// fvscope.1, the man page, in roff with the man macros.
std::string ManPage();

// The bash completion of the options and their values.
std::string BashCompletion();

}  // namespace fvscope

#endif  // FVSCOPE_TOOLS_OPTION_DOCS_H_
