// The brelix command run as a user runs it: exit status, standard output and standard error.

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/errors.h"
#include "platform/files.h"
#include "platform/form_reader.h"
#include "data/sqlite_database.h"
#include "runtime/Brelix.h"
#include "tests/support/libreoffice.h"
#include "xlsx/workbook.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

struct Outcome {
  int status = -1;
  std::string out;
  std::string err;
};

std::string ReadAll(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// A folder of its own for each test, removed afterwards.
class BrelixCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() /
              ("brelix-cli-" + std::to_string(getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(folder_);
    fs::create_directories(folder_);
  }
  void TearDown() override { fs::remove_all(folder_); }

  fs::path Write(const std::string& name, const std::string& text) {
    fs::path file = folder_ / name;
    std::ofstream(file, std::ios::binary) << text;
    return file;
  }

  // Runs the command with the arguments in the test's folder, standard input empty.
  Outcome Run(const std::vector<std::string>& args) {
    fs::path out = folder_ / ".stdout";
    fs::path err = folder_ / ".stderr";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<std::string> argv_text{BRELIX_COMMAND};
    argv_text.insert(argv_text.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : argv_text) argv.push_back(a.data());
    argv.push_back(nullptr);
    fs::path cwd = fs::current_path();
    fs::current_path(folder_);
    pid_t pid = -1;
    int spawned = posix_spawn(&pid, BRELIX_COMMAND, &actions, nullptr, argv.data(), environ);
    fs::current_path(cwd);
    posix_spawn_file_actions_destroy(&actions);
    Outcome o;
    if (spawned != 0) {
      ADD_FAILURE() << "cannot start " << BRELIX_COMMAND;
      return o;
    }
    int wait_status = 0;
    waitpid(pid, &wait_status, 0);
    o.status = WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : -1;
    o.out = ReadAll(out);
    o.err = ReadAll(err);
    return o;
  }

  // A form with a report chain Report -> Detail and a report of its own, Other.
  fs::path ChainForm() {
    return Write("chain.form",
                 "object M: TDataModule\n"
                 "  object Detail: TBrelix\n    Template = 'detail.xlsx'\n  end\n"
                 "  object Report: TBrelix\n    SubReport = Detail\n    Template = 'missing.xlsx'\n  end\n"
                 "  object Other: TBrelix\n  end\n"
                 "end\n");
  }

  fs::path folder_;
};

TEST_F(BrelixCommand, HelpExplainsTheCommandAndItsOptions) {
  Outcome top = Run({"--help"});
  EXPECT_EQ(top.status, 0);
  EXPECT_NE(top.out.find("run"), std::string::npos) << top.out;
  EXPECT_NE(top.out.find("Exit status"), std::string::npos) << top.out;

  Outcome run = Run({"run", "--help"});
  EXPECT_EQ(run.status, 0);
  for (const char* word : {"FORM", "--report", "-o", "--locale", "--set", "NAME=VALUE", "--no-progress", "Ctrl-C",
                           "Exit status"})
    EXPECT_NE(run.out.find(word), std::string::npos) << word << " in\n" << run.out;
}

TEST_F(BrelixCommand, BadUsageExitsWithTwoNamingWhatWasWrong) {
  std::string form = ChainForm().string();
  struct Case {
    std::vector<std::string> args;
    std::vector<std::string> named;  // texts the message must hold
  };
  const Case cases[] = {
      {{}, {"subcommand"}},
      {{"run"}, {"FORM"}},
      {{"run", "nowhere.form"}, {"nowhere.form"}},
      {{"run", form, "--colour"}, {"--colour"}},
      {{"run", form, "--set", "Title"}, {"--set Title", "NAME=VALUE"}},
      {{"run", form, "--set", "=Sales"}, {"--set =Sales"}},
      {{"run", form, "--report", "Summary"}, {"no report named Summary", "Detail, Report, Other"}},
      {{"run", form, "--locale", "xx-YY"}, {"--locale", "xx-YY"}},
  };
  for (const Case& c : cases) {
    Outcome o = Run(c.args);
    std::string trace = ::testing::PrintToString(c.args) + "\n" + o.err;
    EXPECT_EQ(o.status, 2) << trace;
    EXPECT_EQ(o.out, "") << trace;
    for (const std::string& text : c.named) EXPECT_NE(o.err.find(text), std::string::npos) << text << " in " << trace;
  }
}

TEST_F(BrelixCommand, AFormWithoutAFreeReportIsBadUsage) {
  struct Case {
    std::string body;
    const char* named;
  };
  const Case cases[] = {
      {"", "holds no report"},
      {"  object A: TBrelix\n    SubReport = B\n  end\n  object B: TBrelix\n    SubReport = A\n  end\n", "--report"},
  };
  for (const Case& c : cases) {
    fs::path form = Write("reports.form", "object M: TDataModule\n" + c.body + "end\n");
    Outcome o = Run({"run", form.string()});
    EXPECT_EQ(o.status, 2) << o.err;
    EXPECT_NE(o.err.find(c.named), std::string::npos) << o.err;
  }
}

// What the report's own run says about the form, in this process: the command must say the same.
std::string InProcessFailure(const fs::path& form, const std::string& report_name) {
  brelix::platform::SetProgramFolder(form.parent_path());
  std::unique_ptr<brelix::platform::Component> root = brelix::platform::LoadForm(form);
  auto& report = dynamic_cast<brelix::TBrelix&>(*root->FindComponent(report_name));
  std::string message;
  try {
    report.Show();
  } catch (const brelix::platform::Exception& e) {
    message = e.what();
  }
  brelix::platform::SetProgramFolder({});
  return message;
}

TEST_F(BrelixCommand, AFailedRunExitsWithOneAndTheRunsOwnMessage) {
  // Both reports name templates that do not exist, so the message tells which report ran: by
  // default the one that is no other's sub-report, else the one named (in any case).
  fs::path form = ChainForm();
  struct Case {
    std::vector<std::string> args;
    const char* report;
  };
  const Case cases[] = {{{}, "Report"}, {{"--report", "detail"}, "Detail"}};
  for (const Case& c : cases) {
    std::string message = InProcessFailure(form, c.report);
    ASSERT_NE(message, "");
    std::vector<std::string> args{"run", form.string(), "--no-progress"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    Outcome o = Run(args);
    EXPECT_EQ(o.status, 1) << c.report;
    EXPECT_EQ(o.out, "") << c.report;
    EXPECT_EQ(o.err.substr(0, message.size() + 1), message + "\n") << c.report;
  }
}

TEST_F(BrelixCommand, AFormThatCannotBeReadFailsWithItsPlace) {
  fs::path form = Write("broken.form", "object M: TDataModule\n  object R: TNoSuchClass\n  end\nend\n");
  Outcome o = Run({"run", form.string()});
  EXPECT_EQ(o.status, 1);
  EXPECT_NE(o.err.find("broken.form:2:"), std::string::npos) << o.err;
  EXPECT_NE(o.err.find("TNoSuchClass"), std::string::npos) << o.err;
}

// The sample report of examples/sales, laid out as in the source tree: the form and its template
// in examples/sales, the database built from its SQL in build/.
class SampleReport : public BrelixCommand {
 protected:
  void SetUp() override {
    BrelixCommand::SetUp();
    const fs::path examples = fs::path(BRELIX_EXAMPLES) / "sales";
    fs::create_directories(folder_ / "examples" / "sales");
    fs::create_directories(folder_ / "build");
    for (const char* name : {"sales.form", "sales.xlsx"})
      fs::copy_file(examples / name, folder_ / "examples" / "sales" / name);
    const fs::path db = Write("build/sales.db", "");  // an empty file is an empty database
    brelix::data::TSqliteDatabase database;
    database.SetFileName(db.string());
    database.ExecuteScript(ReadAll(examples / "sales.sql"));
  }
};

TEST_F(SampleReport, RunsWithoutAReportFileAndPrintsTheWorkingCopy) {
  Outcome o = Run({"run", "examples/sales/sales.form", "--set", "Title=Sales, first half", "--no-progress"});
  ASSERT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(o.err, "");
  ASSERT_FALSE(o.out.empty());
  ASSERT_EQ(o.out.back(), '\n');
  const fs::path report = o.out.substr(0, o.out.size() - 1);
  EXPECT_TRUE(report.is_absolute()) << report;
  ASSERT_TRUE(fs::exists(report)) << report;

  auto book = brelix::xlsx::Workbook::Open(report);
  const brelix::xlsx::Worksheet& sheet = book->Sheet(0);
  // --set replaced the dictionary's title; the first group and its first order follow.
  EXPECT_EQ(sheet.Value(1, 1).text, "Sales, first half");
  EXPECT_EQ(sheet.Value(3, 1).text, "East");
  EXPECT_EQ(sheet.Value(3, 4).text, "Lena Ortmann");
  EXPECT_EQ(sheet.Value(4, 1).text, "Order 1001");
  fs::remove(report);
}

TEST_F(SampleReport, SavesTheReportWithItsTotalsToTheFileGiven) {
  Outcome o = Run({"run", "examples/sales/sales.form", "-o", "sales-report.xlsx", "--locale", "de-DE"});
  ASSERT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(o.out, "");
  const fs::path report = folder_ / "sales-report.xlsx";
  ASSERT_TRUE(fs::exists(report));
  // Totals are live formulas, which LibreOffice computes.
  auto book = brelix::xlsx::Workbook::Open(report);
  EXPECT_EQ(book->Sheet(0).Formula(8, 5), "SUM(E6:E7)");
  if (!brelix::testing::HaveLibreOffice()) GTEST_SKIP() << "LibreOffice is not installed";
  fs::create_directories(folder_ / "lo");
  const std::string csv = brelix::testing::SheetsAsCsv(report, {"Report"}, folder_ / "lo")["Report"];
  for (const char* line : {"Order 1001,Oderblick GmbH,,01/05/2026,", ",,,Order total,109.3", "Total East,6,,,2258.1",
                           "Grand total,25,,,18230"})
    EXPECT_NE(csv.find(line), std::string::npos) << line << " in\n" << csv;
}

TEST_F(SampleReport, AMissingDatabaseFailsNamingItAndTheKeptPartialReport) {
  fs::remove(folder_ / "build" / "sales.db");
  Outcome o = Run({"run", "examples/sales/sales.form", "-o", "sales-report.xlsx"});
  EXPECT_EQ(o.status, 1);
  EXPECT_EQ(o.out, "");
  EXPECT_NE(o.err.find((folder_ / "build" / "sales.db").string()), std::string::npos) << o.err;
  const std::string kept = "partial report kept in ";
  std::size_t at = o.err.find(kept);
  ASSERT_NE(at, std::string::npos) << o.err;
  const fs::path partial = o.err.substr(at + kept.size(), o.err.find('\n', at) - at - kept.size());
  EXPECT_TRUE(fs::exists(partial)) << partial;
  fs::remove(partial);
}

}  // namespace
