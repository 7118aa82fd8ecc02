// NextToken and the command-line building of RunCommand over arbitrary
// commands and environments ("windir", "PATH", the manager's folder, which
// candidates are readable). NextToken must agree with its rules written out
// plainly; the built line must fit its buffer and split back into the same
// arguments: by the rules a started program's C runtime splits argv by (any
// bytes), or, through the command interpreter, by the tokenizer (for
// well-formed Shift-JIS).
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "CommandRunner.h"
#include "DoubleByteText.h"
#include "RuntimeArguments.h"

namespace {

// The tokenizer's rules, one byte at a time, with IsTrailByteAt deciding
// trail positions from the start of the source.
const char* PlainNextToken(const char* source, const char* delimiters, std::string* token) {
  token->clear();
  if (source == nullptr || source[0] == '\0') return nullptr;
  bool inQuotes = false, started = false;
  size_t i = 0;
  for (; source[i] != '\0'; ++i) {
    if (token->size() == kTokenSize - 1) break;
    char c = source[i];
    if (c == '"') {
      inQuotes = !inQuotes;
      if (inQuotes) started = true;
    } else if (inQuotes) {
      *token += c;
    } else if (strchr(delimiters, c) != nullptr && !IsTrailByteAt(source, i)) {
      if (started) break;
    } else {
      *token += c;
      started = true;
    }
  }
  return token->empty() ? nullptr : source + i;
}

std::vector<std::string> Split(const char* source, const char* delimiters) {
  std::vector<std::string> tokens;
  char token[kTokenSize];
  while ((source = NextToken(source, token, delimiters)) != nullptr) tokens.push_back(token);
  return tokens;
}

// Every lead byte followed by a proper second byte (40-7E, 80-FC).
bool WellFormedShiftJis(const std::string& text) {
  for (size_t i = 0; i < text.size(); ++i) {
    if (!IsLeadByte(static_cast<unsigned char>(text[i]))) continue;
    if (i + 1 >= text.size()) return false;
    unsigned char trail = static_cast<unsigned char>(text[++i]);
    if (trail < 0x40 || trail == 0x7F || trail > 0xFC) return false;
  }
  return true;
}

class FuzzedEnvironment : public CommandEnvironment {
 public:
  std::string windir, path, folder;
  bool hasWindir = false, hasPath = false;
  uint8_t readableMask = 0;
  std::vector<std::string> directories;
  const char* Variable(const char* name) override {
    if (strcmp(name, "windir") == 0) return hasWindir ? windir.c_str() : nullptr;
    if (strcmp(name, "PATH") == 0) return hasPath ? path.c_str() : nullptr;
    abort();  // nothing else is read
  }
  bool IsReadable(const char* candidate) override {
    if (strlen(candidate) >= kPathBufferSize) abort();
    return (readableMask >> (strlen(candidate) % 8) & 1u) != 0;
  }
  void ChangeDirectory(const char* directory) override { directories.push_back(directory); }
  const char* ExecutableFolder() override { return folder.c_str(); }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  static const char* const kDelimiterSets[] = {" ", "; ", ":\\"};
  FuzzedEnvironment environment;
  environment.hasWindir = input.ConsumeIntegralInRange<int>(0, 7) != 0;
  environment.hasPath = input.ConsumeIntegralInRange<int>(0, 7) != 0;
  environment.readableMask = input.ConsumeIntegral<uint8_t>();
  int show = input.ConsumeIntegralInRange<int>(0, 2);
  environment.windir = input.ConsumeRandomLengthString(300);
  environment.path = input.ConsumeRandomLengthString(600);
  environment.folder = input.ConsumeRandomLengthString(300);
  std::string command = input.ConsumeRemainingBytesAsString();
  // What the environment and the command can hold: text up to a NUL.
  for (std::string* text : {&command, &environment.windir, &environment.path, &environment.folder}) {
    *text = text->substr(0, text->find('\0'));
  }
  if (environment.windir.empty()) environment.windir = "C:\\Windows";
  if (environment.folder.empty()) environment.folder = "C:\\Apps\\";

