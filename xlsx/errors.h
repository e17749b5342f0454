#pragma once
// The error the spreadsheet engine raises: a damaged or unsupported package, malformed XML in a
// part, an unknown sheet, a cell address outside the sheet. The text names what and where.

#include "platform/errors.h"

namespace brelix::xlsx {

class EXlsxError : public platform::Exception {
 public:
  using platform::Exception::Exception;
};

}  // namespace brelix::xlsx
