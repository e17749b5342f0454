#include "xlsx/sheet_comments.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "xlsx/errors.h"
#include "xlsx/sheet_elements.h"
#include "xlsx/workbook.h"
#include "xlsx/xml.h"

namespace brelix::xlsx {

namespace {

constexpr std::string_view kCommentsType = "application/vnd.openxmlformats-officedocument.spreadsheetml.comments+xml";
constexpr std::string_view kVmlType = "application/vnd.openxmlformats-officedocument.vmlDrawing";

constexpr const char kNewComments[] =
    "<comments xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><authors/><commentList/></comments>";
constexpr const char kNewDrawing[] =
    "<xml xmlns:v=\"urn:schemas-microsoft-com:vml\" xmlns:o=\"urn:schemas-microsoft-com:office:office\" "
    "xmlns:x=\"urn:schemas-microsoft-com:office:excel\"><o:shapelayout v:ext=\"edit\"><o:idmap v:ext=\"edit\" "
    "data=\"1\"/></o:shapelayout></xml>";
constexpr const char kNoteShapeType[] =
    "<v:shapetype xmlns:v=\"urn:schemas-microsoft-com:vml\" xmlns:o=\"urn:schemas-microsoft-com:office:office\" "
    "id=\"_x0000_t202\" coordsize=\"21600,21600\" o:spt=\"202\" path=\"m,l,21600r21600,l21600,xe\"><v:stroke "
    "joinstyle=\"miter\"/><v:path gradientshapeok=\"t\" o:connecttype=\"rect\"/></v:shapetype>";

// The note shape's cell (0-based row and column in the drawing), or nullopt for other shapes.
std::optional<std::pair<int, int>> NoteCell(const pugi::xml_node& shape) {
  const pugi::xml_node data = Child(shape, "ClientData");
  if (!data || std::strcmp(data.attribute("ObjectType").value(), "Note") != 0) return std::nullopt;
  const pugi::xml_node row = Child(data, "Row"), col = Child(data, "Column");
  if (!row || !col) return std::nullopt;
  return std::pair{row.text().as_int() + 1, col.text().as_int() + 1};
}

void SetText(pugi::xml_node parent, const char* qualified, const std::string& text) {
  pugi::xml_node n = Child(parent, LocalName(qualified));
  if (!n) n = parent.append_child(qualified);
  n.text().set(text.c_str());
}

// Moves the note shape to its new cell: its cell and its anchor (columns and rows of its
// corners).
void MoveShape(pugi::xml_node shape, int row, int col, int row_shift, int col_shift) {
  pugi::xml_node data = Child(shape, "ClientData");
  SetText(data, "x:Row", std::to_string(row - 1));
  SetText(data, "x:Column", std::to_string(col - 1));
  if (pugi::xml_node anchor = Child(data, "Anchor")) {
    int v[8];
    if (std::sscanf(anchor.text().get(), "%d , %d , %d , %d , %d , %d , %d , %d", &v[0], &v[1], &v[2], &v[3], &v[4],
                    &v[5], &v[6], &v[7]) == 8) {
      v[0] = std::max(0, v[0] + col_shift);
      v[4] = std::max(0, v[4] + col_shift);
      v[2] = std::max(0, v[2] + row_shift);
      v[6] = std::max(0, v[6] + row_shift);
      char text[128];
      std::snprintf(text, sizeof text, "%d, %d, %d, %d, %d, %d, %d, %d", v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7]);
      anchor.text().set(text);
    }
  }
}

// A hidden note shape for a comment that came without one.
void DefaultShape(pugi::xml_node drawing, int row, int col) {
  pugi::xml_node shape = drawing.append_child("v:shape");
  shape.append_attribute("type") = "#_x0000_t202";
  shape.append_attribute("style") =
      "position:absolute;margin-left:59.25pt;margin-top:1.5pt;width:108pt;height:59.25pt;z-index:1;visibility:hidden";
  shape.append_attribute("fillcolor") = "#ffffe1";
  shape.append_attribute("o:insetmode") = "auto";
  shape.append_child("v:fill").append_attribute("color2") = "#ffffe1";
  pugi::xml_node shadow = shape.append_child("v:shadow");
  shadow.append_attribute("on") = "t";
  shadow.append_attribute("color") = "black";
  shadow.append_attribute("obscured") = "t";
  shape.append_child("v:path").append_attribute("o:connecttype") = "none";
  shape.append_child("v:textbox").append_attribute("style") = "mso-direction-alt:auto";
  pugi::xml_node data = shape.append_child("x:ClientData");
  data.append_attribute("ObjectType") = "Note";
  data.append_child("x:MoveWithCells");
  data.append_child("x:SizeWithCells");
  char anchor[96];
  std::snprintf(anchor, sizeof anchor, "%d, 15, %d, 10, %d, 15, %d, 4", col, std::max(0, row - 2), col + 2, row + 2);
  data.append_child("x:Anchor").text().set(anchor);
  data.append_child("x:AutoFill").text().set("False");
  data.append_child("x:Row").text().set(std::to_string(row - 1).c_str());
  data.append_child("x:Column").text().set(std::to_string(col - 1).c_str());
}

}  // namespace

