#include "platform/modules/modules.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/base/environment.h"
#include "platform/base/last_error.h"
#include "platform/base/text.h"
#include "platform/files/paths.h"
#include "platform/registry/registry.h"
#include "platform/smb/smb_network.h"

namespace platform {
namespace {

// ---------------------------------------------------------------------------
// The user's language.

struct LocaleLanguage {
  const char* name;  // "ll_CC", or "ll" for the language's usual country
  WORD language;
};

// The first entry of each language is what a bare "ll" or an unknown
// country of it means.
constexpr LocaleLanguage kLocaleLanguages[] = {
    {"en_US", 0x0409}, {"en_GB", 0x0809}, {"en_AU", 0x0C09}, {"en_CA", 0x1009},
    {"en_NZ", 0x1409}, {"en_IE", 0x1809}, {"de_DE", 0x0407}, {"de_CH", 0x0807},
    {"de_AT", 0x0C07}, {"de_LU", 0x1007}, {"fr_FR", 0x040C}, {"fr_BE", 0x080C},
    {"fr_CA", 0x0C0C}, {"fr_CH", 0x100C}, {"fr_LU", 0x140C}, {"it_IT", 0x0410},
    {"it_CH", 0x0810}, {"es_ES", 0x0C0A}, {"es_MX", 0x080A}, {"pt_BR", 0x0416},
    {"pt_PT", 0x0816}, {"nl_NL", 0x0413}, {"nl_BE", 0x0813}, {"sv_SE", 0x041D},
    {"da_DK", 0x0406}, {"nb_NO", 0x0414}, {"no_NO", 0x0414}, {"nn_NO", 0x0814},
    {"fi_FI", 0x040B}, {"is_IS", 0x040F}, {"pl_PL", 0x0415}, {"cs_CZ", 0x0405},
    {"sk_SK", 0x041B}, {"sl_SI", 0x0424}, {"hu_HU", 0x040E}, {"ro_RO", 0x0418},
    {"hr_HR", 0x041A}, {"bg_BG", 0x0402}, {"el_GR", 0x0408}, {"tr_TR", 0x041F},
    {"ru_RU", 0x0419}, {"uk_UA", 0x0422}, {"he_IL", 0x040D}, {"ar_SA", 0x0401},
    {"ja_JP", 0x0411}, {"ko_KR", 0x0412}, {"zh_CN", 0x0804}, {"zh_TW", 0x0404},
    {"zh_HK", 0x0C04}, {"th_TH", 0x041E},
};

// ---------------------------------------------------------------------------
// Formatting.

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsContinuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// Builds the output, turning line breaks of the text as the width asks:
// kept (as CR LF) for width 0, blanks for FORMAT_MESSAGE_MAX_WIDTH_MASK, and
// blanks with the words wrapped into lines shorter than the width otherwise.
class LineBuilder {
 public:
  explicit LineBuilder(DWORD width) : width_(width) {}

  // A line break written in the text (CR LF, or a lone CR or LF).
  void SourceBreak() {
    if (width_ == 0) {
      out_ += "\r\n";
    } else {
      Put(' ');
    }
  }
  // %n and %r: breaks that every width keeps.
  void HardBreak(const char* sequence) {
    FlushWord();
    pendingSpaces_ = 0;
    out_ += sequence;
    column_ = 0;
  }
  void Put(char c) {
    if (!Wrapping()) {
      out_ += c;
    } else if (c == ' ') {
      FlushWord();
      ++pendingSpaces_;
    } else {
      word_ += c;
    }
  }
  void Append(std::string_view text) {
    for (const char c : text) Put(c);
  }
  std::string Finish() {
    FlushWord();
    if (Wrapping() && column_ + pendingSpaces_ < width_) out_.append(pendingSpaces_, ' ');
    return std::move(out_);
  }

 private:
  bool Wrapping() const { return width_ != 0 && width_ != FORMAT_MESSAGE_MAX_WIDTH_MASK; }

  static size_t Characters(std::string_view text) {
    size_t count = 0;
    for (const char c : text) count += IsContinuation(c) ? 0 : 1;
    return count;
  }

  // A word joins the line when the line stays shorter than the width;
  // otherwise it starts the next one, and a word as long as a whole line
  // is cut after `width` characters.
  void FlushWord() {
    if (word_.empty()) return;
    size_t length = Characters(word_);
    if ((column_ > 0 || pendingSpaces_ > 0) && column_ + pendingSpaces_ + length >= width_) {
      out_ += "\r\n";
      column_ = 0;
    } else {
      out_.append(pendingSpaces_, ' ');
      column_ += pendingSpaces_;
    }
    pendingSpaces_ = 0;
    std::string_view rest = word_;
    while (column_ == 0 && length >= width_) {
      size_t cut = 0;
      for (size_t chars = 0; cut < rest.size() && chars < width_; ++chars) {
        ++cut;
        while (cut < rest.size() && IsContinuation(rest[cut])) ++cut;
      }
      out_.append(rest.substr(0, cut));
      out_ += "\r\n";
      rest.remove_prefix(cut);
      length -= width_;
    }
    out_.append(rest);
    column_ += length;
    word_.clear();
  }

  DWORD width_;
  std::string out_;
  std::string word_;
  size_t column_ = 0;
  size_t pendingSpaces_ = 0;
};

// The inserts' arguments, taken one by one as the markers ask for them.
class Arguments {
 public:
  Arguments(DWORD flags, va_list* list)
      : array_((flags & FORMAT_MESSAGE_ARGUMENT_ARRAY) != 0 && list != nullptr
                   ? reinterpret_cast<const DWORD_PTR*>(list)
                   : nullptr),
        list_(array_ == nullptr ? list : nullptr) {}

