// The brelix command: runs a report of a form file.
//
//   brelix run FORM [--report NAME] [-o FILE] [--locale TAG] [--set NAME=VALUE]... [--no-progress]
//
// Exit status: 0 success, 1 the run failed or was broken off (its message on standard error),
// 2 bad usage.

#include <unistd.h>

#include <CLI/CLI.hpp>

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "cli/terminal_progress.h"
#include "platform/component.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "platform/form_reader.h"
#include "platform/locale.h"
#include "platform/text.h"
#include "runtime/Brelix.h"

namespace fs = std::filesystem;

namespace {

constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

// A usage error found after the command line was parsed: its text goes to standard error.
struct UsageError {
  std::string text;
};

struct RunOptions {
  std::string form;
  std::string report;
  std::string output;
  std::string locale;
  std::vector<std::string> sets;
  bool no_progress = false;
};

// Every report of the form, in the order of the component tree.
void CollectReports(brelix::platform::Component& owner, std::vector<brelix::TBrelix*>& reports) {
  for (std::size_t i = 0; i < owner.ComponentCount(); ++i) {
    brelix::platform::Component& c = owner.Components(i);
    if (auto* report = dynamic_cast<brelix::TBrelix*>(&c)) reports.push_back(report);
    CollectReports(c, reports);
  }
}

std::string NamesOf(const std::vector<brelix::TBrelix*>& reports) {
  std::string names;
  for (const brelix::TBrelix* r : reports) names += (names.empty() ? "" : ", ") + r->Name();
  return names.empty() ? "none" : names;
}

// The report named by --report, or the first report that is no other report's sub-report.
brelix::TBrelix& ChooseReport(brelix::platform::Component& root, const RunOptions& options) {
  std::vector<brelix::TBrelix*> reports;
  CollectReports(root, reports);
  if (!options.report.empty()) {
    for (brelix::TBrelix* r : reports)
      if (brelix::platform::SameText(r->Name(), options.report)) return *r;
    throw UsageError{"the form " + options.form + " has no report named " + options.report +
                     " (its reports: " + NamesOf(reports) + ")"};
  }
  for (brelix::TBrelix* r : reports)
    if (r->MasterList().empty()) return *r;
  if (reports.empty()) throw UsageError{"the form " + options.form + " holds no report"};
  throw UsageError{"every report of the form " + options.form +
                   " is another one's sub-report; choose one with --report (its reports: " + NamesOf(reports) +
                   ")"};
}

// Adds the --set fields to the report's dictionary, replacing the values of fields it has.
void ApplySets(brelix::TBrelix& report, const std::vector<std::string>& sets) {
  for (const std::string& set : sets) {
    std::size_t equals = set.find('=');
    std::string name = equals == std::string::npos ? std::string() : set.substr(0, equals);
    if (name.empty() || name.find_first_not_of(" \t") == std::string::npos)
      throw UsageError{"--set " + set + ": expected NAME=VALUE with a field name before the ="};
    std::string value = set.substr(equals + 1);
    brelix::TBrelixField* field = report.Dictionary().FindField(name);
    if (field == nullptr) {
      field = &report.Dictionary().Add();
      field->SetFieldName(name);
    }
    field->SetValueAsString(value);
  }
}

// Clears brxoShowProgress on the report and on the sub-reports built with it.
void HideProgress(brelix::TBrelix& report) {
  std::set<brelix::TBrelix*> seen;
  for (brelix::TBrelix* r = &report; r != nullptr && seen.insert(r).second; r = r->SubReport()) {
    brelix::TBrelixOptions o = r->Options();
    o.Exclude(brelix::brxoShowProgress);
    r->SetOptions(o);
  }
}

int Run(const RunOptions& options) {
  try {
    brelix::platform::SetCurrentLocale(
        options.locale.empty() ? brelix::platform::LocaleFromEnvironment().tag : options.locale);
  } catch (const brelix::platform::Exception& e) {
    std::cerr << "brelix: --locale: " << e.what() << "\n";
    return kExitUsage;
  }

  // Relative names in the form (database, template) are resolved against the form's folder.
  fs::path form = fs::absolute(options.form).lexically_normal();
  std::optional<fs::path> output;
  if (!options.output.empty()) output = fs::absolute(options.output).lexically_normal();

  std::unique_ptr<brelix::platform::Component> root;
  brelix::TBrelix* report = nullptr;
  try {
    brelix::platform::SetProgramFolder(form.parent_path());
    root = brelix::platform::LoadForm(form);
    report = &ChooseReport(*root, options);
    ApplySets(*report, options.sets);
  } catch (const UsageError& e) {
    std::cerr << "brelix: " << e.text << "\n";
    return kExitUsage;
  } catch (const std::exception& e) {
    std::cerr << e.what() << "\n";
    return kExitFailed;
  }

  bool progress = !options.no_progress && isatty(STDERR_FILENO);
  if (options.no_progress) HideProgress(*report);
  std::optional<brelix::cli::TerminalProgressInstaller> terminal;
  if (progress) terminal.emplace();

  try {
    report->Show(output ? output->string() : std::string());
  } catch (const std::exception& e) {
    terminal.reset();
    std::cerr << e.what() << "\n";
    if (report->Options().Contains(brelix::brxoVisibleWhenError) && !report->ReportFile().empty() &&
        fs::exists(report->ReportFile()))
      std::cerr << "partial report kept in " << report->ReportFile() << "\n";
    return kExitFailed;
  }
  if (terminal && terminal->Stopped()) {
    // The run ends normally after a break: the report holds the rows written before it.
    terminal.reset();
    std::cerr << "brelix: the run was broken off; the partial report is in " << report->ReportFile() << "\n";
    return kExitFailed;
  }
  terminal.reset();
  if (!output) std::cout << report->ReportFile() << "\n";
  return EXIT_SUCCESS;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"brelix turns spreadsheet templates and database data into formatted spreadsheet reports."};
  app.require_subcommand(1);
  app.footer(
      "Exit status: 0 success; 1 the report run failed or was broken off (its message on standard error); "
      "2 bad usage.\n"
      "Run 'brelix run --help' for the options of a run.\n");

