#include "CommandRunner.h"

#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "DoubleByteText.h"

const char* NextToken(const char* source, char* token, const char* delimiters) {
  token[0] = '\0';
  if (source == nullptr || source[0] == '\0') return nullptr;
  bool inQuotes = false;
  bool started = false;
  size_t written = 0;
  size_t characterStart = 0;  // where the walk from the first byte lands next
  const char* stop = source;
  for (;;) {
    size_t i = static_cast<size_t>(stop - source);
    unsigned char byte = static_cast<unsigned char>(source[i]);
    if (byte == '\0' || written == kTokenSize - 1) break;
    bool isTrail = (i != characterStart);
    if (!isTrail) characterStart = i + (IsLeadByte(byte) ? 2 : 1);
    if (byte == '"') {
      inQuotes = !inQuotes;
      if (inQuotes) started = true;
    } else if (inQuotes) {
      token[written++] = static_cast<char>(byte);
    } else if (!isTrail && std::strchr(delimiters, byte) != nullptr) {
      if (started) break;
    } else {
      token[written++] = static_cast<char>(byte);
      started = true;
    }
    ++stop;
  }
  token[written] = '\0';
  return written == 0 ? nullptr : stop;
}

namespace {

constexpr int kSlotCount = 16;
const char kInterpreterFormat[] = "%s\\SYSTEM32\\CMD.EXE /C";

bool EndsInExe(const char* token) {
  size_t length = std::strlen(token);
  if (length < 3) return false;
  const char* tail = token + length - 3;
  for (int i = 0; i < 3; ++i) {
    char c = tail[i];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c != "EXE"[i]) return false;
  }
  return true;
}

// Copies text into a kTokenSize buffer; false when it would not fit whole.
bool CopyWhole(char* slot, const char* text) {
  size_t length = std::strlen(text);
  if (length >= kTokenSize) return false;
  std::memcpy(slot, text, length + 1);
  return true;
}

// Looks for program along the PATH; replaces it by the first readable
// candidate. Candidates too long for the buffer are skipped, never cut.
void SearchPath(char* program, CommandEnvironment& environment) {
  const char* path = environment.Variable("PATH");
  if (path == nullptr) path = ".\\";
  char element[kTokenSize];
  char candidate[kPathBufferSize];
  const char* position = path;
  while ((position = NextToken(position, element, "; ")) != nullptr) {
    const char* lastBackslash = FindLastChar(element, '\\');
    size_t length = std::strlen(element);
    const char* separator = (lastBackslash == element + length - 1) ? "" : "\\";
    int n = std::snprintf(candidate, sizeof candidate, "%s%s%s", element, separator, program);
    if (n < 0 || static_cast<size_t>(n) >= sizeof candidate) continue;
    if (environment.IsReadable(candidate)) {
      std::memcpy(program, candidate, static_cast<size_t>(n) + 1);
      return;
    }
  }
}

bool Append(char* line, size_t& used, const char* text) {
  size_t length = std::strlen(text);
  if (used + length >= kCommandLineSize) return false;
  std::memcpy(line + used, text, length + 1);
  used += length;
  return true;
}

// Whether the C runtime would end an argument inside text: at a blank or a
// tab. Paths are UTF-8, where every 0x20 and 0x09 is one.
bool SplitsAtBlank(const char* text) { return std::strpbrk(text, " \t") != nullptr; }

// Appends one argument (no double quote in it: the tokenizer took them out)
// so that it is read back as exactly that: quoted when it holds a blank or a
// tab. For a program's C runtime the backslashes before the closing quote
// are doubled, which would otherwise escape it; the command interpreter
// takes backslashes as they are. In UTF-8 every 0x5C is a backslash.
bool AppendArgument(char* line, size_t& used, const char* argument, bool runtimeRules) {
  if (!SplitsAtBlank(argument)) return Append(line, used, argument);
  size_t length = std::strlen(argument);
  size_t backslashes = 0;
  while (runtimeRules && backslashes < length && argument[length - 1 - backslashes] == '\\') ++backslashes;
  if (!Append(line, used, "\"") || !Append(line, used, argument)) return false;
  for (size_t i = 0; i < backslashes; ++i) {
    if (!Append(line, used, "\\")) return false;
  }
  return Append(line, used, "\"");
}

}  // namespace

