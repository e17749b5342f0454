#pragma once
// LibreOffice headless as the real client of the files we write: a workbook's sheets turned
// into CSV by LibreOffice, so that formulas appear with the values LibreOffice calculated.

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace brelix::testing {

inline bool HaveLibreOffice() { return std::system("command -v soffice >/dev/null 2>&1") == 0; }

//! Each named sheet of file as CSV text (comma, double quotes, values as shown), by sheet name;
//! work holds LibreOffice's profile and the CSV files. A sheet that was not written is "".
inline std::map<std::string, std::string> SheetsAsCsv(const std::filesystem::path& file,
                                                      const std::vector<std::string>& sheets,
                                                      const std::filesystem::path& work) {
  const std::string command = "cd '" + work.string() + "' && soffice -env:UserInstallation=file://" + work.string() +
                              "/profile --headless --convert-to "
                              "'csv:Text - txt - csv (StarCalc):44,34,76,1,,0,false,true,false,false,false,-1' "
                              "--outdir '" + (work / "csv").string() + "' '" + file.string() + "' >/dev/null 2>&1";
  std::map<std::string, std::string> csv;
  if (std::system(command.c_str()) != 0) return csv;
  for (const std::string& sheet : sheets) {
    std::ifstream in(work / "csv" / (file.stem().string() + "-" + sheet + ".csv"));
    std::stringstream text;
    text << in.rdbuf();
    csv[sheet] = text.str();
  }
  return csv;
}

}  // namespace brelix::testing