  bool Present() const { return array_ != nullptr || list_ != nullptr; }

  // Argument `number` (from 1).
  DWORD_PTR Get(size_t number) {
    if (array_ != nullptr) return array_[number - 1];
    while (fetched_.size() < number) fetched_.push_back(va_arg(*list_, DWORD_PTR));
    return fetched_[number - 1];
  }

 private:
  const DWORD_PTR* array_;
  va_list* list_;
  std::vector<DWORD_PTR> fetched_;
};

std::string WideToUtf8(const WCHAR* text) {
  std::vector<uint8_t> bytes;
  for (; *text != 0; ++text) {
    bytes.push_back(static_cast<uint8_t>(*text & 0xFF));
    bytes.push_back(static_cast<uint8_t>(*text >> 8));
  }
  return Utf16leToUtf8(bytes.data(), bytes.size());
}

// One insert with its printf-style format ("s" when none is given).
// Widths and precisions given as '*' are not supported.
bool FormatInsert(std::string_view directive, DWORD_PTR value, std::string& out) {
  size_t i = 0;
  std::string flags;
  while (i < directive.size() && std::strchr("-+ #0", directive[i]) != nullptr) flags += directive[i++];
  while (i < directive.size() && IsDigit(directive[i])) flags += directive[i++];
  if (i < directive.size() && directive[i] == '.') {
    flags += directive[i++];
    while (i < directive.size() && IsDigit(directive[i])) flags += directive[i++];
  }
  const std::string_view rest = directive.substr(i);
  if (rest.empty()) return false;
  const char conversion = rest.back();
  const std::string_view size = rest.substr(0, rest.size() - 1);
  const bool wide = conversion == 'S' || conversion == 'C' || size == "l" || size == "w";
  const bool longLong = size == "I64" || size == "ll";
  if (!size.empty() && size != "h" && size != "l" && size != "w" && size != "I32" && !longLong) {
    return false;
  }
  std::string format = "%" + flags;
  char buffer[512];
  int written = 0;
  switch (conversion) {
    case 's':
    case 'S': {
      std::string text = "(null)";
      if (value != 0) {
        text = wide ? WideToUtf8(reinterpret_cast<const WCHAR*>(value))
                    : std::string(reinterpret_cast<const char*>(value));
      }
      written = std::snprintf(buffer, sizeof buffer, (format + "s").c_str(), text.c_str());
      if (written >= static_cast<int>(sizeof buffer)) {
        std::vector<char> large(static_cast<size_t>(written) + 1);
        std::snprintf(large.data(), large.size(), (format + "s").c_str(), text.c_str());
        out.append(large.data(), static_cast<size_t>(written));
        return true;
      }
      break;
    }
    case 'c':
    case 'C': {
      std::string text;
      if (wide) {
        const WCHAR c[2] = {static_cast<WCHAR>(value), 0};
        text = WideToUtf8(c);
      } else {
        text = Cp1252ToUtf8(std::string(1, static_cast<char>(value)));
      }
      written = std::snprintf(buffer, sizeof buffer, (format + "s").c_str(), text.c_str());
      break;
    }
    case 'd':
    case 'i':
      format += longLong ? "lld" : "d";
      written = longLong ? std::snprintf(buffer, sizeof buffer, format.c_str(),
                                         static_cast<long long>(value))
                         : std::snprintf(buffer, sizeof buffer, format.c_str(),
                                         static_cast<int>(value));
      break;
    case 'u':
    case 'x':
    case 'X':
    case 'o':
      format += longLong ? "ll" : "";
      format += conversion;
      written = longLong ? std::snprintf(buffer, sizeof buffer, format.c_str(),
                                         static_cast<unsigned long long>(value))
                         : std::snprintf(buffer, sizeof buffer, format.c_str(),
                                         static_cast<unsigned>(value));
      break;
    default:
      return false;
  }
  if (written < 0) return false;
  out.append(buffer, std::min(static_cast<size_t>(written), sizeof buffer - 1));
  return true;
}

// Applies FormatMessage's escapes to `text`. With inserts ignored only %0,
// %n, %r and %t are escapes; every other '%' stays with what follows it.
LONG ApplyEscapes(std::string_view text, DWORD flags, Arguments& arguments, std::string& result) {
  const bool ignoreInserts = (flags & FORMAT_MESSAGE_IGNORE_INSERTS) != 0;
  LineBuilder out(flags & FORMAT_MESSAGE_MAX_WIDTH_MASK);
  size_t i = 0;
  while (i < text.size()) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      i += (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ? 2 : 1;
      out.SourceBreak();
      continue;
    }
    if (c != '%') {
      out.Put(c);
      ++i;
      continue;
    }
    if (i + 1 == text.size()) {
      if (!ignoreInserts) return ERROR_INVALID_PARAMETER;
      out.Put('%');
      break;
    }
    const char next = text[i + 1];
    if (next == '0') break;
    if (next == 'n') {
      out.HardBreak("\r\n");
    } else if (next == 'r') {
      out.HardBreak("\r");
    } else if (next == 't') {
      out.Put('\t');
    } else if (next == '\r' || next == '\n') {
      // The line break itself is the text's.
      if (ignoreInserts) out.Put('%');
      ++i;
      continue;
    } else if (ignoreInserts) {
      out.Put('%');
      out.Put(next);
    } else if (IsDigit(next)) {
      size_t end = i + 1;
      size_t number = 0;
      while (end < text.size() && IsDigit(text[end]) && end < i + 3) {
        number = number * 10 + static_cast<size_t>(text[end] - '0');
        ++end;
      }
      std::string_view directive = "s";
      if (end < text.size() && text[end] == '!') {
        const size_t close = text.find('!', end + 1);
        if (close == std::string_view::npos || close == end + 1) return ERROR_INVALID_PARAMETER;
        directive = text.substr(end + 1, close - end - 1);
        end = close + 1;
      }
      if (!arguments.Present()) return ERROR_INVALID_PARAMETER;
      std::string inserted;
      if (!FormatInsert(directive, arguments.Get(number), inserted)) return ERROR_INVALID_PARAMETER;
      out.Append(inserted);
      i = end;
      continue;
    } else {
      out.Put(next);
    }
    i += 2;
  }
  result = out.Finish();
  return ERROR_SUCCESS;
}

// ---------------------------------------------------------------------------
// Loading and caching.

struct FileStamp {
  dev_t device;
  ino_t inode;
  off_t size;
  int64_t modifiedSeconds, modifiedNanoseconds;
  int64_t changedSeconds, changedNanoseconds;  // also moves with permissions

