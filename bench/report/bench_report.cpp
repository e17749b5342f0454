// The end-to-end sales report through the library: the form of run.sh loaded once, the report run
// per iteration, with and without cell event handlers that do nothing, so that the cost of
// offering every cell to the application shows.

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "data/sqlite_database.h"
#include "platform/component.h"
#include "platform/files.h"
#include "platform/form_reader.h"
#include "runtime/Brelix.h"

namespace {

namespace fs = std::filesystem;
using namespace brelix;

// The folder of one size: its database (from gen_sales.sql), the template and the form.
fs::path PrepareFolder(int rows) {
  const fs::path dir = fs::temp_directory_path() / ("brelix-bench-report-" + std::to_string(rows));
  if (fs::exists(dir / "sales.db") && fs::exists(dir / "sales_template.xlsx")) return dir;
  fs::create_directories(dir);
  std::ifstream in(fs::path(BRELIX_BENCH_REPORT_DIR) / "gen_sales.sql");
  std::stringstream text;
  text << in.rdbuf();
  std::string sql = text.str();
  for (std::size_t at; (at = sql.find("@ROWS@")) != std::string::npos;) sql.replace(at, 6, std::to_string(rows));
  std::ofstream(dir / "sales.db").flush();
  data::TSqliteDatabase maker;
  maker.SetFileName((dir / "sales.db").string());
  maker.ExecuteScript(sql);
  const std::string make_template = std::string(BRELIX_MAKE_TEMPLATE) + " '" + (dir / "sales_template.xlsx").string() + "'";
  if (std::system(make_template.c_str()) != 0) throw std::runtime_error("cannot make the template");
  fs::copy_file(fs::path(BRELIX_BENCH_REPORT_DIR) / "sales_report.form", dir / "sales_report.form",
                fs::copy_options::overwrite_existing);
  return dir;
}

void RunReport(benchmark::State& state, bool with_handlers) {
  const int rows = static_cast<int>(state.range(0));
  const fs::path dir = PrepareFolder(rows);
  platform::SetProgramFolder(dir);
  std::unique_ptr<platform::Component> form = platform::LoadForm(dir / "sales_report.form");
  auto* report = dynamic_cast<TBrelix*>(form->FindComponent("Report"));
  if (with_handlers) {
    report->OnSetCellValue.Set([](TBrelix&, TBrelixBand&, int, int, int, platform::Variant&) {});
    report->OnFormatCell.Set(
        [](TBrelix&, TBrelixBand&, int, int, int, automation::Worksheet&, const platform::Variant&) {});
  }
  const std::string out = (dir / "report.xlsx").string();
  for (auto _ : state) report->Show(out);
  state.counters["rows"] = rows;
  state.counters["rows/s"] = benchmark::Counter(rows, benchmark::Counter::kIsIterationInvariantRate);
  platform::SetProgramFolder({});
}

void BM_Report(benchmark::State& state) { RunReport(state, false); }
void BM_ReportWithCellHandlers(benchmark::State& state) { RunReport(state, true); }

BENCHMARK(BM_Report)->Arg(6000)->Arg(60000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReportWithCellHandlers)->Arg(6000)->Arg(60000)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
