// Reads arbitrary bytes as a .reg file; whatever reads must write back to a
// file that reads as the same tree, and writing that tree again must give
// the same bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/registry/reg_file.h"

namespace {

using platform::reg::Document;
using platform::reg::Key;
using platform::reg::ParseError;

// Written keys come back as sections; keys with nothing below them are
// always written. The root itself is never a section.
bool Shows(const Key& key) {
  return key.section || !key.values().empty() || key.children().empty();
}

bool SameTree(const Key& a, const Key& b) {
  std::vector<std::pair<const Key*, const Key*>> pending{{&a, &b}};
  bool top = true;
  while (!pending.empty()) {
    const auto [x, y] = pending.back();
    pending.pop_back();
    if (x->name() != y->name() || x->children().size() != y->children().size() ||
        x->values().size() != y->values().size()) {
      return false;
    }
    if (!top && Shows(*x) != Shows(*y)) return false;
    top = false;
    for (size_t i = 0; i < x->values().size(); ++i) {
      const auto& u = x->values()[i];
      const auto& v = y->values()[i];
      if (u.name != v.name || u.type != v.type || u.data != v.data) return false;
    }
    for (size_t i = 0; i < x->children().size(); ++i) {
      pending.emplace_back(x->children()[i].get(), y->children()[i].get());
    }
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Document doc;
  ParseError error;
  if (!platform::reg::ParseRegFile(std::string_view(reinterpret_cast<const char*>(data), size),
                                   doc, error)) {
    if (error.line == 0 || error.message.empty()) std::abort();
    return 0;
  }
  const std::string written = platform::reg::WriteRegFile(doc);
  Document again;
  if (!platform::reg::ParseRegFile(written, again, error)) std::abort();
  if (again.dialect != doc.dialect || again.encoding != doc.encoding || again.crlf != doc.crlf ||
      !SameTree(doc.root, again.root)) {
    std::abort();
  }
  if (platform::reg::WriteRegFile(again) != written) std::abort();
  return 0;
}