  static FileStamp Of(const struct stat& st) {
    return {st.st_dev,          st.st_ino,          st.st_size,
            st.st_mtim.tv_sec,  st.st_mtim.tv_nsec, st.st_ctim.tv_sec,
            st.st_ctim.tv_nsec};
  }
  bool operator==(const FileStamp&) const = default;
};

// The outcome of reading one file: a table, or why the file is no module.
struct LoadedImage {
  LONG status = ERROR_SUCCESS;
  PeMessageTable table;
  // Texts already fetched without inserts and line width, by id, language
  // and the user's language: a gather asks the same few for every record. The image is shared between threads, hence the lock.
  struct Fetched {
    LONG status;
    std::string text;
  };
  mutable std::mutex fetchedMutex;
  mutable std::unordered_map<uint64_t, Fetched> fetched;
};

class FileByteSource final : public ByteSource {
 public:
  FileByteSource(int fd, uint64_t size) : fd_(fd), size_(size) {}
  uint64_t Size() const override { return size_; }
  bool Read(uint64_t offset, void* out, size_t size) const override {
    if (offset > size_ || size > size_ - offset) return false;
    auto* target = static_cast<char*>(out);
    while (size > 0) {
      const ssize_t got = ::pread(fd_, target, size, static_cast<off_t>(offset));
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) return false;
      target += got;
      offset += static_cast<uint64_t>(got);
      size -= static_cast<size_t>(got);
    }
    return true;
  }

 private:
  int fd_;
  uint64_t size_;
};

// Until when the images of the load under way on this thread are known to
// match their files: the earliest end of trust among the cache entries it used.
thread_local std::chrono::steady_clock::time_point loadFreshUntil;

void TrustUntil(std::chrono::steady_clock::time_point until) { loadFreshUntil = std::min(loadFreshUntil, until); }

class ModuleCache {
 public:
  static constexpr size_t kCapacity = 256;
  // A file checked this recently is taken without looking at it again: a
  // gather loads the same few files for every record, and a message file
  // replaced during a gather is seen within this time.
  static constexpr auto kTrusted = std::chrono::milliseconds(500);

  // The image of a file whose stamp was checked within kTrusted.
  std::shared_ptr<const LoadedImage> FindRecent(const std::string& path,
                                                std::chrono::steady_clock::duration trusted = kTrusted) {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto found = entries_.find(path);
    if (found == entries_.end() || std::chrono::steady_clock::now() - found->second.checked > trusted) {
      return nullptr;
    }
    TrustUntil(found->second.checked + std::min<std::chrono::steady_clock::duration>(trusted, kTrusted));
    return found->second.image;
  }

  std::shared_ptr<const LoadedImage> Find(const std::string& path, const FileStamp& stamp) {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto found = entries_.find(path);
    if (found == entries_.end()) return nullptr;
    if (!(found->second.stamp == stamp)) {
      order_.erase(found->second.position);
      entries_.erase(found);
      return nullptr;
    }
    order_.splice(order_.begin(), order_, found->second.position);
    found->second.checked = std::chrono::steady_clock::now();
    TrustUntil(found->second.checked + kTrusted);
    return found->second.image;
  }

  void Put(const std::string& path, const FileStamp& stamp,
           std::shared_ptr<const LoadedImage> image) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (const auto found = entries_.find(path); found != entries_.end()) {
      order_.erase(found->second.position);
      entries_.erase(found);
    }
    order_.push_front(path);
    const auto now = std::chrono::steady_clock::now();
    TrustUntil(now + kTrusted);
    entries_[path] = Entry{stamp, std::move(image), order_.begin(), now};
    while (entries_.size() > kCapacity) {
      entries_.erase(order_.back());
      order_.pop_back();
    }
  }

  void Clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    entries_.clear();
    order_.clear();
  }

 private:
  struct Entry {
    FileStamp stamp;
    std::shared_ptr<const LoadedImage> image;
    std::list<std::string>::iterator position;
    std::chrono::steady_clock::time_point checked;
  };
  std::mutex mutex_;
  std::list<std::string> order_;  // most recently used first
  std::unordered_map<std::string, Entry> entries_;
};

std::atomic<bool> cacheEnabled{true};
std::atomic<uint64_t> fileReads{0};
std::atomic<uint64_t> cacheHits{0};

ModuleCache& Cache() {
  static ModuleCache cache;
  return cache;
}

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

bool Exists(const std::string& hostPath) {
  struct stat st;
  return ::stat(hostPath.c_str(), &st) == 0;
}

