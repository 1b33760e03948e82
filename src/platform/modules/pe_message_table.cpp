#include "platform/modules/pe_message_table.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <iterator>
#include <optional>

#include "platform/base/text.h"

namespace platform {
namespace {

constexpr WORD kMessageTableType = 11;  // RT_MESSAGETABLE
constexpr DWORD kMessageTableName = 1;
constexpr DWORD kSubdirectoryBit = 0x80000000u;
constexpr size_t kDirectoryHeader = 16;  // IMAGE_RESOURCE_DIRECTORY
constexpr size_t kDirectoryEntry = 8;    // IMAGE_RESOURCE_DIRECTORY_ENTRY
constexpr size_t kSectionHeader = 40;    // IMAGE_SECTION_HEADER
constexpr size_t kResourceDirectoryIndex = 2;

uint16_t Word(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Dword(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

struct Section {
  uint32_t virtualAddress;
  uint32_t virtualSize;
  uint32_t rawSize;
  uint32_t rawOffset;
};

// Where the image's relative virtual addresses lie in the file.
class ImageLayout {
 public:
  ImageLayout(const ByteSource& image, std::vector<Section> sections)
      : image_(image), sections_(std::move(sections)) {}

  // Reads `size` bytes at `rva`; they must lie within one section's bytes
  // in the file, as a loader would have mapped them.
  bool Read(uint64_t rva, void* out, size_t size) const {
    for (const Section& s : sections_) {
      if (rva < s.virtualAddress) continue;
      const uint64_t into = rva - s.virtualAddress;
      const uint64_t extent = s.virtualSize != 0 ? std::min(s.virtualSize, s.rawSize) : s.rawSize;
      if (into >= extent) continue;
      if (size > extent - into) return false;
      return image_.Read(static_cast<uint64_t>(s.rawOffset) + into, out, size);
    }
    return false;
  }

 private:
  const ByteSource& image_;
  std::vector<Section> sections_;
};

struct DirectoryEntry {
  uint32_t name;
  uint32_t offset;
};

std::optional<std::vector<DirectoryEntry>> ReadDirectory(const ImageLayout& layout, uint64_t rva) {
  uint8_t header[kDirectoryHeader];
  if (!layout.Read(rva, header, sizeof header)) return std::nullopt;
  const size_t count = static_cast<size_t>(Word(header + 12)) + Word(header + 14);
  std::vector<uint8_t> raw(count * kDirectoryEntry);
  if (count > 0 && !layout.Read(rva + kDirectoryHeader, raw.data(), raw.size())) return std::nullopt;
  std::vector<DirectoryEntry> entries(count);
  for (size_t i = 0; i < count; ++i) {
    entries[i] = {Dword(&raw[i * kDirectoryEntry]), Dword(&raw[i * kDirectoryEntry + 4])};
  }
  return entries;
}

// The subdirectory of the entry with numeric name `id`, as an RVA.
std::optional<uint64_t> FindSubdirectory(const std::vector<DirectoryEntry>& entries,
                                         uint64_t resourceRva, DWORD id) {
  for (const DirectoryEntry& e : entries) {
    if (e.name == id && (e.offset & kSubdirectoryBit) != 0) {
      return resourceRva + (e.offset & ~kSubdirectoryBit);
    }
  }
  return std::nullopt;
}

// Code points 0x80..0x9F of Windows-1252; the five it leaves undefined keep
// their C1 value, as Windows converts them.
constexpr std::array<char16_t, 32> kCp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};


constexpr WORD kUnicodeEntry = 0x0001;  // MESSAGE_RESOURCE_UNICODE
constexpr WORD kUtf8Entry = 0x0002;     // MESSAGE_RESOURCE_UTF8

// One MESSAGE_RESOURCE_ENTRY's text up to its terminator, as UTF-8.
std::string DecodeEntry(WORD flags, const uint8_t* text, size_t size) {
  if ((flags & kUnicodeEntry) != 0) {
    size_t units = 0;
    while (units + 1 < size && (text[units] != 0 || text[units + 1] != 0)) units += 2;
    return Utf16leToUtf8(text, units);
  }
  const size_t length = static_cast<size_t>(
      std::find(text, text + size, uint8_t{0}) - text);
  const std::string_view bytes(reinterpret_cast<const char*>(text), length);
  if (flags == kUtf8Entry) return std::string(bytes);
  return Cp1252ToUtf8(bytes);
}

// Walks a MESSAGE_RESOURCE_DATA. Every step is checked against the data's
// size, and every entry is at least its own header long, so a walk ends
// after at most size / 4 entries whatever the counts claim.
class MessageData {
 public:
  explicit MessageData(const std::vector<uint8_t>& data) : data_(data) {}

  LONG BlockCount(size_t& count) const {
    if (data_.size() < 4) return ERROR_INVALID_DATA;
    count = Dword(data_.data());
    if (count > (data_.size() - 4) / 12) return ERROR_INVALID_DATA;
    return ERROR_SUCCESS;
  }
  void Block(size_t index, DWORD& low, DWORD& high, DWORD& offset) const {
    const uint8_t* p = data_.data() + 4 + index * 12;
    low = Dword(p);
    high = Dword(p + 4);
    offset = Dword(p + 8);
  }
  // The entry at `offset`: its full length and its text.
  LONG Entry(uint64_t offset, size_t& length, std::string* text) const {
    if (offset > data_.size() || data_.size() - offset < 4) return ERROR_INVALID_DATA;
    const uint8_t* p = data_.data() + offset;
    length = Word(p);
    if (length < 4 || length > data_.size() - offset) return ERROR_INVALID_DATA;
    if (text != nullptr) *text = DecodeEntry(Word(p + 2), p + 4, length - 4);
    return ERROR_SUCCESS;
  }

 private:
  const std::vector<uint8_t>& data_;
};

}  // namespace

bool MemoryByteSource::Read(uint64_t offset, void* out, size_t size) const {
  if (offset > bytes_.size() || size > bytes_.size() - offset) return false;
  if (size > 0) std::memcpy(out, bytes_.data() + offset, size);
  return true;
}

std::string Cp1252ToUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char ch : text) {
    const auto byte = static_cast<uint8_t>(ch);
    if (byte < 0x80) {
      out += ch;
    } else if (byte < 0xA0) {
      AppendUtf8(out, kCp1252High[byte - 0x80]);
    } else {
      AppendUtf8(out, byte);
    }
  }
  return out;
}

