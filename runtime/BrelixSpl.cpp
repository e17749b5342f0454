// The progress window's state and routines; the host's display draws it.

#include "runtime/BrelixSpl.h"

#include <cxxabi.h>

#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <optional>
#include <typeinfo>
#include <utility>

#include "platform/errors.h"
#include "runtime/BrelixConsts.h"
#include "runtime/BrelixProc.h"

namespace brelix {

namespace {

TBrelixSplDisplayFactory& DisplayFactory() {
  static TBrelixSplDisplayFactory factory;
  return factory;
}

// The class name of an exception without its namespaces, as the error text names it.
std::string ExceptionClassName(const std::exception& e) {
  const char* mangled = typeid(e).name();
  int status = 0;
  char* demangled = abi::__cxa_demangle(mangled, nullptr, nullptr, &status);
  std::string name = status == 0 && demangled != nullptr ? demangled : mangled;
  std::free(demangled);
  // Template arguments are not expected in exception classes; the last scope is the name.
  if (std::size_t colons = name.rfind("::"); colons != std::string::npos) name.erase(0, colons + 2);
  return name;
}

// One progress window: the state of the form and the host's display, if any.
class SplWindow {
 public:
  SplWindow(const TBrelixSplWorkProc& work, const std::string& caption,
            std::unique_ptr<TBrelixSplDisplay> display);
  ~SplWindow();
  SplWindow(const SplWindow&) = delete;
  SplWindow& operator=(const SplWindow&) = delete;

  //! Shows the window, runs the work and closes; answers the work's result or raises the saved
  //! error.
  bool Run();

  bool Stopped() const { return stop_; }
  void SetStatus(const std::string& text);
  void SetRecCount(int rows);
  //! Lets the display process pending input and acts on what the user asked for.
  void ProcessMessages();

 private:
  //! The work has returned (or failed): the window closes.
  void Finish();
  void Redraw();
  void CancelClick();
  //! The window may close only when the work is done; while it runs the question is asked.
  bool CloseQuery();
  void AskForAbort();

