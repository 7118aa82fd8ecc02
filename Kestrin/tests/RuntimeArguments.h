// How a started program's C runtime splits its command line into argv, for
// checking that every argument the runner writes comes back as written.
#pragma once

#include <string>
#include <vector>

// argv of line by the C runtime's rules: the program's name up to a blank
// outside quotes, quotes removed, no escapes; then each argument up to a
// blank or tab outside quotes, where 2n backslashes and a quote give n
// backslashes and quote or unquote, 2n + 1 and a quote give n and a literal
// quote, and "" inside quotes is a literal quote. The monitor splits its wide
// command line, so in UTF-8 every byte 0x20, 0x09, 0x22 and 0x5C is itself.
inline std::vector<std::string> SplitLikeTheCRuntime(const char* line) {
  std::vector<std::string> argv;
  const char* p = line;
  auto takeCharacter = [&p](std::string& into) { into += *p++; };
  std::string program;
  for (bool quoted = false; *p != '\0' && (quoted || (*p != ' ' && *p != '\t'));) {
    if (*p == '"') {
      quoted = !quoted;
      ++p;
    } else {
      takeCharacter(program);
    }
  }
  argv.push_back(program);
  for (;;) {
    while (*p == ' ' || *p == '\t') ++p;
    if (*p == '\0') break;
    std::string argument;
    for (bool quoted = false;;) {
      size_t backslashes = 0;
      while (*p == '\\') ++backslashes, ++p;
      if (*p == '"') {
        argument.append(backslashes / 2, '\\');
        if (backslashes % 2 == 1) {
          argument += '"';
        } else if (quoted && p[1] == '"') {
          argument += '"';
          ++p;
        } else {
          quoted = !quoted;
        }
        ++p;
        continue;
      }
      argument.append(backslashes, '\\');
      if (*p == '\0' || (!quoted && (*p == ' ' || *p == '\t'))) break;
      takeCharacter(argument);
    }
    argv.push_back(argument);
  }
  return argv;
}