LONG PeMessageTable::Read(const ByteSource& image, PeMessageTable& out) {
  out = PeMessageTable();
  const uint64_t fileSize = image.Size();

  uint8_t dos[64];
  if (!image.Read(0, dos, sizeof dos) || dos[0] != 'M' || dos[1] != 'Z') return ERROR_BAD_EXE_FORMAT;
  const uint64_t ntHeaders = Dword(dos + 0x3C);

  uint8_t coff[24];  // signature and IMAGE_FILE_HEADER
  if (!image.Read(ntHeaders, coff, sizeof coff) || std::memcmp(coff, "PE\0\0", 4) != 0) {
    return ERROR_BAD_EXE_FORMAT;
  }
  const size_t sectionCount = Word(coff + 6);
  const size_t optionalSize = Word(coff + 20);
  const uint64_t optional = ntHeaders + sizeof coff;

  uint8_t magic[2];
  if (!image.Read(optional, magic, sizeof magic)) return ERROR_BAD_EXE_FORMAT;
  size_t directories = 0;  // offset of the data directories in the optional header
  if (Word(magic) == 0x10b) {
    directories = 96;
  } else if (Word(magic) == 0x20b) {
    directories = 112;
    out.pe32Plus_ = true;
  } else {
    return ERROR_BAD_EXE_FORMAT;
  }
  if (optionalSize < directories) return ERROR_BAD_EXE_FORMAT;
  std::vector<uint8_t> header(optionalSize);
  if (!image.Read(optional, header.data(), header.size())) return ERROR_BAD_EXE_FORMAT;

  const uint64_t sectionTable = optional + optionalSize;
  if (sectionTable > fileSize || sectionCount > (fileSize - sectionTable) / kSectionHeader) {
    return ERROR_BAD_EXE_FORMAT;
  }
  std::vector<uint8_t> rawSections(sectionCount * kSectionHeader);
  if (sectionCount > 0 && !image.Read(sectionTable, rawSections.data(), rawSections.size())) {
    return ERROR_BAD_EXE_FORMAT;
  }
  std::vector<Section> sections(sectionCount);
  for (size_t i = 0; i < sectionCount; ++i) {
    const uint8_t* s = &rawSections[i * kSectionHeader];
    sections[i] = {Dword(s + 12), Dword(s + 8), Dword(s + 16), Dword(s + 20)};
  }

  // From here on the image is one: what is missing or broken in its
  // resources only means it has no message table to offer.
  const uint32_t directoryCount = Dword(&header[directories - 4]);
  const size_t resourceEntry = directories + kResourceDirectoryIndex * 8;
  if (directoryCount <= kResourceDirectoryIndex || optionalSize < resourceEntry + 8) {
    return ERROR_SUCCESS;
  }
  const uint64_t resourceRva = Dword(&header[resourceEntry]);
  if (resourceRva == 0) return ERROR_SUCCESS;

  const ImageLayout layout(image, std::move(sections));
  const auto types = ReadDirectory(layout, resourceRva);
  if (!types) return ERROR_SUCCESS;
  out.missing_ = ERROR_RESOURCE_TYPE_NOT_FOUND;
  const auto namesRva = FindSubdirectory(*types, resourceRva, kMessageTableType);
  if (!namesRva) return ERROR_SUCCESS;
  const auto names = ReadDirectory(layout, *namesRva);
  if (!names) return ERROR_SUCCESS;
  out.missing_ = ERROR_RESOURCE_NAME_NOT_FOUND;
  const auto languagesRva = FindSubdirectory(*names, resourceRva, kMessageTableName);
  if (!languagesRva) return ERROR_SUCCESS;
  const auto languages = ReadDirectory(layout, *languagesRva);
  if (!languages) return ERROR_SUCCESS;
  out.missing_ = ERROR_RESOURCE_LANG_NOT_FOUND;

  // Genuine tables never share bytes, so all of them together fit in the
  // file; a crafted image that points many languages at one large block
  // gets no more than that.
  uint64_t budget = fileSize;
  for (const DirectoryEntry& e : *languages) {
    if ((e.name & 0xFFFF0000u) != 0 || (e.offset & kSubdirectoryBit) != 0) continue;
    const WORD id = static_cast<WORD>(e.name);
    if (out.TableFor(id) != nullptr) continue;
    Table table;
    table.language = id;
    uint8_t dataEntry[16];  // IMAGE_RESOURCE_DATA_ENTRY
    if (layout.Read(resourceRva + e.offset, dataEntry, sizeof dataEntry)) {
      const uint32_t size = Dword(dataEntry + 4);
      if (size <= budget) {
        table.data.resize(size);
        table.readable = layout.Read(Dword(dataEntry), table.data.data(), size);
        if (table.readable) {
          budget -= size;
        } else {
          table.data.clear();
        }
      }
    }
    out.tables_.push_back(std::move(table));
  }
  return ERROR_SUCCESS;
}

