#pragma once
// Relationship parts (_rels/*.rels): which parts a part refers to, by id and type, and the
// resolution of their targets to part names.

#include <string>
#include <string_view>
#include <vector>

namespace brelix::xlsx {

namespace rel_type {
inline constexpr std::string_view kOfficeDocument = "/officeDocument";
inline constexpr std::string_view kWorksheet = "/worksheet";
inline constexpr std::string_view kChartsheet = "/chartsheet";
inline constexpr std::string_view kStyles = "/styles";
inline constexpr std::string_view kSharedStrings = "/sharedStrings";
inline constexpr std::string_view kCalcChain = "/calcChain";
inline constexpr std::string_view kHyperlink = "/hyperlink";
inline constexpr std::string_view kComments = "/comments";
inline constexpr std::string_view kVmlDrawing = "/vmlDrawing";
//! The prefix of the transitional relationship types the engine writes.
inline constexpr std::string_view kPrefix = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
}  // namespace rel_type

struct Relationship {
  std::string id;
  std::string type;
  std::string target;
  bool external = false;
};

class Relationships {
 public:
  //! Parses a relationships part; throws EXlsxError naming the file and the part when malformed.
  void Parse(std::string xml, std::string_view file, std::string_view part);

  const std::vector<Relationship>& List() const { return list_; }
  const Relationship* FindById(std::string_view id) const;
  //! The first relationship whose type ends with the suffix (such as rel_type::kStyles), so that
  //! transitional and strict type names both match.
  const Relationship* FindByType(std::string_view suffix) const;
  //! Adds a relationship of type kPrefix + suffix with a fresh id and returns the id; an
  //! external one points outside the package (TargetMode="External").
  std::string Add(std::string_view type_suffix, std::string_view target, bool external = false);
  void Remove(std::string_view id);

  bool Changed() const { return changed_; }
  std::string Print() const;

 private:
  std::vector<Relationship> list_;
  bool changed_ = false;
};

//! The relationships part of a part: "xl/workbook.xml" gives "xl/_rels/workbook.xml.rels", the
//! package ("") gives "_rels/.rels".
std::string RelsPartOf(std::string_view part);
//! The part name a target of the part's relationships points to: "worksheets/sheet1.xml" from
//! "xl/workbook.xml" gives "xl/worksheets/sheet1.xml"; "/xl/x.xml" is absolute; "../" climbs.
std::string ResolveTarget(std::string_view source_part, std::string_view target);
//! The target text for target_part relative to the folder of source_part.
std::string RelativeTarget(std::string_view source_part, std::string_view target_part);

}  // namespace brelix::xlsx
