#pragma once
// The message table: every user-visible text of the library under its name, and BrelixFormat,
// which fills the %s and %d placeholders of these texts. Error texts mostly end with a full stop
// and a blank so that callers can append more text.

#include <concepts>
#include <initializer_list>
#include <string>
#include <string_view>

namespace brelix {
namespace BrelixConsts {

// --- Report run, output loop, row buffer, stored template, field dataset lookup ---------------

//! A run or a template edit needs the stored template and the form file holds none.
inline constexpr const char* MsgBrelix1 = "DFM doesn't contain a template. ";
//! The form file's stored template is shorter than its length says; %d the length, %d the
//! bytes present.
inline constexpr const char* MsgTemplRead =
    "Error reading the stored template: its length is %d bytes, but %d follow. ";
//! The template file name is empty or names no existing file (Show, EditTemplate); %s the name.
inline constexpr const char* MsgBrelix2 = "File \"%s\" does not exist. ";
//! Copying the template to its working copy failed; %s the working copy's name.
inline constexpr const char* MsgBrelix3 = "Error creating file \"%s\"";
//! The block write of buffered rows into the report sheet failed; %s the failure's text.
inline constexpr const char* MsgBrelix4 =
    "Error writing report data to the Excel sheet: %s. \r\nMaybe error in formula. ";
//! A user field is answered neither by the dictionary nor by OnGetFieldValue; %s the field.
inline constexpr const char* MsgBrelix5 = "Field \"%s\" not found in tables. ";
//! A band or a buffer flush would reach report row 65535.
inline constexpr const char* MsgBrelix6 =
    "Too many lines in the report. Max available number is 65535. ";
//! The dataset named by a template field lacks that field; %s field name, %s dataset name.
inline constexpr const char* MsgBrelix7 = "Field \"%s\" not found in table \"%s\". ";
//! The spreadsheet application cannot be started for a run; %s the failure's text.
inline constexpr const char* MsgBrelix8 = "Error creating Excel application object. %s. ";
//! A sub-report chain that returns to a report it passed (it would never end).
inline constexpr const char* MsgSubReportCycle = "The sub-report chain of %s comes back to %s. ";
//! The template workbook cannot be opened; %s the file name, %s the failure's text.
inline constexpr const char* MsgBrelix10 = "Error opening template \"%s\". %s. ";

// --- Band items and band collection ---------------------------------------------------------

//! A group header's footer band text names no footer of its own collection.
inline constexpr const char* MsgBnd = "Assigned footer band has different Bands property value";
//! The form file holds more band items than its BandCount allows.
inline constexpr const char* MsgBndMoreBand = "Error reading bands. More bands than expected.";
//! A band item in the form file names an unknown property; %s the full property name.
inline constexpr const char* MsgBndUnProp = "Error reading bands. Unknown property name %s.";
//! A BandType in the form file that is no band type, or not the type of a group band's slot;
//! %d the value, %s the band read so far.
inline constexpr const char* MsgBndBadType = "Error reading bands. Wrong band type %d for %s.";
//! A BandType or GroupID in the form file that is not an integer; %s the property name.
inline constexpr const char* MsgBndBadValue = "Error reading bands. %s must be an integer.";

// --- Field expression parser ----------------------------------------------------------------

//! A field sign is followed by an unclosed or empty quoted expression or an empty run;
//! %s the cell text, %s the field sign.
inline constexpr const char* MsgFPrsBadStr =
    "Cell value (%s) contains field sign (%s), but field name cannot be determined. ";
//! A function expression does not end with ")"; %s the expression.
inline constexpr const char* MsgFPrsBadField =
    "The last symbol of the field \"%s\" must be a bracket \")\". ";
//! A function expression names none of SUM, AVG, MAX, MIN, COUNT; %s the expression.
inline constexpr const char* MsgFPrsBadFunc = "Unknown function name: %s. ";

// --- Template parser, band info and totals --------------------------------------------------

//! No band info matches the band (and header band) asked for; %s the band's display name.
inline constexpr const char* MsgTPrsNoBand =
    "The band \"%s\" is not found or the report doesn't contain it. ";
//! A band to be parsed has a blank Range; %s the band's display name.
inline constexpr const char* MsgTPrsEmptyRange = "Property Range of band %s is empty.";
//! The spreadsheet cannot evaluate a band range, or its corners are swapped;
//! %s display name, %s range text (the spreadsheet's message may follow on a new line).
inline constexpr const char* MsgTPrsBadRange = "Band %s. Wrong Range value: \"%s\". ";
//! A band range has more than one area; %s display name, %s range text, %d area count.
inline constexpr const char* MsgTPrsMultyAreaRange =
    "Band %s, range %s. Inadmissible range area count (%d). ";
//! A cell asked of a band lies outside its range; %d row, %d column.
inline constexpr const char* MsgTPrsNoCell =
    "The cell R%dC%d is not found. This cell has no field. ";
//! A total asked for was never registered (internal inconsistency); %s the field name.
inline constexpr const char* MsgTPrsInternalNoField =
    "Internal error. The total field \"%s\" is not found. ";
//! No native (user-language) name is known for a function; %s the English function name.
inline constexpr const char* MsgTPrsNoFunc =
    "Cannot find a native name of English Excel function %s. ";
//! Assertion: a row interval index outside the band info's list.
inline constexpr const char* AssTP0 = "TBrelixBandInfo.GetBandRange: Bad \"RowIdx\" parameter.";

// --- Copy manager -----------------------------------------------------------------------------

//! Copy manager failure with an internal code (1 no level, 3 band without level, 4 bad action
//! text); %d the code.
inline constexpr const char* MsgCpyMng = "TBrelix\\TBrelixCopyManager internal error %d. ";
//! Assertion in FindFooterChain: the two groups lie on different levels.
inline constexpr const char* AssCM0 =
    "TBrelixCopyGroup.FindFooterChain: The \"Self\" and \"Group\" parameters have different "
    "hierarchy values.";
//! Assertion in FindFooterChain: the group's footer is already outputted.
inline constexpr const char* AssCM1 =
    "TBrelixCopyGroup.FindFooterChain: The \"Self\" footer is already outputted.";
//! Assertion in FindFooterChain: the source group's footer is not completed.
inline constexpr const char* AssCM2 =
    "TBrelixCopyGroup.FindFooterChain: The \"Copy from\" item is not a right branch - its footer "
    "must be completed.";
//! Assertion in FindFooterChain: the target group's footer is not completed.
inline constexpr const char* AssCM3 =
    "TBrelixCopyGroup.FindFooterChain: The \"Copy to\" item must be completed.";
//! Assertion in FindFooterChain: the target group's header is not completed.
inline constexpr const char* AssCM6 =
    "TBrelixCopyGroup.FindFooterChain: The \"Copy to\" item is not a left branch - its header "
    "must be completed.";
//! Assertion in FindHeaderChain: the two groups lie on different levels.
inline constexpr const char* AssCM7 =
    "TBrelixCopyGroup.FindHeaderChain: The \"Self\" and \"Group\" parameters have different "
    "hierarchy values.";
//! Assertion in FindHeaderChain: the group's header is already outputted.
inline constexpr const char* AssCM8 =
    "TBrelixCopyGroup.FindHeaderChain: The \"Self\" header is already outputted.";
//! Assertion in FindHeaderChain: the target group's header is not completed.
inline constexpr const char* AssCM9 =
    "TBrelixCopyGroup.FindHeaderChain: The \"Copy to\" item is not a left branch - its header "
    "must be completed.";
//! Assertion in FindHeaderChain: the source group's footer is not completed.
inline constexpr const char* AssCM11 =
    "TBrelixCopyGroup.FindHeaderChain: The \"Copy from\" item is not a right branch - its footer "
    "must be completed.";
//! Assertion in FindHeaderChain: the chain found is longer than allowed.
inline constexpr const char* AssCM12 =
    "TBrelixCopyGroup.FindHeaderChain: The result is more than \"MaxLen\" parameter.";
//! Assertion in MarkAsOutputtedBack: more children marked than the group has.
inline constexpr const char* AssCM13 =
    "TBrelixCopyGroup.MarkAsOutputtedBack: Output more children than there are.";
//! Assertion in MarkAsOutputtedBack: rows left over after marking.
inline constexpr const char* AssCM14 =
    "TBrelixCopyGroup.MarkAsOutputtedBack: Wrong \"Num\" parameter.";
//! Assertion in MarkAsOutputtedForw: more children marked than the group has.
inline constexpr const char* AssCM15 =
    "TBrelixCopyGroup.MarkAsOutputtedForw: Output more children than there are.";
//! Assertion in MarkAsOutputtedForw: rows left over after marking.
inline constexpr const char* AssCM16 =
    "TBrelixCopyGroup.MarkAsOutputtedForw: Wrong \"Num\" parameter.";
//! Assertion in OutputDetail: the group is not on the bottom group level.
inline constexpr const char* AssCM17 =
    "TBrelixCopyGroup.OutputDetail: The \"Self\" must be a bottom level in the hierarchy of "
    "TBrelixCopyGroup objects.";

// --- Cell address helpers and field names -----------------------------------------------------

//! A cell address without a column, or with a row that is not a number; %s the address.
inline constexpr const char* MsgFncBadRng = "Wrong range: \"%s\". ";
//! A cell address without any digit; %s the address.
inline constexpr const char* MsgFncNoRow = "Row is not defined in range \"%s\". ";
//! A dotted field name with a missing part or too many full stops; %s the name.
inline constexpr const char* MsgFncBadField = "Bad field name: %s. ";

// --- Progress window --------------------------------------------------------------------------

//! Caption of the status name label.
inline constexpr const char* SplStatusCapt = "Status";
//! Status while records are read and bands buffered.
inline constexpr const char* SplStatusWork = "Getting data";
//! Status while the copy manager formats the rows of a batch.
inline constexpr const char* SplStatusCopying = "Copying bands";
//! Status while a block of values is written to the report sheet.
inline constexpr const char* SplStatusWriting = "Writing data";
//! Status shown while the cancel question is open.
inline constexpr const char* SplStatusPause = "Pause";
//! Caption of the processed-rows name label.
inline constexpr const char* SplOutputted = "Processed";
//! Caption of the elapsed-time name label.
inline constexpr const char* SplTime = "Time";
//! Caption of the speed name label.
inline constexpr const char* SplSpeed = "Speed";
//! Processed rows; %d the row count.
inline constexpr const char* SplDoneFmt = "%d rows";
//! Date-time format of the elapsed time (not a printf text).
inline constexpr const char* SplTimeFmt = "h:mm:ss";
//! Speed; %d rows per second.
inline constexpr const char* SplSpeedFmt = "%d rows/sec";
//! Question asked when the user cancels the running work.
inline constexpr const char* MsgSplAsk = "Do you really want to break the process?";

// --- Dictionary of user fields ----------------------------------------------------------------

//! FieldByName finds no field of that name; %s the name.
inline constexpr const char* MsgDct = "The field \"%s\" is not found in the dictionary. ";

// --- Design time: component editor and property editors ---------------------------------------

//! Question before a template stored in the form file is given up.
inline constexpr const char* MsgReg0 = "The form contains a template. Save template to file? ";
//! Writing the stored template to the chosen file failed; %s file name, %s error text.
inline constexpr const char* MsgReg1 = "Cannot save the template to file \"%s\". \r\n%s";
//! The Template property is given the name of a missing file; %s the name.
inline constexpr const char* MsgReg2 = "File \"%s\" does not exist. ";
//! Writing the stored template to a temporary file failed; %s error text.
inline constexpr const char* MsgReg3 = "Cannot save template to a temporary file. \r\n%s";
//! Information after the stored template was written to a temporary file; %s its name.
inline constexpr const char* MsgReg4 = "The template has been saved to file \"%s\".";
//! A template cannot be opened in the spreadsheet; %s file name, %s error text.
inline constexpr const char* MsgReg5 = "Error opening file \"%s\" in Excel. \r\n%s";
//! A template file cannot be loaded into the stored template; %s file name, %s error text.
inline constexpr const char* MsgReg6 = "Cannot load a template from file \"%s\". \r\n%s";
//! The template editor failed on the stored template; %s file name, %s error text.
inline constexpr const char* MsgReg7 = "Error editing the stored template \"%s\". %s";
//! The spreadsheet application cannot be started at design time; %s the error text.
inline constexpr const char* MsgNoExcel = "Error creating Excel application object. %s. ";
//! Filter of the template file dialogs.
inline constexpr const char* XLFlt = "MS Excel files (*.xls)|*.xls";

// --- Design time: template editor window ------------------------------------------------------

//! Caption suffix of the window in edit-stored-template mode (after the file name).
inline constexpr const char* MsgTEdtEdtCapt = " - editing stored template";
//! OK button in edit-stored-template mode.
inline constexpr const char* MsgTEdtOKSav = "Save && Exit";
//! Hint in edit-stored-template mode.
inline constexpr const char* MsgTEdtEdtPrmt =
    "Edit the template and push the \"Save && Exit\" button to save it.";
//! Cancel button in edit-stored-template mode.
inline constexpr const char* MsgTEdtCancel = "Cancel";
//! Caption of the window in select-range mode.
inline constexpr const char* MsgTEdtSelCapt = "Select range";
//! OK button in select-range mode.
inline constexpr const char* MsgTEdtOKSel = "Select && Exit";
//! Hint in select-range mode.
inline constexpr const char* MsgTEdtSelRng = "Select range and push the \"Select && Exit\" button.";
//! OK pressed while the spreadsheet is still editing a cell.
inline constexpr const char* MsgTEdt = "Save currently edited cell and try again.";

// --- Design time: template wizard -------------------------------------------------------------

//! Suffix of the group field in the wizard's field list.
inline constexpr const char* GroupFieldLabel = " (Group Field)";
//! Font or Color pressed without a selected band.
inline constexpr const char* MsgNoBands = "No Bands Selected";
//! Create Template pressed with a blank template file name.
inline constexpr const char* MsgTemplFNameNotDef = "Template Filename Not Defined";
//! The workbook already holds the sheet to write; %s the sheet name as typed.
inline constexpr const char* MsgAlrExists = "Sheet \"%s\" already exists. Overwrite?";
//! Cancel pressed after the wizard changed the component.
inline constexpr const char* MsgSavePropertyChange = "Save changes for component properties?";
//! Caption of the bands group box (also with no band selected).
inline constexpr const char* gbCapBands = "Bands";
//! Caption of the data fields group box (also with no band selected).
inline constexpr const char* gbCapDataFields = "Data Fields";
//! Label of the dataset combo box.
inline constexpr const char* lCapDataSet = "DataSet";
//! Label of the dataset field list.
inline constexpr const char* lCapDataSetFields = "Data Set Fields";
//! Add Band button and menu item.
inline constexpr const char* btCapAddBand = "Add Band";
//! Delete Band button and menu item.
inline constexpr const char* btCapDeleteBand = "Delete Band";
//! Font button and menu item.
inline constexpr const char* btCapFont = "Font";
//! Color button and menu item.
inline constexpr const char* btCapColor = "Color";
//! Check box switching the owner-drawn band list.
inline constexpr const char* chbCapPreview = "Preview In Band List";
//! Caption of the template group box.
inline constexpr const char* gbTemplate = "Template";
//! Label of the template file name.
inline constexpr const char* lCapTemplateFileName = "New Template Filename";
//! Label of the sheet name.
inline constexpr const char* lCapSheetName = "Sheet Name";
//! Default sheet name.
inline constexpr const char* edTextSheet = "Sheet1";
//! Label of the aggregate function combo box.
inline constexpr const char* lCapFieldAgg = "Fields Aggregate Function";
//! Create Template button; also the start of the wizard window's caption.
inline constexpr const char* btCapCreate = "Create Template";
//! Cancel button of the wizard.
inline constexpr const char* btCapCancel = "Cancel";

}  // namespace BrelixConsts

//! One argument of BrelixFormat, held as the text that replaces its placeholder: texts as they
//! are (a null pointer as the empty text), a char as a one-character text, integers in decimal.
class BrelixFormatArg {
 public:
  BrelixFormatArg(const char* text) : text_(text != nullptr ? text : "") {}
  BrelixFormatArg(std::string_view text) : text_(text) {}
  BrelixFormatArg(const std::string& text) : text_(text) {}
  BrelixFormatArg(char c) : text_(1, c) {}
  template <std::integral T>
    requires(!std::same_as<T, char>)
  BrelixFormatArg(T value) : text_(std::to_string(value)) {}

  const std::string& Text() const noexcept { return text_; }

 private:
  std::string text_;
};

//! Fills fmt's placeholders from args in order: "%s" and "%d" take the next argument's text,
//! "%%" gives "%". A placeholder without an argument stays as written, surplus arguments are
//! ignored and any other "%" is copied, so a wrong argument list never corrupts memory. A null
//! fmt gives the empty text.
std::string BrelixFormatList(const char* fmt, std::initializer_list<BrelixFormatArg> args);

//! printf-style filling of a message table text: BrelixFormat(MsgFncBadRng, "A1x").
template <typename... Args>
std::string BrelixFormat(const char* fmt, const Args&... args) {
  return BrelixFormatList(fmt, {BrelixFormatArg(args)...});
}

}  // namespace brelix