  // The tokenizer against its plain rules, for every delimiter set.
  for (const char* delimiters : kDelimiterSets) {
    const char* at = command.c_str();
    const char* plainAt = command.c_str();
    char token[kTokenSize];
    for (;;) {
      std::string plain;
      const char* next = NextToken(at, token, delimiters);
      const char* plainNext = PlainNextToken(plainAt, delimiters, &plain);
      if ((next == nullptr) != (plainNext == nullptr) || plain != token) abort();
      if (next == nullptr) {
        if (token[0] != '\0') abort();
        break;
      }
      if (next - command.c_str() != plainNext - command.c_str() || next <= at) abort();
      if (next > command.c_str() + command.size()) abort();
      at = next;
      plainAt = plainNext;
    }
  }

  BuiltCommand built;
  memset(&built, 0x55, sizeof built);
  int result = BuildCommandLine(command.c_str(), show, environment, &built);
  if (result != 0) {
    if (result != -1 || !environment.directories.empty()) abort();  // a refusal changes nothing
    return 0;
  }
  size_t length = strnlen(built.commandLine, kCommandLineSize);
  if (length >= kCommandLineSize) abort();
  if (built.hidden != (show == 0) || built.creationFlags != (show == 0 ? 0x08000000UL : 0x20UL)) abort();

  // Arguments come back whole: unquoted when they hold no blank, quoted
  // when they do, so splitting the line again gives the same arguments.
  std::vector<std::string> arguments = Split(command.c_str(), " ");
  if (arguments.empty()) return 0;
  // A quoted argument of 258 bytes or more is longer than one token: the
  // tokenizer cannot read it back whole (a started process's runtime can).
  for (const std::string& argument : arguments) {
    if (argument.size() >= kTokenSize - 2) return 0;
  }
  bool interpreter = environment.directories.size() == 1;
  std::string prefix = std::string(environment.windir) + "\\SYSTEM32\\CMD.EXE /C";
  std::vector<std::string> rebuilt;
  if (interpreter) {
    if (strncmp(built.commandLine, prefix.c_str(), prefix.size()) != 0) abort();
    if (!WellFormedShiftJis(command) || !WellFormedShiftJis(environment.windir)) return 0;
    rebuilt = Split(built.commandLine + prefix.size(), " ");
    if (arguments.size() > 15) arguments.resize(15);
    arguments[0] = FileNameOfPath(arguments[0].c_str());
    if (arguments[0].empty()) return 0;  // a folder name: nothing is left to pass
  } else {
    if (!environment.directories.empty()) abort();
    if (!WellFormedShiftJis(environment.folder) || !WellFormedShiftJis(environment.path) ||
        environment.folder.find('"') != std::string::npos) {
      return 0;
    }
    // The same holds for the program path once a folder is put before it.
    const char* closing = built.commandLine[0] == '"' ? strchr(built.commandLine + 1, '"') : nullptr;
    if (closing != nullptr && static_cast<size_t>(closing - built.commandLine - 1) >= kTokenSize - 2) return 0;
    // Started directly, the program's C runtime splits the line.
    std::vector<std::string> all = SplitLikeTheCRuntime(built.commandLine);
    std::string program = all[0];
    // The program keeps its name; only a folder may have been put before it.
    if (program.size() < arguments[0].size() ||
        program.compare(program.size() - arguments[0].size(), std::string::npos, arguments[0]) != 0) {
      fprintf(stderr, "program [%s] lost its name [%s]\n", program.c_str(), arguments[0].c_str());
      abort();
    }
    rebuilt.assign(all.begin() + 1, all.end());
    arguments.erase(arguments.begin());
    if (arguments.size() > 15) arguments.resize(15);
  }
  if (rebuilt != arguments) {
    fprintf(stderr, "command line does not split back into its arguments: %s\n", built.commandLine);
    abort();
  }
  return 0;
}
