#pragma once
// Cell addresses and ranges ("A1" style), moving the relative cell references of a formula,
// dotted field names, temporary files, and the library's main exception class. All routines
// are stateless.

#include <string>
#include <string_view>

#include "platform/errors.h"
#include "platform/class_info.h"
#include "platform/event.h"
#include "platform/variant.h"

namespace brelix {

//! The last row of a report sheet; a band may reach row BrelixMaxRow - 1 at most.
inline constexpr int BrelixMaxRow = 65535;
//! The last column of a report sheet ("IV").
inline constexpr int BrelixMaxCol = 256;

//! Failures of the report engine, the address helpers, the dictionary and the progress window.
class EBrelixError : public platform::Exception {
 public:
  using platform::Exception::Exception;
};

//! (Sender, Field, in-out Value): the value of a field that no dataset or dictionary holds; the
//! type of the report's OnGetFieldValue and of the template parser's value callback.
using TBrelixGetFieldValueEvent =
    platform::Event<void(platform::Persistent& sender, const std::string& field, platform::Variant& value)>;

//! The address of a cell, e.g. BrelixGetRange(12, 3) == "C12": one or two upper-case column
//! letters and the row, never a "$". Throws EBrelixError (MsgFncBadRng) for a row below 1 or a
//! column outside 1..702 ("ZZ"), which have no address of that form.
std::string BrelixGetRange(int row, int column);

//! The column of a cell address: "$c$4" gives 3, "AB12" and "AB$12" give 28. A leading "$" is
//! skipped and letters are read without regard to case. Throws EBrelixError (MsgFncBadRng) when
//! the text does not start with one or two column letters.
int BrelixGetRangeColumn(std::string_view cell);

//! The row of a cell address: "$B$7" gives 7. The row is the text from its first digit to the
//! end. Throws EBrelixError: MsgFncNoRow without a digit, MsgFncBadRng when the rest is not a
//! row number (other characters after the digits, a second cell, row 0, too large).
int BrelixGetRangeRow(std::string_view cell);

//! The text before the first colon of a range ("A1:C3" gives "A1"), the whole text without one.
std::string BrelixGetRangeFirst(std::string_view range);
//! The text after the first colon of a range ("A1:C3" gives "C3"); the whole text when there is
//! no colon or the colon is the last character ("A1:" gives "A1:").
std::string BrelixGetRangeLast(std::string_view range);

//! Splits a field name written Field, DataSet.Field or Form.DataSet.Field into its parts,
//! each trimmed of blanks and control characters; missing parts are empty. Throws EBrelixError
//! (MsgFncBadField) for more than two full stops or an empty field part ("Cust.").
void BrelixFindStrParts(std::string_view name, std::string& form, std::string& dataset,
                        std::string& field);

//! The formula moved by rowShift rows and colShift columns: every relative reference inside it
//! is shifted, absolute parts ($) stay, references that would leave rows 1..BrelixMaxRow or
//! columns 1..BrelixMaxCol stay as written, and text in double quotes is not touched. Texts that
//! are not formulas (not starting with "=" or fieldSign + "=" after trimming) come back as they
//! are, as does everything when both shifts are 0.
std::string BrelixRenewCellReferences(std::string_view formula, int rowShift, int colShift,
                                      char fieldSign);

//! The system's temporary folder, with a trailing separator. Throws platform::EOSError.
std::string BrelixGetTempDir();
//! Creates a new empty file "BRE" + hex digits + ".tmp" in folder and returns its full name.
//! Throws platform::EOSError when no file can be created.
std::string BrelixGetTempFileName(const std::string& folder);
//! BrelixGetTempFileName in BrelixGetTempDir().
std::string BrelixGetTempFName();

}  // namespace brelix

namespace brelix::platform {
class Component;
class DataSet;
}  // namespace brelix::platform

namespace brelix {

//! The component taken as a dataset: null for null; a component of another kind raises
//! platform::EInvalidCast naming it.
platform::DataSet* BrelixAsDataSet(platform::Component* component);

//! The dataset named dataset owned by the root component (data module) named form, both
//! compared without regard to case; null when there is no such module or it owns no component
//! of that name. The first matching module decides. A component of that name that is not a
//! dataset raises platform::EInvalidCast.
platform::DataSet* BrelixFindDSInForms(std::string_view form, std::string_view dataset);

}  // namespace brelix
