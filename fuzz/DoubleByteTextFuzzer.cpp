// The double-byte helpers over arbitrary byte strings, against their rules
// written out plainly: a position is a second byte when a walk from the
// start (two bytes from a lead byte, one otherwise) steps over it.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "DoubleByteText.h"

namespace {

// Character starts of text (up to its NUL): the positions the walk lands on.
std::vector<bool> CharacterStarts(const std::string& text) {
  std::vector<bool> starts(text.size() + 1, false);
  size_t i = 0;
  while (i < text.size()) {
    starts[i] = true;
    i += IsLeadByte(static_cast<unsigned char>(text[i])) ? 2 : 1;
  }
  return starts;
}

const char* PlainFindLast(const char* text, const std::vector<bool>& starts, size_t length, char c) {
  for (size_t i = length; i-- > 0;) {
    if (text[i] == c && starts[i]) return text + i;
  }
  return nullptr;
}

const char* PlainFindFirst(const char* text, const std::vector<bool>& starts, size_t length, char c) {
  for (size_t i = 0; i < length; ++i) {
    if (text[i] == c && starts[i]) return text + i;
  }
  return nullptr;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  char wanted = static_cast<char>(input.ConsumeIntegral<uint8_t>());
  std::string raw = input.ConsumeRemainingBytesAsString();
  const char* text = raw.c_str();
  size_t length = strlen(text);
  std::string content(text, length);
  std::vector<bool> starts = CharacterStarts(content);

  for (size_t i = 0; i <= length + 1 && i < raw.size() + 1; ++i) {
    int expected = i < length && !starts[i] ? 1 : 0;
    if (IsTrailByteAt(text, i) != expected) abort();
  }
  if (wanted != '\0' && FindLastChar(text, wanted) != PlainFindLast(text, starts, length, wanted)) abort();
  if (FindFirstSpace(text) != PlainFindFirst(text, starts, length, ' ')) abort();

  // Path parts work on the first 259 bytes.
  std::string cut = content.substr(0, kPathBufferSize - 1);
  std::vector<bool> cutStarts = CharacterStarts(cut);
  const char* separator = PlainFindLast(cut.c_str(), cutStarts, cut.size(), '\\');
  std::string name = separator != nullptr ? std::string(separator + 1) : cut;
  const char* fileName = FileNameOfPath(text);
  if (strlen(fileName) >= kPathBufferSize || name != fileName) abort();
  const char* folder = FolderOfPath(text);
  if (folder != text) {  // text itself when it names a directory
    std::string expected = separator != nullptr ? cut.substr(0, static_cast<size_t>(separator - cut.c_str()) + 1) : ".\\";
    if (expected != folder) abort();
  } else if (!IsDirectory(text)) {
    abort();
  }
  return 0;
}
