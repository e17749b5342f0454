#pragma once
// A small pull reader for the flat, regular XML of a sheet's cell data: it walks tags in place
// over the text without building a tree, so that reading a sheet of a million cells costs the
// cells, not a node per element, attribute and text. It reads what well-formed parts hold there
// (elements, attributes in either quote, entity and character references, CDATA, comments,
// processing instructions); malformed input makes it throw EXlsxError with the byte offset.

#include <string>
#include <string_view>
#include <vector>

namespace brelix::xlsx {

class XmlPullReader {
 public:
  enum class TagKind { Start, End, Empty, Done };
  struct Tag {
    TagKind kind = TagKind::Done;
    std::string_view name;        //!< local name, without a namespace prefix
    std::string_view attributes;  //!< the raw text between the name and ">" or "/>"
    const char* begin = nullptr;  //!< the tag's "<"
  };

  //! Reads text; where names an error's origin (the part), base is the text's offset in it for
  //! the offsets errors give. The text must outlive the reader.
  XmlPullReader(std::string_view text, std::string where, std::size_t base = 0);

  //! The next start, end or empty-element tag, skipping text, comments and processing
  //! instructions; kind Done at the end of the text. An end tag that does not close the open
  //! element, and elements left open at the end, are errors.
  Tag Next();
  //! After a Start tag: the element's text (character data and CDATA joined, references decoded,
  //! line ends normalised), up to and including its end tag; child elements are skipped.
  std::string ReadText();
  //! After a Start tag: skips to after its end tag.
  void Skip();
  //! The offset of the reading position in the text.
  std::size_t Offset() const { return static_cast<std::size_t>(pos_ - text_.data()); }
  const char* Position() const { return pos_; }

  //! Calls fn(local_name, value) for each attribute of the tag, values decoded.
  template <class Fn>
  void Attributes(const Tag& tag, Fn fn) const {
    std::string_view a = tag.attributes;
    std::string value;
    while (true) {
      std::size_t i = 0;
      while (i < a.size() && IsSpace(a[i])) ++i;
      if (i == a.size()) return;
      const std::size_t name_begin = i;
      while (i < a.size() && a[i] != '=' && !IsSpace(a[i])) ++i;
      std::string_view name = a.substr(name_begin, i - name_begin);
      while (i < a.size() && IsSpace(a[i])) ++i;
      if (i == a.size() || a[i] != '=') Fail(tag.begin, "an attribute without a value");
      ++i;
      while (i < a.size() && IsSpace(a[i])) ++i;
      if (i == a.size() || (a[i] != '"' && a[i] != '\'')) Fail(tag.begin, "an attribute value without quotes");
      const char quote = a[i++];
      const std::size_t end = a.find(quote, i);
      if (end == std::string_view::npos) Fail(tag.begin, "an unterminated attribute value");
      const std::string_view raw = a.substr(i, end - i);
      if (const auto colon = name.find(':'); colon != std::string_view::npos && name.substr(0, colon) != "xmlns")
        name.remove_prefix(colon + 1);
      if (raw.find('&') == std::string_view::npos) {
        fn(name, raw);
      } else {
        value.clear();
        Decode(raw, value, tag.begin);
        fn(name, std::string_view(value));
      }
      a.remove_prefix(end + 1);
    }
  }

  //! Appends text with entity and character references decoded.
  void Decode(std::string_view raw, std::string& out, const char* at) const;

 private:
  static bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
  [[noreturn]] void Fail(const char* at, const char* what) const;
  void AppendText(std::string_view raw, std::string& out) const;

  std::string_view text_;
  std::string where_;
  std::size_t base_;
  std::vector<std::string_view> open_;  // the qualified names of the open elements
  const char* pos_;
  const char* end_;
};

}  // namespace brelix::xlsx
