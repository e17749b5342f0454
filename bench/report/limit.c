/* The raw-writer limit of the sales report: reads the same rows from SQLite with plain sqlite3
 * calls and writes, with libxlsxwriter and without any template, the cells the report run writes
 * for sales_report.form: the merged title and headings, a header row per region, one row per
 * order, a footer row per region with COUNT, SUM and AVERAGE formulas over its order rows, and a
 * summary row whose formulas sum the footer cells (the average goes back to the order rows), with
 * the template's formats, column widths and row heights (layout.c).
 *
 * usage: report_limit [--shared-strings] DB OUT.xlsx
 *   By default the writer streams rows (constant memory, strings inline), the cheapest way to
 *   write the sheet; --shared-strings keeps all cells in memory and writes a shared string table.
 */
#define _POSIX_C_SOURCE 200809L

#include <sqlite3.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include "layout.h"

/* The most arguments in one function call and the most argument groups in one formula, and the
 * longest formula text; beyond them a total is written as its value. */
#define MAX_ARGS 30
#define MAX_FORMULA 1023

/* One region's output: its report rows (0-based) and its running totals. */
struct group {
  lxw_row_t first_record, last_record, footer;
};

struct totals {
  long count;
  double quantity, amount, price_mean;
};

struct groups {
  struct group *items;
  size_t count, capacity;
};

static void fail(const char *what, const char *detail) {
  fprintf(stderr, "report_limit: %s: %s\n", what, detail);
  exit(1);
}

static struct group *add_group(struct groups *groups) {
  if (groups->count == groups->capacity) {
    groups->capacity = groups->capacity ? 2 * groups->capacity : 64;
    groups->items = realloc(groups->items, groups->capacity * sizeof *groups->items);
    if (!groups->items) fail("memory", "out of memory");
  }
  struct group *g = &groups->items[groups->count++];
  memset(g, 0, sizeof *g);
  return g;
}

/* Appends the A1 address of a 0-based row and column ("G5"). */
static size_t put_cell(char *out, lxw_row_t row, int col) {
  return (size_t)sprintf(out, "%c%u", 'A' + col, (unsigned)row + 1);
}

/* The argument list of a formula, grouped by MAX_ARGS arguments as the report engine does. */
struct args {
  char text[2 * MAX_FORMULA + 64];
  char scratch[64]; /* where arguments go once the text is too long for any formula */
  int overflow;
  size_t length;
  int in_group; /* arguments in the current group */
  int groups;   /* completed groups */
  size_t group_start;
};

/* Starts a new argument, closing the current group when it is full; "####" stands for the
 * function name of the inner calls and is filled in by finish_formula. */
static char *next_arg(struct args *a) {
  if (a->overflow || a->length + 32 > 2 * MAX_FORMULA) {
    a->overflow = 1;
    return a->scratch;
  }
  if (a->in_group == MAX_ARGS) {
    /* Turn "x,y,..." since group_start into "####(x,y,...)". */
    size_t n = a->length - a->group_start;
    memmove(a->text + a->group_start + 5, a->text + a->group_start, n);
    memcpy(a->text + a->group_start, "####(", 5);
    a->length += 5;
    a->text[a->length++] = ')';
    a->groups++;
    a->in_group = 0;
  }
  if (a->length > 0) a->text[a->length++] = ',';
  if (a->in_group == 0) a->group_start = a->length;
  a->in_group++;
  return a->text + a->length;
}

static void add_single(struct args *a, lxw_row_t row, int col) {
  const size_t n = put_cell(next_arg(a), row, col);
  if (!a->overflow) a->length += n;
}

static void add_range(struct args *a, lxw_row_t first, lxw_row_t last, int col) {
  char *p = next_arg(a);
  size_t n = put_cell(p, first, col);
  if (last > first) {
    p[n++] = ':';
    n += put_cell(p + n, last, col);
  }
  if (!a->overflow) a->length += n;
}