constexpr char kVersionKey[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
constexpr char kDefaultSystemFolder[] = "C:\\WINNT\\system32";

std::string SystemFolder() {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kVersionKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
    return kDefaultSystemFolder;
  }
  char root[MAX_PATH] = {};
  DWORD type = 0;
  DWORD size = sizeof root - 1;
  const LONG status =
      RegQueryValueExA(key, "SystemRoot", nullptr, &type, reinterpret_cast<BYTE*>(root), &size);
  RegCloseKey(key);
  if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) {
    return kDefaultSystemFolder;
  }
  std::string folder(root, std::min<size_t>(size, sizeof root - 1));
  folder.resize(std::strlen(folder.c_str()));
  while (!folder.empty() && IsSeparator(folder.back())) folder.pop_back();
  if (folder.empty()) return kDefaultSystemFolder;
  return folder + "\\system32";
}

constexpr char kLanguageKey[] = "SYSTEM\\CurrentControlSet\\Control\\Nls\\Language";

// The computer of a path on its shares (\\\\NAME\\...); "" for this one.
std::string ComputerOf(std::string_view windowsPath) {
  if (windowsPath.size() < 3 || !IsSeparator(windowsPath[0]) || !IsSeparator(windowsPath[1])) return {};
  windowsPath.remove_prefix(2);
  return std::string(windowsPath.substr(0, windowsPath.find_first_of("\\/")));
}

// The same path with its System32 folder as SysWOW64; "" without one.
std::string InWow64(const std::string& windowsPath) {
  const std::string folded = FoldCase(windowsPath);
  for (size_t at = folded.find("system32"); at != std::string::npos; at = folded.find("system32", at + 1)) {
    const size_t end = at + 8;
    if (at > 0 && IsSeparator(folded[at - 1]) && end < folded.size() && IsSeparator(folded[end])) {
      return windowsPath.substr(0, at) + "SysWOW64" + windowsPath.substr(end);
    }
  }
  return {};
}

// "de-DE" for 0x0407; "" for a language we do not know.
std::string LocaleNameOf(WORD language) {
  for (const LocaleLanguage& entry : kLocaleLanguages) {
    if (entry.language != language) continue;
    std::string name = entry.name;
    std::replace(name.begin(), name.end(), '_', '-');
    return name;
  }
  return {};
}

// Why a path that does not exist fails: the computer, the share, a folder
// on the way, or the file itself.
LONG MissingReason(std::string_view windowsPath, const std::string& hostPath) {
  if (windowsPath.size() > 2 && IsSeparator(windowsPath[0]) && IsSeparator(windowsPath[1])) {
    const size_t nameEnd = windowsPath.find_first_of("\\/", 2);
    if (!Exists(MapPath(windowsPath.substr(0, nameEnd)))) return ERROR_BAD_NETPATH;
    if (nameEnd != std::string_view::npos) {
      const size_t shareEnd = windowsPath.find_first_of("\\/", nameEnd + 1);
      if (!Exists(MapPath(windowsPath.substr(0, shareEnd)))) return ERROR_BAD_NET_NAME;
    }
  }
  const size_t slash = hostPath.find_last_of('/');
  if (slash != std::string::npos && slash > 0 && !Exists(hostPath.substr(0, slash))) {
    return ERROR_PATH_NOT_FOUND;
  }
  return ERROR_FILE_NOT_FOUND;
}

LONG ErrorOfErrno(int error) {
  switch (error) {
    case EACCES:
    case EPERM:
    case EISDIR:
      return ERROR_ACCESS_DENIED;
    case ENOTDIR:
      return ERROR_PATH_NOT_FOUND;
    case ENOMEM:
      return ERROR_NOT_ENOUGH_MEMORY;
    default:
      return ERROR_FILE_NOT_FOUND;
  }
}

std::shared_ptr<const LoadedImage> ReadImage(int fd, uint64_t size) {
  auto image = std::make_shared<LoadedImage>();
  image->status = PeMessageTable::Read(FileByteSource(fd, size), image->table);
  fileReads.fetch_add(1, std::memory_order_relaxed);
  return image;
}

// Opens and parses `hostPath`, or takes it from the cache. Sets `status`.
std::shared_ptr<const LoadedImage> LoadImage(std::string_view windowsPath,
                                             const std::string& hostPath, LONG& status) {
  if (cacheEnabled.load(std::memory_order_relaxed)) {
    if (auto recent = Cache().FindRecent(hostPath)) {
      cacheHits.fetch_add(1, std::memory_order_relaxed);
      status = recent->status;
      return recent;
    }
  }
  struct stat st;
  if (::stat(hostPath.c_str(), &st) != 0) {
    status = errno == ENOENT ? MissingReason(windowsPath, hostPath) : ErrorOfErrno(errno);
    return nullptr;
  }
  // Windows opens no folder as a file, and a pipe or device would block.
  if (!S_ISREG(st.st_mode)) {
    status = ERROR_ACCESS_DENIED;
    return nullptr;
  }
  const bool caching = cacheEnabled.load(std::memory_order_relaxed);
  if (caching) {
    if (auto cached = Cache().Find(hostPath, FileStamp::Of(st))) {
      cacheHits.fetch_add(1, std::memory_order_relaxed);
      status = cached->status;
      return cached;
    }
  }
  const int fd = ::open(hostPath.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    status = errno == ENOENT ? MissingReason(windowsPath, hostPath) : ErrorOfErrno(errno);
    return nullptr;
  }
  // The stamp of the file as read, so a change while reading is seen next time.
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    status = ERROR_ACCESS_DENIED;
    return nullptr;
  }
  auto image = ReadImage(fd, static_cast<uint64_t>(st.st_size));
  ::close(fd);
  if (caching) Cache().Put(hostPath, FileStamp::Of(st), image);
  status = image->status;
  return image;
}

