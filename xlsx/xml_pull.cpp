#include "xlsx/xml_pull.h"

#include <charconv>
#include <cstring>

#include "xlsx/errors.h"

namespace brelix::xlsx {

namespace {

void AppendUtf8(std::string& out, unsigned code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

const char* Find(const char* from, const char* end, std::string_view what) {
  const std::string_view rest(from, static_cast<std::size_t>(end - from));
  const std::size_t at = rest.find(what);
  return at == std::string_view::npos ? nullptr : from + at;
}

}  // namespace

XmlPullReader::XmlPullReader(std::string_view text, std::string where, std::size_t base)
    : text_(text), where_(std::move(where)), base_(base), pos_(text.data()), end_(text.data() + text.size()) {}

void XmlPullReader::Fail(const char* at, const char* what) const {
  throw EXlsxError("Malformed XML in " + where_ + " at byte offset " +
                   std::to_string(base_ + static_cast<std::size_t>((at ? at : pos_) - text_.data())) + ": " + what);
}

void XmlPullReader::Decode(std::string_view raw, std::string& out, const char* at) const {
  std::size_t i = 0;
  while (i < raw.size()) {
    const std::size_t amp = raw.find('&', i);
    out.append(raw.substr(i, (amp == std::string_view::npos ? raw.size() : amp) - i));
    if (amp == std::string_view::npos) return;
    const std::size_t semi = raw.find(';', amp);
    if (semi == std::string_view::npos) Fail(at, "an unterminated reference");
    const std::string_view ref = raw.substr(amp + 1, semi - amp - 1);
    if (ref == "lt") out += '<';
    else if (ref == "gt") out += '>';
    else if (ref == "amp") out += '&';
    else if (ref == "quot") out += '"';
    else if (ref == "apos") out += '\'';
    else if (ref.size() > 1 && ref[0] == '#') {
      unsigned code = 0;
      const bool hex = ref[1] == 'x';
      const char* first = ref.data() + (hex ? 2 : 1);
      const auto result = std::from_chars(first, ref.data() + ref.size(), code, hex ? 16 : 10);
      if (result.ec != std::errc() || result.ptr != ref.data() + ref.size() || code > 0x10FFFF)
        Fail(at, "a malformed character reference");
      AppendUtf8(out, code);
    } else {
      Fail(at, "an unknown entity");
    }
    i = semi + 1;
  }
}

void XmlPullReader::AppendText(std::string_view raw, std::string& out) const {
  // Line ends read as a single line feed, as a parser reports them.
  const std::size_t first = out.size();
  if (raw.find('&') == std::string_view::npos) out.append(raw);
  else Decode(raw, out, raw.data());
  if (std::memchr(out.data() + first, '\r', out.size() - first) == nullptr) return;
  std::size_t w = first;
  for (std::size_t r = first; r < out.size(); ++r) {
    if (out[r] == '\r') {
      out[w++] = '\n';
      if (r + 1 < out.size() && out[r + 1] == '\n') ++r;
    } else {
      out[w++] = out[r];
    }
  }
  out.resize(w);
}

XmlPullReader::Tag XmlPullReader::Next() {
  for (;;) {
    const char* lt = static_cast<const char*>(std::memchr(pos_, '<', static_cast<std::size_t>(end_ - pos_)));
    if (!lt) {
      pos_ = end_;
      if (!open_.empty()) Fail(end_, "an element without its end tag");
      return {};
    }
    pos_ = lt;
    if (lt + 1 >= end_) Fail(lt, "a lone \"<\"");
    if (lt[1] == '!') {
      // A comment, or a CDATA section between elements (its text belongs to no element read).
      std::string_view close_mark;
      const char* body = nullptr;
      if (end_ - lt >= 4 && std::memcmp(lt, "<!--", 4) == 0) {
        close_mark = "-->";
        body = lt + 4;
      } else if (end_ - lt >= 9 && std::memcmp(lt, "<![CDATA[", 9) == 0) {
        close_mark = "]]>";
        body = lt + 9;
      } else {
        Fail(lt, "a declaration where elements were expected");
      }
      const char* close = Find(body, end_, close_mark);
      if (!close) Fail(lt, "an unterminated comment or CDATA section");
      pos_ = close + close_mark.size();
      continue;
    }
    if (lt[1] == '?') {
      const char* close = Find(lt + 2, end_, "?>");
      if (!close) Fail(lt, "an unterminated processing instruction");
      pos_ = close + 2;
      continue;
    }
    Tag tag;
    tag.begin = lt;
    const bool end_tag = lt[1] == '/';
    const char* p = lt + (end_tag ? 2 : 1);
    const char* name = p;
    while (p < end_ && !IsSpace(*p) && *p != '>' && *p != '/') ++p;
    if (p == name) Fail(lt, "a tag without a name");
    tag.name = std::string_view(name, static_cast<std::size_t>(p - name));
    const std::string_view qualified = tag.name;
    if (const auto colon = tag.name.find(':'); colon != std::string_view::npos) tag.name.remove_prefix(colon + 1);
    // The tag ends at the first ">" outside attribute values.
    const char* attributes = p;
    char quote = 0;
    while (p < end_ && (quote || *p != '>')) {
      if (quote) {
        if (*p == quote) quote = 0;
      } else if (*p == '"' || *p == '\'') {
        quote = *p;
      }
      ++p;
    }
    if (p == end_) Fail(lt, "an unterminated tag");
    const bool empty = !end_tag && p > attributes && p[-1] == '/';
    tag.attributes = std::string_view(attributes, static_cast<std::size_t>(p - attributes - (empty ? 1 : 0)));
    tag.kind = end_tag ? TagKind::End : empty ? TagKind::Empty : TagKind::Start;
    if (tag.kind == TagKind::Start) {
      open_.push_back(qualified);
    } else if (tag.kind == TagKind::End) {
      if (open_.empty() || open_.back() != qualified) Fail(lt, "end tag mismatch");
      open_.pop_back();
    }
    pos_ = p + 1;
    return tag;
  }
}

std::string XmlPullReader::ReadText() {
  std::string out;
  int depth = 0;
  for (;;) {
    const char* lt = static_cast<const char*>(std::memchr(pos_, '<', static_cast<std::size_t>(end_ - pos_)));
    if (!lt) Fail(pos_, "an element without its end tag");
    if (depth == 0) AppendText(std::string_view(pos_, static_cast<std::size_t>(lt - pos_)), out);
    pos_ = lt;
    if (end_ - lt >= 9 && std::memcmp(lt, "<![CDATA[", 9) == 0) {
      const char* close = Find(lt + 9, end_, "]]>");
      if (!close) Fail(lt, "an unterminated CDATA section");
      if (depth == 0) out.append(lt + 9, close);
      pos_ = close + 3;
      continue;
    }
    const Tag tag = Next();
    if (tag.kind == TagKind::Start) ++depth;
    else if (tag.kind == TagKind::End && depth-- == 0) return out;
    else if (tag.kind == TagKind::Done) Fail(pos_, "an element without its end tag");
  }
}

void XmlPullReader::Skip() {
  int depth = 0;
  for (;;) {
    const Tag tag = Next();
    if (tag.kind == TagKind::Start) ++depth;
    else if (tag.kind == TagKind::End && depth-- == 0) return;
    else if (tag.kind == TagKind::Done) Fail(pos_, "an element without its end tag");
  }
}

}  // namespace brelix::xlsx