  RunOptions options;
  CLI::App* run = app.add_subcommand(
      "run",
      "Runs a report of a form file. The form's datasets and reports are read from FORM; relative "
      "file names in it (database, template) are resolved against FORM's folder.");
  run->add_option("FORM", options.form, "the form file holding the report, its datasets and databases")
      ->required()
      ->check(CLI::ExistingFile);
  run->add_option("--report", options.report,
                  "the report component to run (default: the first report that is no other report's sub-report)")
      ->type_name("NAME");
  run->add_option("-o,--output", options.output,
                  "save the finished report to FILE (relative to the current folder); without it the report stays "
                  "in its working copy in the temporary folder, whose full name is printed on standard output")
      ->type_name("FILE");
  run->add_option("--locale", options.locale,
                  "the user's language for numbers, dates and formula names, e.g. de-DE (default: from LC_ALL or "
                  "LANG, else en-US)")
      ->type_name("TAG");
  run->add_option("--set", options.sets,
                  "add a dictionary field or replace its value; may be repeated")
      ->type_name("NAME=VALUE")
      ->expected(1)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  run->add_flag("--no-progress", options.no_progress,
                "draw no progress line. Otherwise, when standard error is a terminal, it shows the report's "
                "title, status, rows, time and speed, and Ctrl-C asks whether to break the run off; without the "
                "line Ctrl-C ends the command at once");
  run->footer(
      "Exit status: 0 success; 1 the run failed or was broken off: its message on standard error, and the name "
      "of the partial report kept (a failure keeps one with brxoVisibleWhenError); 2 bad usage (unknown option, missing FORM, bad --set, unknown report "
      "or locale).\n");

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    int code = app.exit(e);
    return code == 0 ? EXIT_SUCCESS : kExitUsage;
  }
  return Run(options);
}
