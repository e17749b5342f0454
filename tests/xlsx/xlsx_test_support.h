#pragma once
// Helpers of the spreadsheet engine's tests: a fresh folder per test, the fixtures, the parts of
// a package, repacking a fixture with parts replaced, and error expectations.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <ostream>
#include <string>

#include "xlsx/errors.h"
#include "xlsx/worksheet.h"
#include "xlsx/zip_package.h"

namespace brelix::xlsx {

// Cell values in failure messages.
inline void PrintTo(const CellValue& v, std::ostream* os) {
  static const char* const kinds[] = {"Empty", "Number", "String", "Boolean", "Error"};
  *os << kinds[static_cast<int>(v.type)];
  if (v.type == CellType::Number) *os << " " << v.number;
  if (v.type == CellType::Boolean) *os << (v.boolean ? " true" : " false");
  if (v.type == CellType::String || v.type == CellType::Error) *os << " \"" << v.text << "\"";
}

}  // namespace brelix::xlsx

namespace brelix::xlsx::testing {

namespace fs = std::filesystem;

inline fs::path Fixture(const std::string& name) { return fs::path(BRELIX_TEST_FIXTURES) / "xlsx" / name; }

// A fresh folder for each test, removed afterwards.
class TempDirTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = fs::temp_directory_path() / "brelix-xlsx-XXXXXX";
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { fs::remove_all(dir_); }
  fs::path Path(const std::string& name) const { return dir_ / name; }

  fs::path dir_;
};

// Every part of a package, unpacked.
inline std::map<std::string, std::string> Parts(const fs::path& file) {
  ZipReader zip(file);
  std::map<std::string, std::string> parts;
  for (const std::string& name : zip.Names()) parts[name] = zip.Read(name);
  return parts;
}

// How an entry is stored; nullopt when the package lacks it.
inline std::optional<ZipReader::EntryInfo> StoredEntry(const fs::path& file, const std::string& name) {
  ZipReader zip(file);
  if (!zip.Has(name)) return std::nullopt;
  return zip.Info(name);
}

// A copy of source with parts replaced (or added); a part mapped to nullopt is left out.
inline void Repack(const fs::path& source, const fs::path& target,
                   const std::map<std::string, std::optional<std::string>>& changes) {
  ZipReader zip(source);
  ZipWriter writer(target);
  for (const std::string& name : zip.Names()) {
    const auto it = changes.find(name);
    if (it == changes.end())
      writer.CopyRaw(zip, name);
    else if (it->second)
      writer.Add(name, *it->second);
  }
  for (const auto& [name, content] : changes)
    if (!zip.Has(name) && content) writer.Add(name, *content);
  writer.Commit();
}

// Expects fn to throw EXlsxError with every one of the parts in its message.
template <class Fn>
void ExpectXlsxError(Fn fn, std::initializer_list<std::string> parts) {
  try {
    fn();
    ADD_FAILURE() << "no error";
  } catch (const EXlsxError& e) {
    for (const std::string& part : parts)
      EXPECT_NE(std::string(e.Message()).find(part), std::string::npos) << e.Message() << "\n  lacks: " << part;
  }
}

}  // namespace brelix::xlsx::testing
