// Reads arbitrary bytes as a .reg file; whatever reads must write back to a
// file that reads as the same tree, and writing that tree again must give
// the same bytes.
#include <algorithm>

#include "fuzz_target.h"
#include "platform/registry/reg_file.h"

using platform::reg::Document;
using platform::reg::Key;
using platform::reg::ParseError;

// Written keys come back as sections; keys with nothing below them are
// always written. The root itself is never a section.
static bool Shows(const Key& key) { return key.section || !key.values().empty() || key.children().empty(); }

static bool SameTree(const Key& x, const Key& y, bool top = true) {
  const auto same = [](const auto& u, const auto& v) {
    return u.name == v.name && u.type == v.type && u.data == v.data;
  };
  if (x.name() != y.name() || x.children().size() != y.children().size() || (!top && Shows(x) != Shows(y)) ||
      !std::equal(x.values().begin(), x.values().end(), y.values().begin(), y.values().end(), same)) {
    return false;
  }
  for (size_t i = 0; i < x.children().size(); ++i)
    if (!SameTree(*x.children()[i], *y.children()[i], false)) return false;
  return true;
}

FUZZ_TARGET(bytes, text) {
  Document doc;
  ParseError error;
  if (!platform::reg::ParseRegFile(text, doc, error)) {
    if (error.line == 0 || error.message.empty()) std::abort();
    return;
  }
  const std::string written = platform::reg::WriteRegFile(doc);
  Document again;
  if (!platform::reg::ParseRegFile(written, again, error)) std::abort();
  if (again.dialect != doc.dialect || again.encoding != doc.encoding || again.crlf != doc.crlf ||
      !SameTree(doc.root, again.root)) {
    std::abort();
  }
  if (platform::reg::WriteRegFile(again) != written) std::abort();
}
