#pragma once
// The package's [Content_Types].xml: the content type of each part, by override for the part's
// name or by default for its extension.

#include <pugixml.hpp>

#include <string>
#include <string_view>

namespace brelix::xlsx {

inline constexpr std::string_view kContentTypesPart = "[Content_Types].xml";

class ContentTypes {
 public:
  //! Parses the part; throws EXlsxError naming the file and part when malformed.
  void Parse(std::string xml, std::string_view file);
  //! A package with only the defaults for relationships and XML parts.
  void InitEmpty();

  //! The content type of the part (name with or without a leading "/"); empty when unknown.
  std::string TypeOf(std::string_view part) const;
  //! Sets the override of the part.
  void SetOverride(std::string_view part, std::string_view type);
  void RemoveOverride(std::string_view part);
  //! Adds a default for the extension unless there is one.
  void EnsureDefault(std::string_view extension, std::string_view type);

  bool Changed() const { return changed_; }
  std::string Print() const;

 private:
  pugi::xml_node FindOverride(std::string_view part) const;

  std::string buffer_;
  pugi::xml_document doc_;
  bool changed_ = false;
};

}  // namespace brelix::xlsx
