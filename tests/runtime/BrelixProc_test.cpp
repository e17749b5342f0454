#include "runtime/BrelixProc.h"

#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <functional>
#include <regex>
#include <string>
#include <vector>

#include "platform/errors.h"
#include "runtime/BrelixConsts.h"

namespace brelix {
namespace {

namespace fs = std::filesystem;

// The message of the EBrelixError that action throws; a test failure when it throws none.
std::string BrelixErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const EBrelixError& e) {
    return e.what();
  }
  ADD_FAILURE() << "no EBrelixError thrown";
  return {};
}

TEST(BrelixFormatTest, FillsPlaceholdersSafely) {
  EXPECT_EQ(BrelixFormat(BrelixConsts::MsgBrelix7, "Orders.Amount", std::string("Orders")),
            "Field \"Orders.Amount\" not found in table \"Orders\". ");
  EXPECT_EQ(BrelixFormat(BrelixConsts::MsgTPrsNoCell, 12, 3),
            "The cell R12C3 is not found. This cell has no field. ");
  EXPECT_EQ(BrelixFormat(BrelixConsts::MsgFPrsBadStr, std::string_view("#'Name"), '#'),
            "Cell value (#'Name) contains field sign (#), but field name cannot be determined. ");
  EXPECT_EQ(BrelixFormat("%d%% of %d", -5, 4000000000LL), "-5% of 4000000000");
  // Wrong argument lists never read beyond what was passed.
  EXPECT_EQ(BrelixFormat("%s and %d", "one"), "one and %d");
  EXPECT_EQ(BrelixFormat("%s", "a", "b", 3), "a");
  EXPECT_EQ(BrelixFormat("%d", "text"), "text");
  EXPECT_EQ(BrelixFormat("[%s]", static_cast<const char*>(nullptr)), "[]");
  EXPECT_EQ(BrelixFormat("50% %x and 100%"), "50% %x and 100%");
  EXPECT_EQ(BrelixFormat(nullptr, 1), "");
}

TEST(BrelixGetRangeTest, BuildsAddresses) {
  struct Case {
    int row, column;
    const char* expected;
  };
  const Case cases[] = {{5, 1, "A5"},    {1, 26, "Z1"},  {1, 27, "AA1"},  {1, 52, "AZ1"},
                        {1, 53, "BA1"},  {1, 702, "ZZ1"}, {3, 256, "IV3"}, {65535, 1, "A65535"},
                        {12, 3, "C12"}};
  for (const Case& c : cases)
    EXPECT_EQ(BrelixGetRange(c.row, c.column), c.expected) << c.row << "," << c.column;
}

TEST(BrelixGetRangeTest, RefusesCellsWithoutAddress) {
  struct Case {
    int row, column;
    const char* message;
  };
  const Case cases[] = {{0, 1, "Wrong range: \"R0C1\". "},
                        {1, 0, "Wrong range: \"R1C0\". "},
                        {1, 703, "Wrong range: \"R1C703\". "},
                        {-4, 2, "Wrong range: \"R-4C2\". "}};
  for (const Case& c : cases)
    EXPECT_EQ(BrelixErrorOf([&] { BrelixGetRange(c.row, c.column); }), c.message);
}

TEST(BrelixGetRangeColumnTest, ReadsColumnLetters) {
  struct Case {
    const char* cell;
    int column;
  };
  const Case cases[] = {{"$c$4", 3}, {"AB12", 28},  {"AB$12", 28}, {"A$1", 1}, {"$A1", 1},
                        {"iv1", 256}, {"ZZ9", 702}, {"B", 2},      {"A:B", 1}};
  for (const Case& c : cases) EXPECT_EQ(BrelixGetRangeColumn(c.cell), c.column) << c.cell;
}

TEST(BrelixGetRangeColumnTest, RefusesTextsWithoutColumn) {
  for (const char* cell : {"", "1A", "$", "$$A1", "ABC1", "\xC3\x84" "1", " A1"}) {
    EXPECT_EQ(BrelixErrorOf([&] { BrelixGetRangeColumn(cell); }),
              std::string("Wrong range: \"") + cell + "\". ")
        << cell;
  }
}

