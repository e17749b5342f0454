// The report run: from Show to the finished workbook, the output loop and the row buffer.

#include "runtime/Brelix.h"

namespace brelix {

void TBrelix::Show(const std::string& report_file_name) { ShowOnTemplate(GetTemplateFileName(), report_file_name); }

void TBrelix::ShowOnTemplate(const std::string&, const std::string&) {
  throw EBrelixError("The report run is not available in this build. ");
}

std::string TBrelix::GetTemplateFileName() { return {}; }

void TBrelix::BuildSheet(automation::Workbook&, automation::Workbook&) {
  throw EBrelixError("The report run is not available in this build. ");
}

void TBrelix::EditTemplate() { throw EBrelixError("The report run is not available in this build. "); }

}  // namespace brelix
