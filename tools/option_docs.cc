#include "tools/option_docs.h"

#include <cstring>
#include <vector>

#include "app/command_line.h"

namespace fvscope {

namespace {

constexpr const char* kName = "fvscope - take a shogi evaluation apart, position by position";

constexpr const char* kSynopsis = "fvscope [options] [SORT_MODE [SCAN_KING_SQUARE]]";

// The paragraphs before the options, shared by the reference and the man page.
constexpr const char* kDescription[] = {
    "fvscope reads a shogi evaluation file, a table (fv.bin: KPP and KKP) or a HalfKP network "
    "(nn.bin), and shows what its value of a position is made of. Without options it runs the "
    "engine of the working folder, plays its principal variation and takes the leaf's "
    "evaluation apart; --position, --pv and --usi analyse a position of your own, --game every "
    "position of a record, --corpus a corpus of games or training records, --map and --census "
    "the table itself, and --serve answers all of these over HTTP to the explorer page.",
    "Options are taken out first, wherever they stand; -- ends them. What is left is "
    "positional, each number read as atoi reads it: none is a game analysis ranked by "
    "magnitude; SORT_MODE alone is a game analysis (0 by magnitude, 1 most positive first, any "
    "other value most negative first; a corpus run takes it for its rankings); SORT_MODE SQ is "
    "a table scan of king square SQ (0..80; -1 is a game analysis); three or more are "
    "ignored.",
};

constexpr const char* kExitStatus[] = {
    "0: the run completed.",
    "1: a file or folder the run needs failed (one line on stderr names it), or a USI engine "
    "failed (cannot be started, no usiok or readyok within 10 s, exits early, no bestmove in "
    "time).",
    "2: an unknown option, options that do not go together, or a position, record or move that "
    "cannot be read or played (the message names the option or the move and what to do).",
};

// One name of an option as typed: "--fv=" for an option with a value.
struct OptionName {
  std::string name;      // "-C", "--fv=", "--pieces", "--serve"
  bool separate = false;  // the value is the next word (-C DIR)
};

// The names an option's usage gives ("--serve[=ADDR:PORT]" gives --serve and --serve=).
std::vector<OptionName> Names(const OptionDoc& option) {
  std::vector<OptionName> names;
  std::string usage = option.usage;
  size_t start = 0;
  while (start < usage.size()) {
    size_t end = usage.find(", ", start);
    if (end == std::string::npos) end = usage.size();
    const std::string part = usage.substr(start, end - start);
    const size_t bracket = part.find("[=");
    const size_t equals = part.find('=');
    const size_t blank = part.find(' ');
    if (bracket != std::string::npos) {
      names.push_back({part.substr(0, bracket), false});
      names.push_back({part.substr(0, bracket) + "=", false});
    } else if (equals != std::string::npos) {
      names.push_back({part.substr(0, equals + 1), false});
    } else if (blank != std::string::npos) {
      names.push_back({part.substr(0, blank), true});
    } else {
      names.push_back({part, false});
    }
    start = end + 2;
  }
  return names;
}

// text for Markdown outside code: '*' and '_' escaped.
std::string Markdown(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '*' || c == '_' || c == '<') out += '\\';
    out += c;
  }
  return out;
}