  const TBrelixSplWorkProc* work_;
  std::unique_ptr<TBrelixSplDisplay> display_;
  TBrelixSplTexts texts_;
  bool result_ = false;
  bool stop_ = false;
  bool done_ = false;
  std::optional<std::string> saved_error_;
  std::chrono::steady_clock::time_point start_;
};

// The current progress window, or none.
SplWindow* current_window = nullptr;

SplWindow::SplWindow(const TBrelixSplWorkProc& work, const std::string& caption,
                     std::unique_ptr<TBrelixSplDisplay> display)
    : work_(&work), display_(std::move(display)) {
  current_window = this;
  texts_.status_name = BrelixConsts::SplStatusCapt;
  texts_.status = BrelixConsts::SplStatusWork;
  texts_.done_name = BrelixConsts::SplOutputted;
  texts_.time_name = BrelixConsts::SplTime;
  texts_.speed_name = BrelixConsts::SplSpeed;
  texts_.caption = caption;
  start_ = std::chrono::steady_clock::now();
}

SplWindow::~SplWindow() {
  if (current_window == this) current_window = nullptr;
}

bool SplWindow::Run() {
  // Shown: the flags are cleared and the work starts once the window is visible.
  stop_ = false;
  result_ = false;
  done_ = false;
  if (display_) display_->Show(texts_);
  ProcessMessages();
  try {
    if (*work_) result_ = (*work_)();
  } catch (const platform::Exception& e) {
    saved_error_ = ExceptionClassName(e) + ". " + e.what();
  } catch (...) {
    Finish();
    throw;
  }
  Finish();
  if (saved_error_) throw EBrelixError(*saved_error_);
  return result_;
}

void SplWindow::Finish() {
  done_ = true;
  if (display_) display_->Close();
}

void SplWindow::Redraw() {
  if (display_) display_->Show(texts_);
}

void SplWindow::SetStatus(const std::string& text) {
  texts_.status = text;
  Redraw();
  ProcessMessages();
}

void SplWindow::SetRecCount(int rows) {
  texts_.done = BrelixFormat(BrelixConsts::SplDoneFmt, rows);
  double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  texts_.time = BrelixSplTimeText(elapsed);
  texts_.speed = BrelixFormat(BrelixConsts::SplSpeedFmt, BrelixSplSpeed(rows, elapsed));
  Redraw();
  ProcessMessages();
}

void SplWindow::ProcessMessages() {
  if (!display_) return;
  switch (display_->ProcessMessages()) {
    case TBrelixSplRequest::None:
      break;
    case TBrelixSplRequest::Cancel:
      CancelClick();
      break;
    case TBrelixSplRequest::Close:
      CloseQuery();
      break;
  }
}

void SplWindow::CancelClick() {
  if (!done_ && !stop_) AskForAbort();
  CloseQuery();
}

bool SplWindow::CloseQuery() {
  if (!done_ && !stop_) AskForAbort();
  return done_;
}

void SplWindow::AskForAbort() {
  std::string status = std::exchange(texts_.status, BrelixConsts::SplStatusPause);
  Redraw();
  stop_ = display_->Ask(BrelixConsts::MsgSplAsk);
  texts_.status = std::move(status);
  Redraw();
}

}  // namespace

TBrelixSplDisplayFactory SetBrelixSplDisplayFactory(TBrelixSplDisplayFactory factory) {
  return std::exchange(DisplayFactory(), std::move(factory));
}

bool BrelixSplDoWork(const TBrelixSplWorkProc& work, const std::string& caption) {
  std::unique_ptr<TBrelixSplDisplay> display;
  if (const TBrelixSplDisplayFactory& factory = DisplayFactory()) display = factory();
  SplWindow window(work, caption, std::move(display));
  return window.Run();
}

void BrelixSplSetRecCount(int rows) {
  if (current_window != nullptr) current_window->SetRecCount(rows);
}

void BrelixSplSetStatus(const std::string& text) {
  if (current_window != nullptr) current_window->SetStatus(text);
}

bool BrelixSplIsStop() {
  if (current_window == nullptr) return false;
  bool stop = current_window->Stopped();
  current_window->ProcessMessages();
  return stop;
}

std::string BrelixSplTimeText(double elapsed_seconds) {
  // Milliseconds first, then whole seconds, as a time of day is taken apart.
  long long ms = elapsed_seconds > 0 ? std::llround(elapsed_seconds * 1000.0) : 0;
  long long seconds_of_day = (ms / 1000) % (24 * 60 * 60);
  const long long parts[] = {seconds_of_day / 3600, seconds_of_day / 60 % 60, seconds_of_day % 60};
  // The format's letters: h hours, m or n minutes, s seconds; doubled, two digits; other
  // characters as they are.
  std::string text;
  const std::string fmt = BrelixConsts::SplTimeFmt;
  for (std::size_t i = 0; i < fmt.size();) {
    char c = static_cast<char>(std::tolower(static_cast<unsigned char>(fmt[i])));
    int part = c == 'h' ? 0 : c == 'm' || c == 'n' ? 1 : c == 's' ? 2 : -1;
    if (part < 0) {
      text += fmt[i++];
      continue;
    }
    bool two_digits = i + 1 < fmt.size() && std::tolower(static_cast<unsigned char>(fmt[i + 1])) == c;
    std::string digits = std::to_string(parts[part]);
    if (two_digits && digits.size() < 2) digits.insert(0, 1, '0');
    text += digits;
    i += two_digits ? 2 : 1;
  }
  return text;
}

long long BrelixSplSpeed(long long rows, double elapsed_seconds) {
  constexpr double day = 24.0 * 60 * 60;
  double seconds = elapsed_seconds - std::floor(elapsed_seconds / day) * day;
  if (!(seconds > 0)) return 0;
  double speed = static_cast<double>(rows) / seconds;
  double whole = std::floor(speed);
  double fraction = speed - whole;
  if (fraction > 0.5 || (fraction == 0.5 && std::fmod(whole, 2.0) != 0)) whole += 1;
  return static_cast<long long>(whole);
}

}  // namespace brelix
