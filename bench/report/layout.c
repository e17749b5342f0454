/* The sales report's formats, column widths and row heights (see layout.h). */
#include "layout.h"

#include <string.h>

static const char *const kHeadings[LAYOUT_COLUMNS] = {
    "Region", "Customer", "Product", "Order no", "Quantity", "Unit price", "Amount", "Order date"};

static const char *const kFields[LAYOUT_COLUMNS] = {
    "region", "customer", "product", "order_no", "quantity", "unit_price", "amount", "order_date"};

static const char *const kTotals[LAYOUT_COLUMNS] = {NULL, NULL, NULL, "COUNT", "SUM", "AVG", "SUM", NULL};

static const double kWidths[LAYOUT_COLUMNS] = {16, 18, 16, 10, 10, 12, 14, 12};

/* Number formats of the record row and of the totals below each column (NULL: General). */
static const char *const kRecordFormats[LAYOUT_COLUMNS] = {
    NULL, NULL, NULL, "0", "#,##0", "#,##0.00", "#,##0.00", "yyyy-mm-dd"};
static const char *const kTotalFormats[LAYOUT_COLUMNS] = {
    NULL, NULL, NULL, "#,##0", "#,##0", "#,##0.00", "#,##0.00", NULL};

#define COLOR_TITLE 0x1F3864
#define COLOR_HEADING_FILL 0xD9E1F2
#define COLOR_GROUP_FILL 0xFCE4D6
#define COLOR_FOOTER_FILL 0xF2F2F2

/* The format of column c of a row, shared with an earlier column of that row that looks the
 * same: the writer hashes every format object it meets whose twin got an index first, so equal
 * formats are one object. */
static lxw_format *shared(lxw_format *const *row, int c, const char *const *num_formats, int aligned) {
  for (int k = 0; k < c; ++k) {
    const char *a = num_formats ? num_formats[k] : NULL, *b = num_formats ? num_formats[c] : NULL;
    const int same_format = (a == NULL && b == NULL) || (a && b && strcmp(a, b) == 0);
    const int same_align = !aligned || ((k >= COL_ORDER_NO && k <= COL_AMOUNT) == (c >= COL_ORDER_NO && c <= COL_AMOUNT));
    if (same_format && same_align) return row[k];
  }
  return NULL;
}

void layout_add_formats(lxw_workbook *workbook, struct layout_formats *formats) {
  lxw_format *title = workbook_add_format(workbook);
  format_set_bold(title);
  format_set_font_size(title, 16);
  format_set_font_color(title, COLOR_TITLE);
  format_set_align(title, LXW_ALIGN_CENTER);
  format_set_align(title, LXW_ALIGN_VERTICAL_CENTER);
  format_set_bottom(title, LXW_BORDER_MEDIUM);
  formats->title = title;

  for (int c = 0; c < LAYOUT_COLUMNS; ++c) {
    lxw_format *heading = shared(formats->heading, c, NULL, 1);
    if (!heading) {
      heading = workbook_add_format(workbook);
      format_set_bold(heading);
      format_set_bg_color(heading, COLOR_HEADING_FILL);
      format_set_border(heading, LXW_BORDER_THIN);
      format_set_align(heading, c >= COL_ORDER_NO && c <= COL_AMOUNT ? LXW_ALIGN_RIGHT : LXW_ALIGN_LEFT);
    }
    formats->heading[c] = heading;

    lxw_format *group = shared(formats->group_header, c, NULL, 0);
    if (!group) {
      group = workbook_add_format(workbook);
      format_set_bold(group);
      format_set_italic(group);
      format_set_bg_color(group, COLOR_GROUP_FILL);
      format_set_top(group, LXW_BORDER_THIN);
      format_set_bottom(group, LXW_BORDER_THIN);
    }
    formats->group_header[c] = group;

    lxw_format *record = shared(formats->record, c, kRecordFormats, 0);
    if (!record) {
      record = workbook_add_format(workbook);
      format_set_border(record, LXW_BORDER_THIN);
      if (kRecordFormats[c]) format_set_num_format(record, kRecordFormats[c]);
    }
    formats->record[c] = record;

    lxw_format *footer = shared(formats->group_footer, c, kTotalFormats, 0);
    if (!footer) {
      footer = workbook_add_format(workbook);
      format_set_bold(footer);
      format_set_bg_color(footer, COLOR_FOOTER_FILL);
      format_set_top(footer, LXW_BORDER_THIN);
      format_set_bottom(footer, LXW_BORDER_THIN);
      if (kTotalFormats[c]) format_set_num_format(footer, kTotalFormats[c]);
    }
    formats->group_footer[c] = footer;

    lxw_format *summary = shared(formats->summary, c, kTotalFormats, 0);
    if (!summary) {
      summary = workbook_add_format(workbook);
      format_set_bold(summary);
      format_set_font_size(summary, 12);
      format_set_top(summary, LXW_BORDER_DOUBLE);
      format_set_bottom(summary, LXW_BORDER_MEDIUM);
      if (kTotalFormats[c]) format_set_num_format(summary, kTotalFormats[c]);
    }
    formats->summary[c] = summary;
  }
}

void layout_set_columns(lxw_worksheet *sheet) {
  for (int c = 0; c < LAYOUT_COLUMNS; ++c) worksheet_set_column(sheet, (lxw_col_t)c, (lxw_col_t)c, kWidths[c], NULL);
}

double layout_row_height(int row) {
  switch (row) {
    case ROW_TITLE: return 21;
    case ROW_TITLE + 1: return 21;
    case ROW_HEADINGS: return 18;
    case ROW_GROUP_HEADER: return 19.5;
    case ROW_RECORD: return 0;
    case ROW_GROUP_FOOTER: return 18;
    case ROW_SUMMARY: return 21;
    default: return 0;
  }
}

const char *layout_heading(enum layout_column column) { return kHeadings[column]; }

const char *layout_field(enum layout_column column) { return kFields[column]; }

const char *layout_total(enum layout_column column) { return kTotals[column]; }