/* Replaces every "####" in src by name, into dst. */
static void fill_names(char *dst, const char *src, const char *name) {
  const size_t name_length = strlen(name);
  while (*src) {
    if (strncmp(src, "####", 4) == 0) {
      memcpy(dst, name, name_length);
      dst += name_length;
      src += 4;
    } else {
      *dst++ = *src++;
    }
  }
  *dst = '\0';
}

/* Builds "=FUNC(args)" into out; returns 0 when the formula would be too long or have too many
 * groups, so that the value is written instead. */
static int finish_formula(struct args *a, const char *func, char *out, size_t size) {
  if (a->overflow) return 0;
  a->text[a->length] = '\0';
  int n;
  if (a->groups == 0) {
    n = snprintf(out, size, "=%s(%s)", func, a->text);
  } else {
    if (a->groups + (a->in_group > 0) > MAX_ARGS) return 0;
    if (a->in_group > 0) {
      /* The open group becomes the last group. */
      const size_t length = a->length - a->group_start;
      memmove(a->text + a->group_start + 5, a->text + a->group_start, length);
      memcpy(a->text + a->group_start, "####(", 5);
      a->length += 5;
      a->text[a->length++] = ')';
      a->text[a->length] = '\0';
    }
    /* Every "####" becomes at most five characters ("COUNT"). */
    char inner[sizeof a->text * 2], counts[sizeof a->text * 2];
    if (strcmp(func, "AVERAGE") == 0) {
      fill_names(inner, a->text, "SUM");
      fill_names(counts, a->text, "COUNT");
      n = snprintf(out, size, "=SUM(%s) / SUM(%s)", inner, counts);
    } else {
      /* Inner counts are added up by the outer call. */
      const char *outer = strcmp(func, "COUNT") == 0 ? "SUM" : func;
      fill_names(inner, a->text, func);
      n = snprintf(out, size, "=%s(%s)", outer, inner);
    }
  }
  return n > 0 && (size_t)n < size && n - 1 <= MAX_FORMULA;
}

/* The spreadsheet function of a cell-text total. */
static const char *function_of(const char *total) { return strcmp(total, "AVG") == 0 ? "AVERAGE" : total; }

/* A value as the report writes a total it cannot express as a formula: rounded to 15
 * significant digits. */
static double as_written(double value) {
  char text[32];
  snprintf(text, sizeof text, "%.15g", value);
  return strtod(text, NULL);
}

static double total_value(const struct totals *t, enum layout_column c) {
  switch (c) {
    case COL_ORDER_NO: return (double)t->count;
    case COL_QUANTITY: return t->quantity;
    case COL_UNIT_PRICE: return t->price_mean;
    case COL_AMOUNT: return t->amount;
    default: return 0;
  }
}

static void write_total(lxw_worksheet *sheet, lxw_row_t row, int col, struct args *args, const char *func,
                        double value, lxw_format *format) {
  char formula[MAX_FORMULA + 2];
  if (finish_formula(args, func, formula, sizeof formula))
    worksheet_write_formula(sheet, row, (lxw_col_t)col, formula, format);
  else
    worksheet_write_number(sheet, row, (lxw_col_t)col, as_written(value), format);
}

/* A footer row: the label and, below each totalled column, the total over the group's records. */
static void write_footer(lxw_worksheet *sheet, const struct layout_formats *f, const struct group *g,
                         const char *region, const struct totals *t) {
  char label[256];
  snprintf(label, sizeof label, "%s%s", LAYOUT_FOOTER_PREFIX, region);
  worksheet_set_row(sheet, g->footer, layout_row_height(ROW_GROUP_FOOTER), NULL);
  worksheet_write_string(sheet, g->footer, 0, label, f->group_footer[0]);
  for (int c = 1; c < LAYOUT_COLUMNS; ++c) {
    const char *total = layout_total((enum layout_column)c);
    if (!total) {
      worksheet_write_blank(sheet, g->footer, (lxw_col_t)c, f->group_footer[c]);
      continue;
    }
    struct args args = {0};
    add_range(&args, g->first_record, g->last_record, c);
    write_total(sheet, g->footer, c, &args, function_of(total), total_value(t, (enum layout_column)c),
                f->group_footer[c]);
  }
}