TEST(BrelixGetRangeRowTest, ReadsRow) {
  struct Case {
    const char* cell;
    int row;
  };
  const Case cases[] = {{"$B$7", 7}, {"A1", 1}, {"IV65535", 65535}, {"A007", 7}, {"x12", 12}};
  for (const Case& c : cases) EXPECT_EQ(BrelixGetRangeRow(c.cell), c.row) << c.cell;
}

TEST(BrelixGetRangeRowTest, RefusesTextsWithoutRow) {
  struct Case {
    const char* cell;
    const char* message;
  };
  const Case cases[] = {
      {"AB", "Row is not defined in range \"AB\". "},
      {"", "Row is not defined in range \"\". "},
      {"A1x", "Wrong range: \"A1x\". "},
      {"A1:B2", "Wrong range: \"A1:B2\". "},
      {"A1 ", "Wrong range: \"A1 \". "},
      {"A0", "Wrong range: \"A0\". "},
      {"A99999999999", "Wrong range: \"A99999999999\". "},
  };
  for (const Case& c : cases)
    EXPECT_EQ(BrelixErrorOf([&] { BrelixGetRangeRow(c.cell); }), c.message) << c.cell;
}

TEST(BrelixGetRangeFirstLastTest, SplitsAtFirstColon) {
  struct Case {
    const char* range;
    const char* first;
    const char* last;
  };
  const Case cases[] = {{"A1:C3", "A1", "C3"}, {"B2", "B2", "B2"},          {":B2", "", "B2"},
                        {"A1:", "A1", "A1:"},  {"A1:B2:C3", "A1", "B2:C3"}, {"", "", ""}};
  for (const Case& c : cases) {
    EXPECT_EQ(BrelixGetRangeFirst(c.range), c.first) << c.range;
    EXPECT_EQ(BrelixGetRangeLast(c.range), c.last) << c.range;
  }
}

TEST(BrelixFindStrPartsTest, SplitsDottedNames) {
  struct Case {
    const char* name;
    const char* form;
    const char* dataset;
    const char* field;
  };
  const Case cases[] = {
      {"Name", "", "", "Name"},
      {" Name\t", "", "", "Name"},
      {"Cust . Name", "", "Cust", "Name"},
      {"Form1.Cust.Name", "Form1", "Cust", "Name"},
      {" Form1 .\tCust . Name ", "Form1", "Cust", "Name"},
      {".Field", "", "", "Field"},
      {"Form..Field", "Form", "", "Field"},
  };
  for (const Case& c : cases) {
    std::string form = "x", dataset = "x", field = "x";
    BrelixFindStrParts(c.name, form, dataset, field);
    EXPECT_EQ(form, c.form) << c.name;
    EXPECT_EQ(dataset, c.dataset) << c.name;
    EXPECT_EQ(field, c.field) << c.name;
  }
}

TEST(BrelixFindStrPartsTest, RefusesBadNames) {
  for (const char* name : {"Cust.", "Form1.Cust.", "A.B.C.D", "A.B.C.", "Cust. ", "."}) {
    std::string form, dataset, field;
    EXPECT_EQ(BrelixErrorOf([&] { BrelixFindStrParts(name, form, dataset, field); }),
              std::string("Bad field name: ") + name + ". ")
        << name;
  }
}