// A message file of a live computer, \\NAME\SHARE\path, read through the
// share with the SMB client and parsed from memory. The cache keys it by
// computer and path and checks its size and modification time on the
// server only after kTrustedLive, so a DLL crosses the network once per run
// rather than once per record.
constexpr auto kTrustedLive = std::chrono::seconds(60);
constexpr size_t kMaxModule = 64u << 20;

std::shared_ptr<const LoadedImage> LoadShareImage(std::string_view windowsPath, LONG& status) {
  const size_t nameEnd = windowsPath.find_first_of("\\/", 2);
  if (nameEnd == std::string_view::npos) {
    status = ERROR_BAD_NET_NAME;
    return nullptr;
  }
  const std::string computer(windowsPath.substr(2, nameEnd - 2));
  const std::string_view path = windowsPath.substr(nameEnd + 1);
  const std::string key = "smb:\\" + FoldCase(windowsPath.substr(2));
  const bool caching = cacheEnabled.load(std::memory_order_relaxed);
  if (caching) {
    if (auto recent = Cache().FindRecent(key, kTrustedLive)) {
      cacheHits.fetch_add(1, std::memory_order_relaxed);
      status = recent->status;
      return recent;
    }
  }
  int64_t modified = 0;
  uint64_t size = 0;
  if (const DWORD error = smb::StatShareFile(computer, path, modified, size); error != ERROR_SUCCESS) {
    status = static_cast<LONG>(error);
    return nullptr;
  }
  const FileStamp stamp{0, 0, static_cast<off_t>(size), modified, 0, 0, 0};
  if (caching) {
    if (auto cached = Cache().Find(key, stamp)) {
      cacheHits.fetch_add(1, std::memory_order_relaxed);
      status = cached->status;
      return cached;
    }
  }
  std::vector<uint8_t> bytes;
  if (const DWORD error = smb::ReadShareFile(computer, path, kMaxModule, bytes, &modified); error != ERROR_SUCCESS) {
    status = static_cast<LONG>(error);
    return nullptr;
  }
  auto image = std::make_shared<LoadedImage>();
  image->status = PeMessageTable::Read(MemoryByteSource(bytes), image->table);
  fileReads.fetch_add(1, std::memory_order_relaxed);
  if (caching) Cache().Put(key, FileStamp{0, 0, static_cast<off_t>(bytes.size()), modified, 0, 0, 0}, image);
  status = image->status;
  return image;
}

// The modules handed out, by handle. A handle is odd, as Windows marks
// modules loaded as data files. A gather takes and gives back a handle or
// two for every record: the slots are used again, so that costs no
// allocation, and a serial in the handle tells a freed one from its slot's
// next tenant.
class HandleTable {
 public:
  HMODULE Add(std::shared_ptr<const LoadedImage> image) {
    std::lock_guard<std::mutex> lock(mutex_);
    size_t index = slots_.size();
    if (free_.empty()) {
      if (index >> kIndexBits != 0) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
      }
      slots_.emplace_back();
    } else {
      index = free_.back();
      free_.pop_back();
    }
    Entry& entry = slots_[index];
    entry.value = (((serial_++ & kSerialMask) << kIndexBits | index) << 4) | 1;
    entry.image = std::move(image);
    return reinterpret_cast<HMODULE>(entry.value);
  }
  std::shared_ptr<const LoadedImage> Get(HMODULE module) {
    std::lock_guard<std::mutex> lock(mutex_);
    const Entry* entry = Find(module);
    return entry == nullptr ? nullptr : entry->image;
  }
  bool Remove(HMODULE module) {
    std::lock_guard<std::mutex> lock(mutex_);
    Entry* entry = Find(module);
    if (entry == nullptr) return false;
    entry->value = 0;
    entry->image.reset();
    free_.push_back(static_cast<size_t>(entry - slots_.data()));
    return true;
  }

 private:
  static constexpr unsigned kIndexBits = 24;
  static constexpr uintptr_t kSerialMask = (uintptr_t{1} << (sizeof(uintptr_t) * 8 - kIndexBits - 4)) - 1;
  struct Entry {
    uintptr_t value = 0;
    std::shared_ptr<const LoadedImage> image;
  };
  Entry* Find(HMODULE module) {
    const auto value = reinterpret_cast<uintptr_t>(module);
    const size_t index = (value >> 4) & ((uintptr_t{1} << kIndexBits) - 1);
    if ((value & 1) == 0 || index >= slots_.size() || slots_[index].value != value) return nullptr;
    return &slots_[index];
  }

  std::mutex mutex_;
  uintptr_t serial_ = 1;
  std::vector<Entry> slots_;
  std::vector<size_t> free_;
};

