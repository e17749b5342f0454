#pragma once
// The workbook's stylesheet (xl/styles.xml): cell formats (cellXfs) and the fonts, fills,
// borders and number formats they refer to. New formats are derived from an existing one with
// one thing changed, or imported by value from another workbook's stylesheet; an identical
// existing entry is reused rather than added again. Everything else in the part (cell styles,
// differential formats, colours, table styles, extensions) is kept as it is.

#include <pugixml.hpp>

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace brelix::xlsx {

inline constexpr std::string_view kStylesType = "application/vnd.openxmlformats-officedocument.spreadsheetml.styles+xml";

enum class Underline { None, Single, Double, SingleAccounting, DoubleAccounting };

//! A colour as 0xRRGGBB.
using Rgb = std::uint32_t;

//! Font settings to change; unset members stay as they are.
struct FontChange {
  std::optional<std::string> name = {};
  std::optional<double> size = {};  //!< points
  std::optional<Rgb> color = {};
  std::optional<bool> bold = {}, italic = {}, strikethrough = {};
  std::optional<Underline> underline = {};
};

//! The font of a cell format as far as the engine reads it.
struct FontInfo {
  std::string name;
  double size = 11;
  std::optional<Rgb> color;  //!< unset for theme, indexed or automatic colours
  bool bold = false, italic = false, strikethrough = false;
  Underline underline = Underline::None;
};

class Stylesheet {
 public:
  //! Parses the part; throws EXlsxError naming file and part when malformed.
  void Parse(std::string xml, std::string_view file, std::string_view part);
  //! The minimal stylesheet of a new workbook: one font, the two required fills, one border,
  //! one cell format.
  void InitDefault();

  int XfCount() const { return static_cast<int>(xfs_.size()); }
  FontInfo Font(int xf) const;
  //! The number format code of the format ("General" for id 0, the built-in code for built-in ids).
  std::string NumberFormatCode(int xf) const;
  //! True when the number format shows dates or times.
  bool IsDateFormat(int xf) const;
  //! The solid fill colour of the format, if it has one given as RGB.
  std::optional<Rgb> FillColor(int xf) const;

  //! The format xf with the font changed.
  int WithFont(int xf, const FontChange& change);
  //! The format xf with a solid fill of the colour.
  int WithFillColor(int xf, Rgb color);
  //! The format xf with the number format code.
  int WithNumberFormat(int xf, std::string_view code);
  //! The format xf showing a date (built-in short date) or a date with time.
  int WithDateFormat(int xf, bool with_time);
  //! The format xf showing a percentage with the decimals.
  int WithPercentFormat(int xf, int decimals);
  //! The id of a number format code: a custom one already present, a built-in one, or a new
  //! custom one.
  int NumberFormatId(std::string_view code);

  //! The format of this stylesheet equal by value to format xf of other (font, fill, border,
  //! number format, alignment, protection), added when there is none.
  int Import(const Stylesheet& other, int xf);

  //! The differential format (conditional formats' dxfs) of this stylesheet equal to entry dxf
  //! of other, added when there is none; -1 when other has no such entry.
  int ImportDxf(const Stylesheet& other, int dxf);

  bool Changed() const { return changed_; }
  std::string Print() const;

 private:
  void Index();
  pugi::xml_node Section(const char* name);
  pugi::xml_node XfNode(int xf) const;
  pugi::xml_node Entry(const std::vector<pugi::xml_node>& list, const char* attribute, int xf) const;
  //! The index of an entry equal to node in list (canonical form), appended to section when none.
  int FindOrAdd(std::vector<pugi::xml_node>& list, std::unordered_map<std::string, int>& keys, const char* section,
                const pugi::xml_node& node);
  int AddXf(const pugi::xml_node& xf);

  std::string buffer_;
  pugi::xml_document doc_;
  std::vector<pugi::xml_node> fonts_, fills_, borders_, xfs_, dxfs_;
  std::unordered_map<std::string, int> font_keys_, fill_keys_, border_keys_, xf_keys_, dxf_keys_;
  std::map<int, std::string> custom_formats_;
  bool changed_ = false;
};

//! The code of a built-in number format id; empty when the id is not built in.
std::string_view BuiltinNumberFormat(int id);

}  // namespace brelix::xlsx
