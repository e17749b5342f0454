#pragma once
// The progress window of the command line: one line on the terminal, refreshed in place, and an
// interrupt from the keyboard (Ctrl-C) that asks whether to break the report off.

#include <chrono>
#include <cstddef>
#include <string>

#include "runtime/BrelixSpl.h"

namespace brelix::cli {

//! The progress line for texts, at most width characters (code points) long: the caption, the
//! status, the rows, the time and the speed, those known yet, separated by " | ". Control
//! characters of the caption become blanks.
std::string ProgressLine(const TBrelixSplTexts& texts, std::size_t width);

//! Draws the progress window as one line on out_fd and reads the answers to its question from
//! in_fd. While it exists, SIGINT only sets a flag, which the next processing of pending input
//! turns into a close request; the previous handling of SIGINT is restored afterwards.
class TerminalProgress : public TBrelixSplDisplay {
 public:
  //! in_fd -1: the controlling terminal (/dev/tty) is opened for each question. A Yes answer
  //! also sets *stopped, when given.
  TerminalProgress(int out_fd, int in_fd, bool* stopped = nullptr);
  ~TerminalProgress() override;
  TerminalProgress(const TerminalProgress&) = delete;
  TerminalProgress& operator=(const TerminalProgress&) = delete;

  void Show(const TBrelixSplTexts& texts) override;
  //! Prints the question below the line with "[y/N]" and reads one line; Yes only for an answer
  //! starting with y or Y. A second interrupt while asking, or no terminal to ask on, counts as
  //! Yes: the user insists on stopping.
  bool Ask(const std::string& question) override;
  TBrelixSplRequest ProcessMessages() override;
  //! Clears the line.
  void Close() override;

 private:
  void Draw();
  //! A Yes: noted for whoever asked to know.
  bool Confirmed();
  void Write(const std::string& text) const;

  int out_fd_;
  int in_fd_;
  bool* stopped_;
  TBrelixSplTexts texts_;
  bool drawn_ = false;
  std::chrono::steady_clock::time_point last_draw_;
};

//! Makes the terminal display the progress window's display for the lifetime of this object,
//! drawing on standard error; the display installed before comes back afterwards.
class TerminalProgressInstaller {
 public:
  TerminalProgressInstaller();
  ~TerminalProgressInstaller();
  TerminalProgressInstaller(const TerminalProgressInstaller&) = delete;
  TerminalProgressInstaller& operator=(const TerminalProgressInstaller&) = delete;

  //! True when the user confirmed breaking a run off in one of its displays.
  bool Stopped() const { return stopped_; }

 private:
  TBrelixSplDisplayFactory previous_;
  bool stopped_ = false;
};

}  // namespace brelix::cli