std::vector<WORD> PeMessageTable::Languages() const {
  std::vector<WORD> result;
  for (const Table& t : tables_) result.push_back(t.language);
  return result;
}

const PeMessageTable::Table* PeMessageTable::TableFor(WORD language) const {
  for (const Table& t : tables_) {
    if (t.language == language) return &t;
  }
  return nullptr;
}

LONG PeMessageTable::SelectLanguage(WORD language, WORD userLanguage, WORD& chosen) const {
  if (tables_.empty()) return missing_;
  const WORD sub = static_cast<WORD>(language >> 10);
  const bool fallback = PrimaryLangId(language) == LANG_NEUTRAL &&
                        (sub == SUBLANG_NEUTRAL || sub == SUBLANG_DEFAULT || sub == SUBLANG_SYS_DEFAULT);
  if (!fallback) {
    if (TableFor(language) == nullptr) return ERROR_RESOURCE_LANG_NOT_FOUND;
    chosen = language;
    return ERROR_SUCCESS;
  }
  const WORD order[] = {MakeLangId(LANG_NEUTRAL, SUBLANG_NEUTRAL), userLanguage,
                        PrimaryLangId(userLanguage), LANGID_ENGLISH_US};
  for (size_t i = 0; i < std::size(order); ++i) {
    if (TableFor(order[i]) != nullptr) {
      chosen = order[i];
      return ERROR_SUCCESS;
    }
    // An Austrian user still reads the German table before the English one.
    if (i == 2) {
      for (const Table& t : tables_) {
        if (PrimaryLangId(t.language) == PrimaryLangId(userLanguage)) {
          chosen = t.language;
          return ERROR_SUCCESS;
        }
      }
    }
  }
  chosen = tables_.front().language;
  return ERROR_SUCCESS;
}