/* The summary row: sums and counts over the footer cells, the average over all record rows. */
static void write_summary(lxw_worksheet *sheet, const struct layout_formats *f, const struct groups *groups,
                          lxw_row_t row, const struct totals *t) {
  worksheet_set_row(sheet, row, layout_row_height(ROW_SUMMARY), NULL);
  worksheet_write_string(sheet, row, 0, LAYOUT_SUMMARY_LABEL, f->summary[0]);
  for (int c = 1; c < LAYOUT_COLUMNS; ++c) {
    const char *total = layout_total((enum layout_column)c);
    if (!total) {
      worksheet_write_blank(sheet, row, (lxw_col_t)c, f->summary[c]);
      continue;
    }
    const int average = strcmp(total, "AVG") == 0;
    if (groups->count == 0) {
      worksheet_write_number(sheet, row, (lxw_col_t)c, 0, f->summary[c]);
      continue;
    }
    static struct args args;
    memset(&args, 0, sizeof args);
    for (size_t i = 0; i < groups->count; ++i) {
      const struct group *g = &groups->items[i];
      if (average)
        add_range(&args, g->first_record, g->last_record, c);
      else
        add_single(&args, g->footer, c);
    }
    /* Counts of the groups are added up. */
    const char *func = average ? "AVERAGE" : "SUM";
    write_total(sheet, row, c, &args, func, total_value(t, (enum layout_column)c), f->summary[c]);
  }
}

/* The spreadsheet serial of an ISO date "YYYY-MM-DD" (days since 1899-12-30). */
static double date_serial(const unsigned char *text) {
  int y, m, d;
  if (!text || sscanf((const char *)text, "%d-%d-%d", &y, &m, &d) != 3) return 0;
  y -= m <= 2;
  const int era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = (unsigned)(y - era * 400);
  const unsigned doy = (153u * (unsigned)(m + (m > 2 ? -3 : 9)) + 2) / 5 + (unsigned)d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  const long days = (long)era * 146097 + (long)doe - 719468; /* days since 1970-01-01 */
  return (double)(days + 25569);
}