// text for roff: backslashes and hyphens escaped, no line starting with a control character.
std::string Roff(const std::string& text) {
  std::string out = text.empty() || (text[0] != '.' && text[0] != '\'') ? "" : "\\&";
  for (char c : text) {
    if (c == '\\') {
      out += "\\e";
    } else if (c == '-') {
      out += "\\-";
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace

std::string CommandLineReference() {
  std::string out =
      "# The command line\n"
      "\n"
      "<!-- Made by build/make_docs from the option table in app/command_line.cc; "
      "a test fails when it differs. -->\n"
      "\n"
      "    " +
      std::string(kSynopsis) + "\n\n";
  for (const char* paragraph : kDescription) out += Markdown(paragraph) + "\n\n";
  out += "## Options\n\n";
  for (const OptionDoc& option : OptionDocs()) {
    out += "### `" + std::string(option.usage) + "`\n\n";
    out += Markdown(option.detail) + "\n\n";
    if (*option.takes != '\0') out += "- Takes: " + Markdown(option.takes) + "\n";
    if (*option.default_value != '\0') {
      out += "- Default: " + Markdown(option.default_value) + "\n";
    }
    if (*option.refused_with != '\0') {
      out += "- Refused with: " + Markdown(option.refused_with) + "\n";
    }
    if (*option.takes != '\0' || *option.default_value != '\0' || *option.refused_with != '\0') {
      out += "\n";
    }
  }
  out += "## Exit status\n\n";
  for (const char* line : kExitStatus) out += "- " + Markdown(line) + "\n";
  out += "\n## See also\n\n"
         "`fvscope --help` prints the same options in short; `man fvscope` is this page.\n";
  return out;
}

std::string ManPage() {
  std::string out = ".\\\" Made by build/make_docs from the option table in app/command_line.cc.\n";
  out += ".TH FVSCOPE 1 \"\" \"fvscope " + std::string(kVersion) + "\" \"User Commands\"\n";
  out += ".SH NAME\n" + Roff(kName) + "\n";
  out += ".SH SYNOPSIS\n.B fvscope\n[\\fIoptions\\fR] [\\fISORT_MODE\\fR "
         "[\\fISCAN_KING_SQUARE\\fR]]\n";
  out += ".SH DESCRIPTION\n";
  bool first = true;
  for (const char* paragraph : kDescription) {
    if (!first) out += ".PP\n";
    out += Roff(paragraph) + "\n";
    first = false;
  }
  out += ".SH OPTIONS\n";
  for (const OptionDoc& option : OptionDocs()) {
    out += ".TP\n.B " + Roff(option.usage) + "\n" + Roff(option.detail) + "\n";
    if (*option.takes != '\0') out += ".br\nTakes: " + Roff(option.takes) + "\n";
    if (*option.default_value != '\0') {
      out += ".br\nDefault: " + Roff(option.default_value) + "\n";
    }
    if (*option.refused_with != '\0') {
      out += ".br\nRefused with: " + Roff(option.refused_with) + "\n";
    }
  }
  out += ".SH EXIT STATUS\n";
  for (const char* line : kExitStatus) out += ".TP\n" + Roff(std::string(line, 1)) + "\n" +
                                                Roff(line + 3) + "\n";
  out += ".SH FILES\n"
         "The working folder (\\-C) holds fv.bin, engine, img/, log/ and report.html; "
         "share/fvscope/img holds the piece pictures. A KPPT set's identity, once summed, is "
         "remembered in $XDG_CACHE_HOME/fvscope (else ~/.cache/fvscope) for as long as its "
         "files stay the same.\n";
  out += ".SH SEE ALSO\n"
         "The reference in the docs/ folder of the source: command\\-line.md, outputs.md, "
         "json.md, inputs.md, corpora.md, server.md, explorer.md, performance.md, design.md.\n";
  return out;
}

std::string BashCompletion() {
  std::string names, with_values, cases;
  for (const OptionDoc& option : OptionDocs()) {
    for (const OptionName& name : Names(option)) {
      if (name.separate) continue;
      names += (names.empty() ? "" : " ") + name.name;
      if (name.name.back() != '=' || *option.complete == '\0') continue;
      const std::string complete = option.complete;
      const std::string action = complete == "file"      ? "compgen -f -- \"$cur\""
                                 : complete == "dir"     ? "compgen -d -- \"$cur\""
                                 : complete == "command" ? "compgen -c -- \"$cur\""
                                                         : "compgen -W \"" + complete +
                                                               "\" -- \"$cur\"";
      const std::string filenames =
          complete == "file" || complete == "dir" ? "      compopt -o filenames 2>/dev/null\n" : "";
      cases += "    " + name.name.substr(0, name.name.size() - 1) + ")\n" + filenames +
               "      COMPREPLY=($(" + action + "))\n      return ;;\n";
    }
  }
  return "# bash completion of fvscope's options and their values.\n"
         "# Made by build/make_docs from the option table in app/command_line.cc.\n"
         "_fvscope() {\n"
         "  local cur=${COMP_WORDS[COMP_CWORD]} option=\"\"\n"
         "  # bash splits --name=value at the '=' into three words.\n"
         "  if [[ $cur == = ]]; then\n"
         "    option=${COMP_WORDS[COMP_CWORD-1]} cur=\"\"\n"
         "  elif [[ $COMP_CWORD -ge 2 && ${COMP_WORDS[COMP_CWORD-1]} == = ]]; then\n"
         "    option=${COMP_WORDS[COMP_CWORD-2]}\n"
         "  elif [[ $COMP_CWORD -ge 1 && ${COMP_WORDS[COMP_CWORD-1]} == -C ]]; then\n"
         "    option=-C\n"
         "  fi\n"
         "  case $option in\n"
         "    -C)\n"
         "      compopt -o filenames 2>/dev/null\n"
         "      COMPREPLY=($(compgen -d -- \"$cur\"))\n"
         "      return ;;\n" +
         cases +
         "    --*)\n"
         "      COMPREPLY=()\n"
         "      return ;;\n"
         "  esac\n"
         "  if [[ $cur == -* ]]; then\n"
         "    COMPREPLY=($(compgen -W \"" + names + "\" -- \"$cur\"))\n"
         "    [[ ${COMPREPLY[0]} == *= ]] && compopt -o nospace 2>/dev/null\n"
         "  else\n"
         "    # the sort mode: 0 by magnitude, 1 most positive first, 2 most negative first\n"
         "    COMPREPLY=($(compgen -W \"0 1 2\" -- \"$cur\"))\n"
         "  fi\n"
         "}\n"
         "complete -F _fvscope fvscope\n";
}

}  // namespace fvscope
