#pragma once
// The comments of a worksheet: the comments part (texts and authors) and the note shapes of the
// sheet's legacy drawing, which place and show them. Read on first use by a clear or a copy and
// written again on save when changed; the cells' comments are indexed so that clearing and
// copying single cells stays cheap in sheets with many of them.

#include <pugixml.hpp>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "xlsx/cell_ref.h"
#include "xlsx/worksheet.h"

namespace brelix::xlsx {

struct Worksheet::CommentParts {
  using Cell = std::pair<int, int>;  // row, column

  bool loaded = false;
  bool changed = false;
  std::string comments_part;  // empty when the sheet has none
  std::string comments_buffer;
  pugi::xml_document comments;
  std::string vml_part;  // empty when the sheet has no legacy drawing
  std::string vml_buffer;
  pugi::xml_document vml;
  bool vml_usable = false;  // false when the drawing could not be read: it is then left alone
  std::map<Cell, pugi::xml_node> comment_at;
  std::map<Cell, pugi::xml_node> shape_at;
  int next_shape = 0;
  bool has_note_type = false;  // the drawing defines the note shape type
};

//! The comments of a range, taken for a copy.
struct CommentClip {
  struct Item {
    int row, col;
    std::string author;
    pugi::xml_node comment;  // in scratch
    pugi::xml_node shape;    // in scratch; null when the source has none
  };
  pugi::xml_document scratch;
  std::vector<Item> items;
  pugi::xml_node shape_type;  // the source's note shape type, in scratch
};

}  // namespace brelix::xlsx