Worksheet::CommentParts& Worksheet::Comments() const {
  if (!comments_) comments_ = std::make_unique<CommentParts>();
  CommentParts& c = *comments_;
  if (c.loaded) return c;
  c.loaded = true;
  for (const Relationship& rel : Rels().List())
    if (rel.type.ends_with(rel_type::kComments) && !rel.external) c.comments_part = ResolveTarget(part_, rel.target);
  if (!c.comments_part.empty() && book_->HasPart(c.comments_part)) {
    c.comments_buffer = book_->PartText(c.comments_part);
    ParseXml(c.comments, c.comments_buffer, book_->FileName(), c.comments_part);
    for (pugi::xml_node comment : Child(c.comments.document_element(), "commentList").children())
      if (const auto pos = ParseCell(comment.attribute("ref").value())) c.comment_at[{pos->row, pos->col}] = comment;
  } else {
    c.comments_part.clear();
  }
  if (const pugi::xml_node legacy = Child(extras_.document_element(), "legacyDrawing"))
    if (const Relationship* rel = Rels().FindById(Attribute(legacy, "id").value()))
      c.vml_part = ResolveTarget(part_, rel->target);
  if (!c.vml_part.empty() && book_->HasPart(c.vml_part)) {
    c.vml_buffer = book_->PartText(c.vml_part);
    try {
      ParseXml(c.vml, c.vml_buffer, book_->FileName(), c.vml_part);
      c.vml_usable = true;
    } catch (const EXlsxError&) {
      c.vml_usable = false;  // not well-formed: kept as it is
    }
    if (c.vml_usable)
      for (pugi::xml_node shape : c.vml.document_element().children()) {
        if (LocalName(shape.name()) == "shapetype" && std::strcmp(shape.attribute("id").value(), "_x0000_t202") == 0)
          c.has_note_type = true;
        if (LocalName(shape.name()) != "shape") continue;
        if (const auto cell = NoteCell(shape)) c.shape_at[*cell] = shape;
        const char* id = shape.attribute("id").value();
        if (const char* s = std::strstr(id, "_s")) c.next_shape = std::max(c.next_shape, std::atoi(s + 2));
      }
  }
  c.next_shape = std::max(c.next_shape, 1024);
  return c;
}

bool Worksheet::MayHaveComments() const {
  if (comments_ && comments_->loaded) return !comments_->comment_at.empty();
  for (const Relationship& rel : Rels().List())
    if (rel.type.ends_with(rel_type::kComments)) return true;
  return false;
}

void Worksheet::CollectComments(const CellRange& range, CommentClip& clip) const {
  if (!MayHaveComments()) return;
  CommentParts& c = Comments();
  const pugi::xml_node authors = Child(c.comments.document_element(), "authors");
  for (auto it = c.comment_at.lower_bound({range.top, 0}); it != c.comment_at.end() && it->first.first <= range.bottom;
       ++it) {
    const auto [row, col] = it->first;
    if (col < range.left || col > range.right) continue;
    CommentClip::Item item{row, col, {}, clip.scratch.append_copy(it->second), {}};
    int author = it->second.attribute("authorId").as_int(-1);
    for (pugi::xml_node a : authors.children())
      if (LocalName(a.name()) == "author" && author-- == 0) item.author = a.text().get();
    if (const auto shape = c.shape_at.find(it->first); shape != c.shape_at.end()) {
      item.shape = clip.scratch.append_copy(shape->second);
      if (!clip.shape_type)
        for (pugi::xml_node t : c.vml.document_element().children())
          if (LocalName(t.name()) == "shapetype" && ("#" + std::string(t.attribute("id").value())) ==
                                                         shape->second.attribute("type").value())
            clip.shape_type = clip.scratch.append_copy(t);
    }
    clip.items.push_back(std::move(item));
  }
}

void Worksheet::RemoveComments(const CellRange& range) {
  if (!MayHaveComments()) return;
  CommentParts& c = Comments();
  for (auto it = c.comment_at.lower_bound({range.top, 0}); it != c.comment_at.end() && it->first.first <= range.bottom;) {
    const auto [row, col] = it->first;
    if (col < range.left || col > range.right) {
      ++it;
      continue;
    }
    it->second.parent().remove_child(it->second);
    if (const auto shape = c.shape_at.find(it->first); shape != c.shape_at.end()) {
      if (c.vml_usable) shape->second.parent().remove_child(shape->second);
      c.shape_at.erase(shape);
    }
    it = c.comment_at.erase(it);
    c.changed = true;
  }
}

