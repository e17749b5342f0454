/* Writes the sales report's template workbook: one sheet whose rows 1 to 7 are the bands of
 * sales_report.form (layout.h), with field markers (#field, #SUM(field), ...) in the cells.
 *
 * usage: report_make_template OUT.xlsx
 */
#include <stdio.h>

#include "layout.h"

static void set_heights(lxw_worksheet *sheet) {
  for (int r = 0; r < LAYOUT_ROWS; ++r) {
    double height = layout_row_height(r);
    if (height > 0) worksheet_set_row(sheet, (lxw_row_t)r, height, NULL);
  }
}

/* Writes the cell text of a totals row: the label in column A, each column's total marker. */
static void write_totals(lxw_worksheet *sheet, lxw_row_t row, const char *label, lxw_format *const *formats) {
  char text[64];
  for (int c = 0; c < LAYOUT_COLUMNS; ++c) {
    const char *total = layout_total((enum layout_column)c);
    if (c == 0) {
      worksheet_write_string(sheet, row, 0, label, formats[0]);
    } else if (total) {
      snprintf(text, sizeof text, "#%s(%s)", total, layout_field((enum layout_column)c));
      worksheet_write_string(sheet, row, (lxw_col_t)c, text, formats[c]);
    } else {
      worksheet_write_blank(sheet, row, (lxw_col_t)c, formats[c]);
    }
  }
}

int main(int argc, char **argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: %s OUT.xlsx\n", argv[0]);
    return 2;
  }
  lxw_workbook *workbook = workbook_new(argv[1]);
  if (!workbook) {
    fprintf(stderr, "cannot create %s\n", argv[1]);
    return 1;
  }
  lxw_worksheet *sheet = workbook_add_worksheet(workbook, LAYOUT_SHEET);
  struct layout_formats f;
  layout_add_formats(workbook, &f);
  layout_set_columns(sheet);
  set_heights(sheet);

  worksheet_merge_range(sheet, ROW_TITLE, 0, ROW_TITLE + 1, LAYOUT_COLUMNS - 1, LAYOUT_TITLE, f.title);

  char text[64];
  for (int c = 0; c < LAYOUT_COLUMNS; ++c) {
    const enum layout_column column = (enum layout_column)c;
    worksheet_write_string(sheet, ROW_HEADINGS, (lxw_col_t)c, layout_heading(column), f.heading[c]);
    if (c == 0) {
      snprintf(text, sizeof text, "%s#%s", LAYOUT_GROUP_PREFIX, layout_field(COL_REGION));
      worksheet_write_string(sheet, ROW_GROUP_HEADER, 0, text, f.group_header[0]);
    } else {
      worksheet_write_blank(sheet, ROW_GROUP_HEADER, (lxw_col_t)c, f.group_header[c]);
    }
    snprintf(text, sizeof text, "#%s", layout_field(column));
    worksheet_write_string(sheet, ROW_RECORD, (lxw_col_t)c, text, f.record[c]);
  }
  snprintf(text, sizeof text, "%s#%s", LAYOUT_FOOTER_PREFIX, layout_field(COL_REGION));
  write_totals(sheet, ROW_GROUP_FOOTER, text, f.group_footer);
  write_totals(sheet, ROW_SUMMARY, LAYOUT_SUMMARY_LABEL, f.summary);

  lxw_error error = workbook_close(workbook);
  if (error != LXW_NO_ERROR) {
    fprintf(stderr, "cannot write %s: %s\n", argv[1], lxw_strerror(error));
    return 1;
  }
  return 0;
}
