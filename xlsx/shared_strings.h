#pragma once
// The workbook's shared string table (xl/sharedStrings.xml). Cells refer to entries by index;
// the engine never removes or reorders entries, so the cells of sheets it does not rewrite keep
// pointing at the same texts. Rich-text entries keep their runs as stored and read as their
// plain text.

#include <pugixml.hpp>

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "xlsx/zip_package.h"

namespace brelix::xlsx {

inline constexpr std::string_view kSharedStringsType =
    "application/vnd.openxmlformats-officedocument.spreadsheetml.sharedStrings+xml";

//! The plain text of a string item (<si> or an inline <is>): its <t>, or its runs' <t>s joined;
//! phonetic runs are left out and _xHHHH_ escapes decoded.
std::string StringItemText(const pugi::xml_node& item);
//! True when the item is one plain <t> and nothing else.
bool IsPlainStringItem(const pugi::xml_node& item);
//! Appends <t>text</t>, with xml:space="preserve" when blanks at either end or line breaks
//! would otherwise be lost.
void AppendTextElement(std::string& out, std::string_view text);

class SharedStrings {
 public:
  //! Parses the part; throws EXlsxError naming file and part when malformed.
  void Parse(std::string xml, std::string_view file, std::string_view part);

  std::uint32_t Count() const { return static_cast<std::uint32_t>(texts_.size()); }
  //! The plain text of the entry; an index past the end gives an empty text.
  const std::string& Text(std::uint32_t index) const;
  //! The runs of a rich-text entry as stored (the children of its <si>); empty for plain ones.
  std::string_view RichXml(std::uint32_t index) const;
  //! The index of a plain entry with the text, added when there is none.
  std::uint32_t Add(std::string_view text);
  //! Adds an entry with the runs of a rich-text item (the children of an <si> or <is>) and its
  //! plain text; identical runs already present are reused.
  std::uint32_t AddRich(std::string_view text, std::string runs_xml);

  //! True when entries were added since the table was read.
  bool Changed() const { return changed_; }
  //! Streams the part.
  ChunkProducer Writer() const;

 private:
  void BuildIndex();

  std::deque<std::string> texts_;  // a deque, so the index's views stay valid as it grows
  std::unordered_map<std::uint32_t, std::string> rich_;
  std::unordered_map<std::string_view, std::uint32_t> plain_index_;
  std::unordered_map<std::string, std::uint32_t> rich_index_;
  bool indexed_ = false;
  bool changed_ = false;
  std::string root_attributes_;  // namespace declarations of the stored root, kept on rewrite
};

}  // namespace brelix::xlsx