class DataFileModules final : public MessageModuleService {
 public:
  HMODULE LoadLibraryEx(const char* fileName, HANDLE file, DWORD /*flags*/) override {
    if (fileName == nullptr || *fileName == '\0' || file != nullptr) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return nullptr;
    }
    const std::string_view named(fileName);
    std::string bareName;  // a whole path is compared as given, without a copy
    if (named.find_first_of("\\/:") == std::string_view::npos) bareName = SystemFolder() + "\\" + fileName;
    const std::string_view whole = bareName.empty() ? named : std::string_view(bareName);
    // A gather loads the same few files for record after record: the images
    // this thread loaded last are given again, without a look at the cache,
    // for as long as the cache would have trusted them. Keyed by the path a
    // bare name stands for, since the system folder may move.
    struct Recent {
      std::string fileName;
      uint64_t generation = 0;
      std::shared_ptr<const LoadedImage> image;
      std::chrono::steady_clock::time_point freshUntil;
    };
    thread_local Recent recent[8];
    thread_local size_t nextRecent = 0;
    const uint64_t generation = CurrentRoots().generation;
    const bool caching = cacheEnabled.load(std::memory_order_relaxed);
    if (caching) {
      const auto now = std::chrono::steady_clock::now();
      for (Recent& known : recent) {
        if (known.image != nullptr && known.fileName == whole && known.generation == generation &&
            now < known.freshUntil) {
          cacheHits.fetch_add(1, std::memory_order_relaxed);
          return handles_.Add(known.image);
        }
      }
    }
    std::string windowsPath(whole);
    loadFreshUntil = std::chrono::steady_clock::time_point::max();
    std::string loadedFrom;  // the SysWOW64 path, when the file was found there
    LONG status = ERROR_FILE_NOT_FOUND;
    auto image = Load(windowsPath, status);
    if (image == nullptr && (status == ERROR_FILE_NOT_FOUND || status == ERROR_PATH_NOT_FOUND)) {
      // A 32-bit program's files that it named in System32 are in SysWOW64.
      std::string wow = InWow64(windowsPath);
      LONG wowStatus = ERROR_FILE_NOT_FOUND;
      if (!wow.empty()) {
        if (auto found = Load(wow, wowStatus); found != nullptr) {
          image = std::move(found);
          status = wowStatus;
          loadedFrom = std::move(wow);
        }
      }
    }
    if (image == nullptr || status != ERROR_SUCCESS) {
      SetLastError(static_cast<DWORD>(status));
      return nullptr;
    }
    // Since Vista a module's texts may be in a satellite beside it,
    // <folder>\<language>\<name>.mui, and the module holds no table.
    if (image->table.Empty()) {
      if (auto satellite = Satellite(loadedFrom.empty() ? windowsPath : loadedFrom)) image = std::move(satellite);
    }
    if (caching && loadFreshUntil != std::chrono::steady_clock::time_point::max()) {
      recent[nextRecent] = {std::move(windowsPath), generation, image, loadFreshUntil};
      nextRecent = (nextRecent + 1) % std::size(recent);
    }
    return handles_.Add(std::move(image));
  }

  // The image at a Windows path; null with `status` when it cannot be read.
  std::shared_ptr<const LoadedImage> Load(const std::string& windowsPath, LONG& status) {
    // A live computer's files are read from its share, once a run.
    const PathRoots& roots = CurrentRoots();
    if (windowsPath.size() > 2 && IsSeparator(windowsPath[0]) && IsSeparator(windowsPath[1]) && roots.live) {
      status = ERROR_FILE_NOT_FOUND;
      auto image = LoadShareImage(windowsPath, status);
      return image != nullptr && status == ERROR_SUCCESS ? image : nullptr;
    }
    bool remembered = false;
    const std::string key = std::to_string(roots.generation) + '\n' + windowsPath;
    std::string hostPath = HostPath(key, windowsPath, remembered);
    status = ERROR_FILE_NOT_FOUND;
    auto image = hostPath.empty() ? nullptr : LoadImage(windowsPath, hostPath, status);
    if (remembered && (image == nullptr || status != ERROR_SUCCESS)) {
      // The folders may have changed since the path was mapped: map afresh.
      ForgetHostPath(key);
      hostPath = HostPath(key, windowsPath, remembered);
      image = hostPath.empty() ? nullptr : LoadImage(windowsPath, hostPath, status);
    }
    return image != nullptr && status == ERROR_SUCCESS ? image : nullptr;
  }

  // The satellite of the module at `windowsPath` with a message table, in
  // the language of the module's computer and then in US English, as the
  // resource loader of Windows looks for it.
  std::shared_ptr<const LoadedImage> Satellite(const std::string& windowsPath) {
    const size_t slash = windowsPath.find_last_of("\\/");
    if (slash == std::string::npos) return nullptr;
    const std::string folder = windowsPath.substr(0, slash + 1);
    const std::string name = windowsPath.substr(slash + 1) + ".mui";
    std::vector<std::string> languages{LanguageNameOf(ComputerOf(windowsPath))};
    if (languages.front() != "en-US") languages.push_back("en-US");
    for (const std::string& language : languages) {
      if (language.empty()) continue;
      LONG status = ERROR_FILE_NOT_FOUND;
      auto image = Load(folder + language + "\\" + name, status);
      if (image != nullptr && !image->table.Empty()) return image;
    }
    return nullptr;
  }

  // The system's UI language of a computer ("" for this one), as the name
  // of its language folders ("de-DE"); US English when its registry does
  // not say. Asked once per computer and machine folder.
  std::string LanguageNameOf(const std::string& computer) {
    const std::string key = std::to_string(CurrentRoots().generation) + '\n' + FoldCase(computer);
    {
      std::lock_guard<std::mutex> lock(pathsMutex_);
      if (auto it = languages_.find(key); it != languages_.end()) return it->second;
    }
    // This computer's registry rarely says: then it speaks the user's language.
    std::string name = computer.empty() ? LocaleNameOf(UserDefaultLanguage()) : "en-US";
    if (name.empty()) name = "en-US";
    HKEY root = nullptr;
    if (RegConnectRegistryA(computer.empty() ? nullptr : computer.c_str(), HKEY_LOCAL_MACHINE, &root) ==
        ERROR_SUCCESS) {
      HKEY nls = nullptr;
      if (RegOpenKeyExA(root, kLanguageKey, 0, KEY_QUERY_VALUE, &nls) == ERROR_SUCCESS) {
        for (const char* value : {"Default", "InstallLanguage"}) {
          char text[16] = {};
          DWORD size = sizeof text - 1;
          if (RegQueryValueExA(nls, value, nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size) != ERROR_SUCCESS) {
            continue;
          }
          char* end = nullptr;
          const unsigned long language = std::strtoul(text, &end, 16);
          const std::string found = language <= 0xFFFF && end != text ? LocaleNameOf(static_cast<WORD>(language)) : "";
          if (!found.empty()) {
            name = found;
            break;
          }
        }
        RegCloseKey(nls);
      }
      RegCloseKey(root);
    }
    std::lock_guard<std::mutex> lock(pathsMutex_);
    if (languages_.size() >= kRememberedPaths) languages_.clear();
    languages_.emplace(key, name);
    return name;
  }

  // Every record loads its message files again, and mapping a path costs a
  // look at every folder on the way; the mapping of a Windows path is kept
  // (per machine folder and network root) and redone when it stops working.
  // `key` is the path with the generation of the folders it maps under.
  std::string HostPath(const std::string& key, const std::string& windowsPath, bool& remembered) {
    {
      std::lock_guard<std::mutex> lock(pathsMutex_);
      if (auto it = hostPaths_.find(key); it != hostPaths_.end()) {
        remembered = true;
        return it->second;
      }
    }
    remembered = false;
    std::string hostPath = MapPath(windowsPath);
    std::lock_guard<std::mutex> lock(pathsMutex_);
    if (hostPaths_.size() >= kRememberedPaths) hostPaths_.clear();
    hostPaths_.emplace(key, hostPath);
    return hostPath;
  }
  void ForgetHostPath(const std::string& key) {
    std::lock_guard<std::mutex> lock(pathsMutex_);
    hostPaths_.erase(key);
  }

  BOOL FreeLibrary(HMODULE module) override {
    if (!handles_.Remove(module)) {
      SetLastError(ERROR_INVALID_HANDLE);
      return FALSE;
    }
    return TRUE;
  }

  DWORD FormatMessage(DWORD flags, const void* source, DWORD messageId, DWORD languageId,
                      char* buffer, DWORD size, va_list* arguments) override {
    const bool allocate = (flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) != 0;
    if (allocate && buffer != nullptr) *reinterpret_cast<char**>(buffer) = nullptr;
    // A text fetched before is copied out of the image's memo, which the
    // holder keeps alive.
    std::string made;
    const std::string* found = &made;
    std::shared_ptr<const LoadedImage> holder;
    if (const LONG status = Text(flags, source, messageId, languageId, arguments, made, found, holder);
        status != ERROR_SUCCESS) {
      SetLastError(static_cast<DWORD>(status));
      return 0;
    }
    const std::string& text = *found;
    if (text.empty()) {
      SetLastError(ERROR_NO_WORK_DONE);
      return 0;
    }
    if (allocate) {
      if (buffer == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
      }
      // At least the size asked for, as Windows allocates it.
      auto* copy =
          static_cast<char*>(::LocalAlloc(LMEM_FIXED, std::max<size_t>(text.size() + 1, size)));
      if (copy == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
      }
      std::memcpy(copy, text.c_str(), text.size() + 1);
      *reinterpret_cast<char**>(buffer) = copy;
    } else {
      if (text.size() + 1 > size) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
      }
      std::memcpy(buffer, text.c_str(), text.size() + 1);
    }
    return static_cast<DWORD>(text.size());
  }

  HLOCAL LocalAlloc(UINT flags, size_t bytes) override {
    // Zero bytes still give a block of its own, as Windows does.
    void* memory = (flags & LMEM_ZEROINIT) != 0 ? std::calloc(bytes == 0 ? 1 : bytes, 1)
                                                : std::malloc(bytes == 0 ? 1 : bytes);
    if (memory == nullptr) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return memory;
  }

  HLOCAL LocalFree(HLOCAL memory) override {
    std::free(memory);
    return nullptr;
  }

 private:
  // The system's texts for the Windows codes we give out: the host's own
  // words for the matching errno, ended as Windows ends its messages. A code
  // without a match has no text (317), as an unknown code has on Windows.
  static LONG SystemText(DWORD code, std::string& message) {
    static const struct {
      DWORD code;
      int error;
    } kErrors[] = {
        {2, ENOENT},      {3, ENOENT},       {5, EACCES},     {6, EBADF},       {8, ENOMEM},
        {13, EINVAL},     {14, ENOMEM},      {29, EIO},       {30, EIO},        {38, ENODATA},
        {53, EHOSTUNREACH}, {67, ENOENT},    {87, EINVAL},    {112, ENOSPC},    {122, ENOBUFS},
        {183, EEXIST},    {193, ENOEXEC},    {1722, EHOSTDOWN}, {1723, EBUSY},
    };
    for (const auto& entry : kErrors) {
      if (entry.code != code) continue;
      const char* text = strerrordesc_np(entry.error);
      if (text == nullptr) break;
      message = std::string(text) + "\r\n";
      return ERROR_SUCCESS;
    }
    return ERROR_MR_MID_NOT_FOUND;
  }

  // The text with its escapes applied; from a module's table without
  // inserts, remembered per image.
  // A remembered text is given as `found`, in the memo of `image`; `text`
  // holds one made now.
  LONG Text(DWORD flags, const void* source, DWORD messageId, DWORD languageId, va_list* arguments,
            std::string& text, const std::string*& found, std::shared_ptr<const LoadedImage>& image) {
    constexpr DWORD kKept = FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS;
    uint64_t key = 0;
    constexpr DWORD kAsked = kKept | FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_FROM_SYSTEM |
                             FORMAT_MESSAGE_MAX_WIDTH_MASK;
    if ((flags & kAsked) == kKept && source != nullptr && languageId <= 0xFFFF) {
      image = handles_.Get(static_cast<HMODULE>(const_cast<void*>(source)));
      key = (uint64_t{messageId} << 32) | (uint64_t{languageId} << 16) | UserDefaultLanguage();
      if (image != nullptr) {
        std::lock_guard<std::mutex> lock(image->fetchedMutex);
        if (const auto known = image->fetched.find(key); known != image->fetched.end()) {
          found = &known->second.text;
          return known->second.status;
        }
      }
    }
    std::string message;
    LONG status = FetchText(flags, source, messageId, languageId, message);
    if (status == ERROR_SUCCESS) {
      Arguments inserts(flags, arguments);
      status = ApplyEscapes(message, flags, inserts, text);
    }
    if (image != nullptr) {
      std::lock_guard<std::mutex> lock(image->fetchedMutex);
      if (image->fetched.size() < 4096) image->fetched.emplace(key, LoadedImage::Fetched{status, text});
    }
    return status;
  }

  LONG FetchText(DWORD flags, const void* source, DWORD messageId, DWORD languageId,
                 std::string& message) {
    if ((flags & FORMAT_MESSAGE_FROM_STRING) != 0) {
      if (source == nullptr) return ERROR_INVALID_PARAMETER;
      message = static_cast<const char*>(source);
      return ERROR_SUCCESS;
    }
    if (languageId > 0xFFFF) return ERROR_RESOURCE_LANG_NOT_FOUND;
    LONG status = ERROR_INVALID_PARAMETER;
    if ((flags & FORMAT_MESSAGE_FROM_HMODULE) != 0 && source != nullptr) {
      const auto image = handles_.Get(static_cast<HMODULE>(const_cast<void*>(source)));
      if (image == nullptr) return ERROR_INVALID_HANDLE;
      status = image->table.Find(messageId, static_cast<WORD>(languageId), UserDefaultLanguage(),
                                 message);
      if (status == ERROR_SUCCESS) return status;
    }
    if ((flags & FORMAT_MESSAGE_FROM_SYSTEM) != 0) return SystemText(messageId, message);
    if ((flags & FORMAT_MESSAGE_FROM_HMODULE) != 0 && source == nullptr) {
      return ERROR_RESOURCE_TYPE_NOT_FOUND;  // this program has no message table
    }
    return status;
  }

  HandleTable handles_;
  static constexpr size_t kRememberedPaths = 4096;
  std::mutex pathsMutex_;
  std::unordered_map<std::string, std::string> hostPaths_;
  std::unordered_map<std::string, std::string> languages_;
};

}  // namespace