void Worksheet::PasteComments(const CommentClip& clip, int row_shift, int col_shift) {
  if (clip.items.empty()) return;
  CommentParts& c = Comments();
  const std::string folder = [this] {
    const std::string& main = book_->workbook_part_;
    const auto slash = main.rfind('/');
    return slash == std::string::npos ? std::string() : main.substr(0, slash + 1);
  }();
  if (c.comments_part.empty()) {
    c.comments_part = book_->NewPartName(folder, "comments");
    book_->PutPart(c.comments_part, {});  // reserves the name
    book_->content_types_.SetOverride(c.comments_part, kCommentsType);
    Rels().Add(rel_type::kComments, RelativeTarget(part_, c.comments_part));
    c.comments_buffer = kNewComments;
    c.comments.load_buffer_inplace(c.comments_buffer.data(), c.comments_buffer.size());
  }
  if (c.vml_part.empty()) {
    c.vml_part = book_->NewPartName(folder + "drawings/", "vmlDrawing", ".vml");
    book_->PutPart(c.vml_part, {});
    book_->content_types_.EnsureDefault("vml", kVmlType);
    const std::string id = Rels().Add(rel_type::kVmlDrawing, RelativeTarget(part_, c.vml_part));
    DeclareRelationshipPrefix();
    pugi::xml_node legacy = sheet_elements::InsertElement(extras_.document_element(), "legacyDrawing");
    legacy.append_attribute("r:id") = id.c_str();
    c.vml_buffer = kNewDrawing;
    c.vml.load_buffer_inplace(c.vml_buffer.data(), c.vml_buffer.size());
    c.vml_usable = true;
  }
  pugi::xml_node root = c.comments.document_element();
  pugi::xml_node authors = Child(root, "authors");
  if (!authors) authors = root.prepend_child("authors");
  pugi::xml_node list = Child(root, "commentList");
  if (!list) list = root.insert_child_after("commentList", authors);
  pugi::xml_node drawing = c.vml.document_element();
  bool& has_note_type = c.has_note_type;

  for (const CommentClip::Item& item : clip.items) {
    const int row = item.row + row_shift, col = item.col + col_shift;
    int author = 0, index = 0;
    bool found = false;
    for (pugi::xml_node a : authors.children()) {
      if (LocalName(a.name()) != "author") continue;
      if (!found && item.author == a.text().get()) {
        author = index;
        found = true;
      }
      ++index;
    }
    if (!found) {
      authors.append_child("author").text().set(item.author.c_str());
      author = index;
    }
    if (const auto old = c.comment_at.find({row, col}); old != c.comment_at.end()) list.remove_child(old->second);
    pugi::xml_node comment = list.append_copy(item.comment);
    comment.attribute("ref").set_value(CellName(row, col).c_str());
    if (!comment.attribute("authorId")) comment.append_attribute("authorId");
    comment.attribute("authorId") = author;
    comment.remove_attribute("xr:uid");
    c.comment_at[{row, col}] = comment;
    c.changed = true;

    if (!c.vml_usable) continue;
    if (const auto old = c.shape_at.find({row, col}); old != c.shape_at.end()) drawing.remove_child(old->second);
    pugi::xml_node shape;
    if (item.shape) {
      if (!has_note_type && std::string_view(item.shape.attribute("type").value()) == "#_x0000_t202") {
        if (clip.shape_type) {
          drawing.append_copy(clip.shape_type);
        } else {
          pugi::xml_document type;
          type.load_string(kNoteShapeType);
          drawing.append_copy(type.document_element());
        }
        has_note_type = true;
      }
      shape = drawing.append_copy(item.shape);
      MoveShape(shape, row, col, row_shift, col_shift);
    } else {
      if (!has_note_type) {
        pugi::xml_document type;
        type.load_string(kNoteShapeType);
        drawing.append_copy(type.document_element());
        has_note_type = true;
      }
      DefaultShape(drawing, row, col);
      shape = drawing.last_child();
    }
    shape.remove_attribute("o:spid");
    if (!shape.attribute("id")) shape.prepend_attribute("id");
    shape.attribute("id") = ("_x0000_s" + std::to_string(++c.next_shape)).c_str();
    c.shape_at[{row, col}] = shape;
  }
}

void Worksheet::SaveComments() {
  if (!comments_ || !comments_->changed) return;
  book_->PutPart(comments_->comments_part, PrintDocument(comments_->comments));
  if (comments_->vml_usable) book_->PutPart(comments_->vml_part, PrintDocument(comments_->vml));
}

}  // namespace brelix::xlsx
