// Starts outside programs the way a command prompt would: finds the program
// (as written, along PATH, or beside the manager), wraps anything that is not
// an .EXE into the command interpreter, re-quotes arguments that hold blanks
// or tabs by the rules the C runtime splits them by.
#pragma once

#include <cstddef>

constexpr size_t kTokenSize = 260;        // token buffers: 259 bytes and NUL
constexpr size_t kCommandLineSize = 528;  // the rebuilt command line

// Writes the next token of source (split at any byte of delimiters outside
// double quotes, never at the second byte of a double-byte character; quotes
// removed; at most 259 bytes) into token, a buffer of at least kTokenSize.
// Returns where scanning stopped, for the next call; null when no token is
// left (token is then empty).
const char* NextToken(const char* source, char* token, const char* delimiters);

// What building a command line needs of the outside world, so the rules can
// be tested without starting anything.
class CommandEnvironment {
 public:
  virtual ~CommandEnvironment() = default;
  // getenv; null when not set.
  virtual const char* Variable(const char* name) = 0;
  // _access(path, 4) == 0: the file exists and may be read.
  virtual bool IsReadable(const char* path) = 0;
  // _chdir; result not looked at.
  virtual void ChangeDirectory(const char* path) = 0;
  // The manager's own folder, ending in a backslash; empty when unknown.
  virtual const char* ExecutableFolder() = 0;
};

struct BuiltCommand {
  char commandLine[kCommandLineSize];
  bool hidden;                 // show 0: no window, no console
  unsigned long creationFlags; // CREATE_NO_WINDOW or NORMAL_PRIORITY_CLASS
  int showWindow;              // SW_ value for the startup record; -1 for none
};

constexpr size_t kStartCommandSize = 528;  // one monitor's start command

// "\"<program>\" \"<watched path>\"" into command (kStartCommandSize bytes).
// -1, with command empty, when it would not fit, or when a path holds a
// double quote or is longer than a token (259 bytes): never a cut path, and
// never one path that reaches the monitor as several arguments.
int FormatStartCommand(char* command, size_t size, const char* program, const char* watchedPath);

// The command that ends every console monitor of the user and no other
// user's: the system's own task-kill by its full path,
// "\"<systemFolder>\TASKKILL.exe\" /F /FI \"USERNAME eq <userName>\" /IM MURVEX.EXE",
// never a program of that name found along PATH or beside the manager.
// -1, with command empty, when systemFolder or userName is empty, the name
// holds a double quote, or it would not fit.
int FormatStopCommand(char* command, size_t size, const char* systemFolder, const char* userName);

// Builds the command line RunCommand would hand to CreateProcessA.
// 0 on success; -1 when the command is null or shorter than 4 bytes, when
// "windir" is needed but not set, when a bare program name must be looked for
// beside the manager but its folder is unknown, or when a path or the command
// line would not fit its buffer (refused rather than cut).
int BuildCommandLine(const char* command, int show, CommandEnvironment& environment, BuiltCommand* built);

// Builds the command line with the real environment and creates the process
// (show 0: hidden, no console; 1: a console of its own, shown as the system
// chooses; any other value: such a console, shown as that SW_ value says).
// Returns 0 when the process was created, -1 when nothing was started. Never
// waits. Windows only.
int RunCommand(const char* command, int show);

// As RunCommand, then waits up to timeoutMs (INFINITE: however long it takes)
// for the process to end while handling the calling thread's messages, so its
// windows keep answering.
// 0 when it ended in time, 1 when it still runs (or the thread is asked to
// quit), -1 when nothing was started.
int RunCommandAndWait(const char* command, int show, unsigned long timeoutMs);

// The manager's own folder with its trailing backslash, from its module path
// (filled on first need); empty when that path has no exact form in the ANSI
// code page or does not fit 259 bytes. Windows only.
const char* ExecutableFolder();