TEST(BrelixRenewCellReferencesTest, ShiftsRelativeReferences) {
  struct Case {
    const char* formula;
    int rowShift, colShift;
    const char* expected;
  };
  const Case cases[] = {
      {"=A1+B$2", 2, 1, "=B3+C$2"},
      {"#=SUM(A1:A3)", 2, 1, "#=SUM(B3:B5)"},
      {"SUM(A1)", 2, 1, "SUM(A1)"},
      {"#SUM(A1)", 2, 1, "#SUM(A1)"},
      {"!=A1", 1, 0, "!=A1"},
      {"=IF(A1>0,\"B2\",C3)", 1, 0, "=IF(A2>0,\"B2\",C4)"},
      {"=\"unclosed A1", 1, 0, "=\"unclosed A1"},
      {"=A1\"x\"", 1, 0, "=A2\"x\""},  // the token keeps its place before the quote
      // References leaving the sheet stay as written, the others still move.
      {"=A1+B5", -1, 0, "=A1+B4"},
      {"=A1+B1", 0, -1, "=A1+A1"},
      {"=A65535+A1", 1, 0, "=A65535+A2"},
      {"=IV1", 0, 1, "=IV1"},
      {"=IU1", 0, 1, "=IV1"},
      {"=ZZ1", 0, -5, "=ZZ1"},
      {"=ZZ1", 3, 0, "=ZZ1"},
      {"=A0", 1, 0, "=A0"},
      {"=B2+C3", INT_MAX, 0, "=B2+C3"},
      {"=B2+C3", 0, INT_MIN, "=B2+C3"},
      // Names, numbers and other texts that only look like references.
      {"=LOG10(A1)", 1, 0, "=LOG10(A2)"},
      {"=Sheet1!B3", 1, 1, "=Sheet1!C4"},
      {"=1.5E10*A1", 1, 0, "=1.5E10*A2"},
      {"=R1C1", 1, 1, "=R1C1"},
      {"=A99999999999+B1", 1, 0, "=A99999999999+B2"},
      {"=ABC1", 1, 0, "=ABC1"},
      {"=A$B1", 1, 0, "=A$B1"},
      // Absolute parts.
      {"=$A$1", 5, 5, "=$A$1"},
      {"=A$1", 5, 5, "=F$1"},
      {"=$A1", 5, 5, "=$A6"},
      {"=$iv1", 1, 0, "=$iv2"},
      {"=$IW1", 1, 0, "=$IW1"},
      {"=$$1", 1, 0, "=$$1"},
      {"=a1", 1, 1, "=B2"},
      // Multi-byte characters are never part of a token.
      {"=\xC3\x84" "A1", 1, 0, "=\xC3\x84" "A2"},
      // Blanks around the formula are kept; zero shifts change nothing.
      {"  =a1 ", 1, 0, "  =A2 "},
      {"  =a1  ", 0, 0, "  =a1  "},
      {"", 1, 1, ""},
      {"  ", 1, 1, "  "},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(BrelixRenewCellReferences(c.formula, c.rowShift, c.colShift, '#'), c.expected)
        << c.formula << " by " << c.rowShift << "," << c.colShift;
  }
}

class BrelixTempFileTest : public ::testing::Test {
 protected:
  void TearDown() override {
    for (const std::string& name : made_) fs::remove(name);
    if (!folder_.empty()) fs::remove_all(folder_);
  }
  std::string Made(std::string name) {
    made_.push_back(name);
    return name;
  }
  std::vector<std::string> made_;
  fs::path folder_;
};

TEST_F(BrelixTempFileTest, CreatesEmptyUniqueFilesInTheTempFolder) {
  const std::string dir = BrelixGetTempDir();
  ASSERT_FALSE(dir.empty());
  EXPECT_EQ(dir.back(), '/');
  const std::regex pattern("BRE[0-9A-Fa-f]{1,4}\\.tmp");
  const std::string first = Made(BrelixGetTempFName());
  const std::string second = Made(BrelixGetTempFName());
  EXPECT_NE(first, second);
  for (const std::string& name : {first, second}) {
    const fs::path path(name);
    EXPECT_TRUE(fs::is_regular_file(path)) << name;
    EXPECT_EQ(fs::file_size(path), 0u) << name;
    EXPECT_TRUE(std::regex_match(path.filename().string(), pattern)) << name;
    EXPECT_TRUE(fs::equivalent(path.parent_path(), fs::path(dir))) << name;
  }
}

TEST_F(BrelixTempFileTest, CreatesFilesInTheGivenFolder) {
  // A folder name nobody else uses: the name of a fresh temporary file with a suffix.
  folder_ = Made(BrelixGetTempFName()) + ".dir";
  fs::create_directories(folder_);
  const std::string name = Made(BrelixGetTempFileName(folder_.string()));
  EXPECT_TRUE(fs::equivalent(fs::path(name).parent_path(), folder_)) << name;
  EXPECT_EQ(fs::file_size(name), 0u);
  EXPECT_THROW(BrelixGetTempFileName((folder_ / "missing").string()), platform::EOSError);
}

}  // namespace
}  // namespace brelix