LONG PeMessageTable::Find(DWORD id, WORD language, WORD userLanguage, std::string& text) const {
  WORD chosen = 0;
  if (const LONG status = SelectLanguage(language, userLanguage, chosen); status != ERROR_SUCCESS) {
    return status;
  }
  const Table& table = *TableFor(chosen);
  if (!table.readable) return ERROR_INVALID_DATA;
  const MessageData data(table.data);
  size_t blocks = 0;
  if (const LONG status = data.BlockCount(blocks); status != ERROR_SUCCESS) return status;
  for (size_t b = 0; b < blocks; ++b) {
    DWORD low = 0, high = 0, offset = 0;
    data.Block(b, low, high, offset);
    if (id < low || id > high) continue;
    uint64_t at = offset;
    for (DWORD skip = id - low; skip > 0; --skip) {
      size_t length = 0;
      if (const LONG status = data.Entry(at, length, nullptr); status != ERROR_SUCCESS) return status;
      at += length;
    }
    size_t length = 0;
    return data.Entry(at, length, &text);
  }
  return ERROR_MR_MID_NOT_FOUND;
}

LONG PeMessageTable::ForEachMessage(
    WORD language, const std::function<void(DWORD id, std::string_view text)>& visit) const {
  const Table* table = TableFor(language);
  if (table == nullptr) return tables_.empty() ? missing_ : ERROR_RESOURCE_LANG_NOT_FOUND;
  if (!table->readable) return ERROR_INVALID_DATA;
  const MessageData data(table->data);
  size_t blocks = 0;
  if (const LONG status = data.BlockCount(blocks); status != ERROR_SUCCESS) return status;
  std::string text;
  // Blocks of a genuine table do not share entries, so there are no more
  // entries than the data has room for; overlapping blocks stop there.
  size_t entriesLeft = table->data.size() / 4;
  for (size_t b = 0; b < blocks; ++b) {
    DWORD low = 0, high = 0, offset = 0;
    data.Block(b, low, high, offset);
    if (high < low) continue;
    uint64_t at = offset;
    for (DWORD id = low;; ++id) {
      if (entriesLeft-- == 0) return ERROR_INVALID_DATA;
      size_t length = 0;
      if (const LONG status = data.Entry(at, length, &text); status != ERROR_SUCCESS) return status;
      visit(id, text);
      at += length;
      if (id == high) break;
    }
  }
  return ERROR_SUCCESS;
}

}  // namespace platform
