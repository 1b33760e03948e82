#include "common/list_file_format.h"

#include "platform/base/text.h"

namespace corvid {
namespace {

// The blanks of the C locale's isspace, which the token scan has always used.
bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace

std::vector<std::string> ParseComputerNames(std::string_view bytes) {
  // Editors that save UTF-8 put a byte order mark first; UTF-8 stands for
  // the ANSI code page here, so the mark is no part of the first name.
  if (bytes.starts_with("\xEF\xBB\xBF")) bytes.remove_prefix(3);
  std::vector<std::string> names;
  size_t pos = 0;
  // The next line feed at or after pos, kept across pieces: searching anew
  // for every piece of a long line made a file without line feeds quadratic.
  size_t lineFeed = bytes.find('\n');
  while (pos < bytes.size()) {
    if (lineFeed < pos) lineFeed = bytes.find('\n', pos);
    // One piece: through the next line feed, or 259 bytes at the most.
    std::string_view rest = bytes.substr(pos);
    size_t length = lineFeed == std::string_view::npos ? rest.size() : lineFeed - pos + 1;
    if (length > kListLinePiece) {
      length = platform::Utf8Prefix(rest, kListLinePiece);
      if (length == 0) length = kListLinePiece;  // cannot happen for sane text; never stall
    }
    std::string_view piece = rest.substr(0, length);
    pos += length;

    // A NUL ends the text the token scan sees.
    piece = piece.substr(0, piece.find('\0'));
    size_t start = 0;
    while (start < piece.size() && IsBlank(piece[start])) ++start;
    size_t end = start;
    while (end < piece.size() && !IsBlank(piece[end])) ++end;
    if (end == start) continue;
    names.emplace_back(platform::Utf8Cut(piece.substr(start, end - start), kListNameToken));
  }
  return names;
}

std::vector<std::string> ReadComputerNames(std::FILE* file) {
  std::string bytes;
  char buffer[4096];
  size_t n = 0;
  while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes.append(buffer, n);
  return ParseComputerNames(bytes);
}

}  // namespace corvid