int BuildCommandLine(const char* command, int show, CommandEnvironment& environment, BuiltCommand* built) {
  if (command == nullptr || std::strlen(command) < 4 || built == nullptr) return -1;
  char slots[kSlotCount][kTokenSize];
  std::memset(slots, 0, sizeof slots);

  int first = 0;
  bool interpreter = false;
  if (NextToken(command, slots[0], " ") != nullptr && !EndsInExe(slots[0])) {
    const char* windir = environment.Variable("windir");
    if (windir == nullptr) return -1;
    int n = std::snprintf(slots[0], kTokenSize, kInterpreterFormat, windir);
    if (n < 0 || static_cast<size_t>(n) >= kTokenSize) return -1;
    interpreter = true;
    first = 1;
  }

  char workingFolder[kPathBufferSize] = "";
  const char* position = command;
  for (int k = first; k < kSlotCount; ++k) {
    position = NextToken(position, slots[k], " ");
    if (position == nullptr) break;
    if (!interpreter && k == 0 && FindLastChar(slots[0], '\\') == nullptr) {
      SearchPath(slots[0], environment);
      if (FindLastChar(slots[0], '\\') == nullptr) {
        // Never a program of that name from wherever the process stands.
        if (environment.ExecutableFolder()[0] == '\0') return -1;
        char joined[kTokenSize];
        int n = std::snprintf(joined, sizeof joined, "%s%s", environment.ExecutableFolder(), slots[0]);
        if (n < 0 || static_cast<size_t>(n) >= sizeof joined) return -1;
        std::memcpy(slots[0], joined, static_cast<size_t>(n) + 1);
      }
    } else if (interpreter && k == 1) {
      std::snprintf(workingFolder, sizeof workingFolder, "%s", FolderOfPath(slots[1]));
      if (!CopyWhole(slots[1], FileNameOfPath(slots[1]))) return -1;
    }
  }

  char* line = built->commandLine;
  line[0] = '\0';
  size_t used = 0;
  // Only the interpreter prefix stays bare. The program's name is read up to
  // its closing quote, backslashes and all.
  bool quoteProgram = !interpreter && SplitsAtBlank(slots[0]);
  if (quoteProgram) {
    if (!Append(line, used, "\"") || !Append(line, used, slots[0]) || !Append(line, used, "\"")) return -1;
  } else if (!Append(line, used, slots[0])) {
    return -1;
  }
  for (int k = 1; k < kSlotCount && slots[k][0] != '\0'; ++k) {
    if (!Append(line, used, " ") || !AppendArgument(line, used, slots[k], !interpreter)) return -1;
  }

  // Moved only once the command is accepted, so a refusal has no effect.
  if (interpreter) environment.ChangeDirectory(workingFolder);
  built->hidden = show == 0;
  built->creationFlags = show == 0 ? 0x08000000UL : 0x20UL;
  built->showWindow = show == 0 ? 0 /* SW_HIDE */ : show == 1 ? -1 : show;
  return 0;
}

int FormatStopCommand(char* command, size_t size, const char* systemFolder, const char* userName) {
  if (command == nullptr || size == 0) return -1;
  command[0] = '\0';
  if (systemFolder == nullptr || systemFolder[0] == '\0') return -1;
  // Without the filter an elevated manager would end every user's monitors.
  if (userName == nullptr || userName[0] == '\0' || std::strchr(userName, '"') != nullptr) return -1;
  size_t length = std::strlen(systemFolder);
  const char* separator = FindLastChar(systemFolder, '\\') == systemFolder + length - 1 ? "" : "\\";
  int n = std::snprintf(command, size, "\"%s%sTASKKILL.exe\" /F /FI \"USERNAME eq %s\" /IM MURVEX.EXE", systemFolder,
                        separator, userName);
  if (n < 0 || static_cast<size_t>(n) >= size) {
    command[0] = '\0';
    return -1;
  }
  return 0;
}

int FormatStartCommand(char* command, size_t size, const char* program, const char* watchedPath) {
  if (command == nullptr || size == 0) return -1;
  command[0] = '\0';
  // The tokenizer reads a quote only as quoting and takes at most 259 bytes a
  // token: either would make one path several arguments.
  for (const char* path : {program, watchedPath}) {
    if (std::strchr(path, '"') != nullptr || std::strlen(path) >= kTokenSize) return -1;
  }
  int n = std::snprintf(command, size, "\"%s\" \"%s\"", program, watchedPath);
  if (n < 0 || static_cast<size_t>(n) >= size) {
    command[0] = '\0';
    return -1;
  }
  return 0;
}