WORD LanguageFromLocaleName(const char* name) {
  if (name == nullptr) return 0;
  std::string_view locale(name);
  locale = locale.substr(0, locale.find_first_of(".@"));
  if (locale == "C" || locale == "POSIX") return LANGID_ENGLISH_US;
  const std::string_view language = locale.substr(0, locale.find('_'));
  if (language.empty()) return 0;
  WORD first = 0;
  for (const LocaleLanguage& entry : kLocaleLanguages) {
    const std::string_view candidate(entry.name);
    if (candidate == locale) return entry.language;
    if (first == 0 && candidate.substr(0, candidate.find('_')) == language) first = entry.language;
  }
  return first;
}

WORD UserDefaultLanguage() {
  // Asked at every message fetched: the locale names are looked up again
  // only when one of the variables is another string than last time.
  thread_local const char* seen[3] = {};
  thread_local WORD known = 0;
  thread_local uint64_t stamp = 0;
  const uint64_t now = EnvironmentStamp();
  if (known != 0 && now == stamp) return known;
  stamp = now;
  const char* values[3] = {std::getenv("LC_ALL"), std::getenv("LC_MESSAGES"), std::getenv("LANG")};
  if (known != 0 && std::equal(values, values + 3, seen)) return known;
  std::copy(values, values + 3, seen);
  known = LANGID_ENGLISH_US;
  for (const char* value : values) {
    if (value == nullptr || *value == '\0') continue;
    const WORD language = LanguageFromLocaleName(value);
    if (language != 0) known = language;
    break;
  }
  return known;
}

