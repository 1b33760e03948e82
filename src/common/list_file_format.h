// Computer list files: plain text, one computer a line, the name first and
// anything after it ignored (an exported file carries a tab and the type).
// The reading keeps the old line rules exactly: a line is taken in pieces of
// at most 259 bytes (the rest of a longer line counts as a line of its own),
// and the name is the first run of non-blank bytes, of which at most 17 are
// kept. Cuts never split a UTF-8 character. A UTF-8 byte order mark at the
// very start is dropped.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace corvid {

inline constexpr size_t kListLinePiece = 259;
inline constexpr size_t kListNameToken = 17;

// The names of a list file's bytes, in order, duplicates kept.
std::vector<std::string> ParseComputerNames(std::string_view bytes);

// Reads an open file to its end and parses it.
std::vector<std::string> ReadComputerNames(std::FILE* file);

}  // namespace corvid
