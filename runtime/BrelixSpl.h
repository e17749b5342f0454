#pragma once
// The progress window: a long piece of work runs inside it, and the work reports its row count
// and status through free routines while the window shows them and lets the user cancel.
//
// The window itself is a display that the host installs (a terminal line for the command line,
// a window in the designer); the routines keep the window's state. Without an installed display
// the work still runs inside the window's state, only nothing is drawn and nobody can cancel.
// Everything runs on the caller's thread: the display processes pending input whenever a
// progress routine is called, so cancelling is cooperative (the work polls BrelixSplIsStop).

#include <functional>
#include <memory>
#include <string>

namespace brelix {

//! The work run inside the progress window; its result is BrelixSplDoWork's.
using TBrelixSplWorkProc = std::function<bool()>;

//! Every text the progress window shows: the caption and four rows of a name and a value.
struct TBrelixSplTexts {
  std::string caption;
  std::string status_name;  //!< "Status"
  std::string status;       //!< "Getting data", "Pause" while the cancel question is open
  std::string done_name;    //!< "Processed"
  std::string done;         //!< "25 rows"
  std::string time_name;    //!< "Time"
  std::string time;         //!< "0:00:03"
  std::string speed_name;   //!< "Speed"
  std::string speed;        //!< "8 rows/sec"

  friend bool operator==(const TBrelixSplTexts&, const TBrelixSplTexts&) = default;
};

//! What the user asked for while pending input was processed.
enum class TBrelixSplRequest {
  None,
  //! The Cancel button (or its key): the question is asked, and then the window is asked to
  //! close, which asks once more after a No while the work runs.
  Cancel,
  //! The window's close box (or an interrupt from the keyboard): the window is asked to close,
  //! which asks the question while the work runs.
  Close,
};

//! The visible part of the progress window, supplied by the host.
class TBrelixSplDisplay {
 public:
  virtual ~TBrelixSplDisplay() = default;
  //! The window opens with these texts (first call) or one of them changed.
  virtual void Show(const TBrelixSplTexts& texts) = 0;
  //! Asks a question modally with the buttons Yes and No, No being the default; true for Yes.
  //! The window's texts (status "Pause") have been shown just before.
  virtual bool Ask(const std::string& question) = 0;
  //! Processes pending input (painting, keys, clicks) and answers what the user asked for since
  //! the last call, if anything.
  virtual TBrelixSplRequest ProcessMessages() = 0;
  //! The work has ended and the window closes; the display is destroyed afterwards.
  virtual void Close() = 0;
};

//! Makes a display for each progress window; an empty function means none.
using TBrelixSplDisplayFactory = std::function<std::unique_ptr<TBrelixSplDisplay>()>;

//! Installs the factory of the progress window's display (an empty one: no display) and returns
//! the previous one.
TBrelixSplDisplayFactory SetBrelixSplDisplayFactory(TBrelixSplDisplayFactory factory);

//! Runs work inside a new progress window with the given caption (also an empty one) and returns
//! its result. The window is the current one until the work has returned. An error of the
//! platform's exception class escaping the work is raised after the window has closed, as
//! EBrelixError with the text "ClassName. message"; other exceptions pass through unchanged.
bool BrelixSplDoWork(const TBrelixSplWorkProc& work, const std::string& caption);
//! Shows the rows processed so far, the elapsed time and the speed; pending input is processed.
void BrelixSplSetRecCount(int rows);
//! Shows the status text; pending input is processed.
void BrelixSplSetStatus(const std::string& text);
//! True when the user confirmed cancelling. Pending input is processed after the flag was read,
//! and the flag as read before is answered. False without a current window.
bool BrelixSplIsStop();

//! The elapsed time as the window shows it, "h:mm:ss": whole seconds, hours 0 to 23.
std::string BrelixSplTimeText(double elapsed_seconds);
//! Rows per second: rows / seconds of the elapsed time within its day, rounded to the nearest
//! integer with halves to the even neighbour; 0 when that time is not above zero.
long long BrelixSplSpeed(long long rows, double elapsed_seconds);

}  // namespace brelix
