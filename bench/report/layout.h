/* The sales report's sheet layout, shared by the template generator and the raw writer so that
 * both put the same formats, column widths and row heights on the sheet.
 *
 * Template rows (1-based, as the form file's band ranges name them):
 *   1-2  title, merged A1:H2          (title band A1:H3)
 *   3    column headings              (title band)
 *   4    group header per region      (group header band A4:H4)
 *   5    one order                    (master data band A5:H5)
 *   6    totals of a region           (group footer band A6:H6)
 *   7    grand totals                 (summary band A7:H7)
 */
#ifndef BENCH_REPORT_LAYOUT_H
#define BENCH_REPORT_LAYOUT_H

#include <xlsxwriter.h>

#define LAYOUT_COLUMNS 8

/* Columns of the record row, in the order of the query. */
enum layout_column {
  COL_REGION,
  COL_CUSTOMER,
  COL_PRODUCT,
  COL_ORDER_NO,
  COL_QUANTITY,
  COL_UNIT_PRICE,
  COL_AMOUNT,
  COL_ORDER_DATE
};

/* The template rows, 0-based as the writer counts them. */
enum layout_row {
  ROW_TITLE = 0, /* and ROW_TITLE + 1: the merged title */
  ROW_HEADINGS = 2,
  ROW_GROUP_HEADER = 3,
  ROW_RECORD = 4,
  ROW_GROUP_FOOTER = 5,
  ROW_SUMMARY = 6,
  LAYOUT_ROWS = 7
};

/* The query both the report and the raw writer run. */
#define LAYOUT_QUERY                                                                     \
  "select region, customer, product, order_no, quantity, unit_price, amount, order_date " \
  "from sales order by region, order_no"

#define LAYOUT_SHEET "Report"
#define LAYOUT_TITLE "Sales by region"
#define LAYOUT_SUMMARY_LABEL "Grand total"

/* The formats of every template cell. */
struct layout_formats {
  lxw_format *title;
  lxw_format *heading[LAYOUT_COLUMNS];
  lxw_format *group_header[LAYOUT_COLUMNS];
  lxw_format *record[LAYOUT_COLUMNS];
  lxw_format *group_footer[LAYOUT_COLUMNS];
  lxw_format *summary[LAYOUT_COLUMNS];
};

/* Creates the formats in the workbook. */
void layout_add_formats(lxw_workbook *workbook, struct layout_formats *formats);

/* Sets the column widths of the sheet. */
void layout_set_columns(lxw_worksheet *sheet);

/* The row height of a template row in points, or 0 for the default height. */
double layout_row_height(int row);

/* The heading text of a column. */
const char *layout_heading(enum layout_column column);

/* The name of a database column (the query's column of that position). */
const char *layout_field(enum layout_column column);

/* The total written below a column in the group footer and the summary: "SUM", "AVG" or
 * "COUNT" (the cell-text function names), or NULL for none. */
const char *layout_total(enum layout_column column);

#define LAYOUT_GROUP_PREFIX "Region: "
#define LAYOUT_FOOTER_PREFIX "Total "

#endif