void SetModuleCacheEnabled(bool enabled) {
  cacheEnabled.store(enabled, std::memory_order_relaxed);
  if (!enabled) Cache().Clear();
}

ModuleLoadCounters GetModuleLoadCounters() {
  return {fileReads.load(std::memory_order_relaxed), cacheHits.load(std::memory_order_relaxed)};
}

MessageModuleService& MessageModuleService::Default() {
  static DataFileModules modules;
  return modules;
}

}  // namespace platform

HMODULE LoadLibraryExA(const char* fileName, HANDLE file, DWORD flags) {
  return platform::Slot<platform::MessageModuleService>::Current().LoadLibraryEx(fileName, file,
                                                                                 flags);
}

BOOL FreeLibrary(HMODULE module) {
  return platform::Slot<platform::MessageModuleService>::Current().FreeLibrary(module);
}

DWORD FormatMessageA(DWORD flags, const void* source, DWORD messageId, DWORD languageId,
                     char* buffer, DWORD size, va_list* arguments) {
  return platform::Slot<platform::MessageModuleService>::Current().FormatMessage(
      flags, source, messageId, languageId, buffer, size, arguments);
}

HLOCAL LocalAlloc(UINT flags, size_t bytes) {
  return platform::Slot<platform::MessageModuleService>::Current().LocalAlloc(flags, bytes);
}

HLOCAL LocalFree(HLOCAL memory) {
  return platform::Slot<platform::MessageModuleService>::Current().LocalFree(memory);
}
