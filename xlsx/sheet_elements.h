#pragma once
// The sheet elements that apply to areas of cells and that the worksheet keeps as XML rather
// than per cell: conditional formats, data validations (both also in their extension forms
// inside <extLst>) and hyperlinks. Clearing a range takes the range out of their areas; copying
// a range carries the parts of them inside it to the destination as copy and paste does, and
// joins a copied element with an equal one already there so that repeated copies of one row
// leave one element with one area.

#include <pugixml.hpp>

#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "xlsx/cell_ref.h"

namespace brelix::xlsx::sheet_elements {

//! The rank of a sheet element in the order the schema gives the sheet's children; previous
//! for an element the schema does not name (it stays where it was).
int ElementRank(std::string_view local_name, int previous);

//! A new sheet element with the local name, inserted among the sheet's elements (the children
//! of extras) where the schema's order puts it.
pugi::xml_node InsertElement(pugi::xml_node extras, const char* local_name);

//! Area lists as the sheet stores them (sqref): ranges separated by blanks.
std::vector<CellRange> ParseAreas(std::string_view text);
std::string PrintAreas(const std::vector<CellRange>& areas);
//! Adds area to areas, joining it with areas it touches along a whole side (and dropping those
//! it covers), so that the list stays short.
void AddArea(std::vector<CellRange>& areas, const CellRange& area);

//! The elements of a sheet by what they join on, kept from copy to copy, so that a copy finds
//! the element it joins without comparing itself with every element of the sheet.
class ElementIndex {
 public:
  //! Forgets the element, before it is removed.
  void Forget(const pugi::xml_node& node);

 private:
  friend class Clipboard;
  void Put(const std::string& key, const pugi::xml_node& node);

  bool built_ = false;
  std::unordered_map<std::string, pugi::xml_node> by_key_;  // the element last joined or added
  std::unordered_map<const void*, std::string> key_of_;
};

//! Takes range out of the areas of every element below extras (the sheet's elements); elements
//! left without cells go (and leave index), and so do containers left empty. Relative
//! references in the formulas of an element whose top-left cell moved are rewritten for the
//! new one.
void Trim(pugi::xml_node extras, const CellRange& range, ElementIndex* index = nullptr);

//! How a copy maps what refers to other parts: differential formats of conditional formats
//! (identity when null) and the relationships of hyperlinks.
struct CopyMaps {
  std::function<int(int)> dxf;
  //! The target of a relationship of the source sheet and whether it is external; empty when
  //! the source has none of that id.
  std::function<std::pair<std::string, bool>(std::string_view id)> source_link;
  //! The target of a relationship of the destination sheet (as source_link).
  std::function<std::pair<std::string, bool>(std::string_view id)> destination_link;
  //! Adds a hyperlink relationship to the destination sheet and returns its id.
  std::function<std::string(const std::string& target, bool external)> add_link;
};

//! The parts of the source's elements inside a range, moved for pasting: taken (Collect) before
//! the destination is cleared, since source and destination may be one sheet, and put into the
//! destination (Paste) after.
class Clipboard {
 public:
  void Collect(pugi::xml_node source_extras, const CellRange& source, int row_shift, int col_shift,
               const CopyMaps& maps);
  bool Empty() const { return pieces_.empty(); }
  //! Adds the pieces to the destination's elements, joining equal ones found through index
  //! (the destination's).
  void Paste(pugi::xml_node destination_extras, const CopyMaps& maps, ElementIndex& index);

 private:
  struct Piece {
    int kind;
    pugi::xml_node node;  // in scratch_
    std::string prefix;   // the namespace prefix of an extension element, with ":"
  };
  pugi::xml_document scratch_;
  std::vector<Piece> pieces_;
};

}  // namespace brelix::xlsx::sheet_elements