int main(int argc, char **argv) {
  int shared_strings = 0;
  int arg = 1;
  if (arg < argc && strcmp(argv[arg], "--shared-strings") == 0) {
    shared_strings = 1;
    ++arg;
  }
  if (argc - arg != 2) {
    fprintf(stderr, "usage: %s [--shared-strings] DB OUT.xlsx\n", argv[0]);
    return 2;
  }
  const char *db_name = argv[arg], *out_name = argv[arg + 1];

  sqlite3 *db;
  if (sqlite3_open_v2(db_name, &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, NULL) != SQLITE_OK)
    fail(db_name, sqlite3_errmsg(db));
  sqlite3_stmt *query;
  if (sqlite3_prepare_v2(db, LAYOUT_QUERY, -1, &query, NULL) != SQLITE_OK) fail(db_name, sqlite3_errmsg(db));

  lxw_workbook_options options = {.constant_memory = shared_strings ? LXW_FALSE : LXW_TRUE};
  lxw_workbook *workbook = workbook_new_opt(out_name, &options);
  if (!workbook) fail(out_name, "cannot create the workbook");
  lxw_worksheet *sheet = workbook_add_worksheet(workbook, LAYOUT_SHEET);
  struct layout_formats f;
  layout_add_formats(workbook, &f);
  layout_set_columns(sheet);

  /* Title band: the merged title and the headings. Rows go out in order (a streamed row is
   * written once a later row is touched), so each row's height is set just before its cells. */
  worksheet_set_row(sheet, ROW_TITLE, layout_row_height(ROW_TITLE), NULL);
  if (worksheet_merge_range(sheet, ROW_TITLE, 0, ROW_TITLE + 1, LAYOUT_COLUMNS - 1, LAYOUT_TITLE, f.title) !=
      LXW_NO_ERROR)
    fail(out_name, "cannot merge the title");
  worksheet_set_row(sheet, ROW_TITLE + 1, layout_row_height(ROW_TITLE + 1), NULL);
  worksheet_set_row(sheet, ROW_HEADINGS, layout_row_height(ROW_HEADINGS), NULL);
  for (int c = 0; c < LAYOUT_COLUMNS; ++c)
    worksheet_write_string(sheet, ROW_HEADINGS, (lxw_col_t)c, layout_heading((enum layout_column)c), f.heading[c]);

  struct groups groups = {0};
  struct group *group = NULL;
  struct totals group_totals = {0}, all = {0};
  char region[256] = "";
  lxw_row_t row = ROW_HEADINGS + 1;
  const double record_height = layout_row_height(ROW_RECORD);
  int step;
  while ((step = sqlite3_step(query)) == SQLITE_ROW) {
    const char *value = (const char *)sqlite3_column_text(query, COL_REGION);
    if (!value) value = "";
    if (!group || strcasecmp(value, region) != 0) {
      if (group) {
        group->footer = row++;
        write_footer(sheet, &f, group, region, &group_totals);
      }
      snprintf(region, sizeof region, "%s", value);
      char label[256 + sizeof LAYOUT_GROUP_PREFIX];
      snprintf(label, sizeof label, "%s%s", LAYOUT_GROUP_PREFIX, region);
      worksheet_set_row(sheet, row, layout_row_height(ROW_GROUP_HEADER), NULL);
      worksheet_write_string(sheet, row, 0, label, f.group_header[0]);
      for (int c = 1; c < LAYOUT_COLUMNS; ++c) worksheet_write_blank(sheet, row, (lxw_col_t)c, f.group_header[c]);
      ++row;
      group = add_group(&groups);
      group->first_record = row;
      memset(&group_totals, 0, sizeof group_totals);
    }

    if (record_height > 0) worksheet_set_row(sheet, row, record_height, NULL);
    for (int c = COL_REGION; c <= COL_PRODUCT; ++c) {
      const char *text = (const char *)sqlite3_column_text(query, c);
      if (text && *text) worksheet_write_string(sheet, row, (lxw_col_t)c, text, f.record[c]);
      else worksheet_write_blank(sheet, row, (lxw_col_t)c, f.record[c]);
    }
    const double quantity = sqlite3_column_double(query, COL_QUANTITY);
    const double price = sqlite3_column_double(query, COL_UNIT_PRICE);
    const double amount = sqlite3_column_double(query, COL_AMOUNT);
    worksheet_write_number(sheet, row, COL_ORDER_NO, (double)sqlite3_column_int64(query, COL_ORDER_NO),
                           f.record[COL_ORDER_NO]);
    worksheet_write_number(sheet, row, COL_QUANTITY, quantity, f.record[COL_QUANTITY]);
    worksheet_write_number(sheet, row, COL_UNIT_PRICE, price, f.record[COL_UNIT_PRICE]);
    worksheet_write_number(sheet, row, COL_AMOUNT, amount, f.record[COL_AMOUNT]);
    worksheet_write_number(sheet, row, COL_ORDER_DATE, date_serial(sqlite3_column_text(query, COL_ORDER_DATE)),
                           f.record[COL_ORDER_DATE]);
    group->last_record = row++;

    /* Running totals, for totals that cannot be written as formulas. */
    struct totals *each[2] = {&group_totals, &all};
    for (int i = 0; i < 2; ++i) {
      struct totals *t = each[i];
      t->count++;
      t->quantity += quantity;
      t->amount += amount;
      t->price_mean = (price + (double)(t->count - 1) * t->price_mean) / (double)t->count;
    }
  }
  if (step != SQLITE_DONE) fail(db_name, sqlite3_errmsg(db));
  if (group) {
    group->footer = row++;
    write_footer(sheet, &f, group, region, &group_totals);
  }
  write_summary(sheet, &f, &groups, row, &all);

  sqlite3_finalize(query);
  sqlite3_close(db);
  free(groups.items);
  const lxw_error error = workbook_close(workbook);
  if (error != LXW_NO_ERROR) fail(out_name, lxw_strerror(error));
  return 0;
}
