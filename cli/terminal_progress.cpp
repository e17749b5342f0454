// The terminal line of the progress window and its interrupt handling.

#include "cli/terminal_progress.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

namespace brelix::cli {

namespace {

// Set by the SIGINT handler, taken by ProcessMessages and Ask.
volatile std::sig_atomic_t interrupted = 0;

extern "C" void OnInterrupt(int) { interrupted = 1; }

struct sigaction previous_action;

// Appends text, cutting it off once the line holds width code points.
void AppendLimited(std::string& line, std::size_t& length, std::size_t width, const std::string& text) {
  for (unsigned char c : text) {
    bool starts_code_point = (c & 0xC0) != 0x80;
    if (starts_code_point) {
      if (length >= width) return;
      ++length;
    }
    line += static_cast<char>(c < 0x20 || c == 0x7F ? ' ' : c);
  }
}

// The terminal's width in columns; 80 when it cannot be told.
std::size_t TerminalWidth(int fd) {
  winsize size{};
  if (ioctl(fd, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  return 80;
}

}  // namespace

std::string ProgressLine(const TBrelixSplTexts& texts, std::size_t width) {
  // The values speak for themselves ("25 rows", "0:00:01", "25 rows/sec"); without the names the
  // line fits a narrow terminal.
  std::string line;
  std::size_t length = 0;
  for (const std::string* value : {&texts.caption, &texts.status, &texts.done, &texts.time, &texts.speed}) {
    if (value->empty()) continue;
    if (!line.empty()) AppendLimited(line, length, width, " | ");
    AppendLimited(line, length, width, *value);
  }
  return line;
}

TerminalProgress::TerminalProgress(int out_fd, int in_fd, bool* stopped)
    : out_fd_(out_fd), in_fd_(in_fd), stopped_(stopped) {
  interrupted = 0;
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  // No SA_RESTART: a read of the answer returns when a second interrupt comes.
  action.sa_flags = 0;
  sigaction(SIGINT, &action, &previous_action);
}

TerminalProgress::~TerminalProgress() {
  sigaction(SIGINT, &previous_action, nullptr);
  interrupted = 0;
}

void TerminalProgress::Write(const std::string& text) const {
  std::size_t written = 0;
  while (written < text.size()) {
    ssize_t n = ::write(out_fd_, text.data() + written, text.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    written += static_cast<std::size_t>(n);
  }
}

void TerminalProgress::Draw() {
  // One column short of the width, so that the line never wraps and \r returns to its start.
  std::size_t width = TerminalWidth(out_fd_);
  Write("\r" + ProgressLine(texts_, width > 1 ? width - 1 : width) + "\x1b[K");
  drawn_ = true;
  last_draw_ = std::chrono::steady_clock::now();
}

void TerminalProgress::Show(const TBrelixSplTexts& texts) {
  // A new caption or status shows at once; counts at most ten times a second, since the walk
  // reports them often.
  bool changed = !drawn_ || texts.caption != texts_.caption || texts.status != texts_.status;
  texts_ = texts;
  if (changed || std::chrono::steady_clock::now() - last_draw_ >= std::chrono::milliseconds(100)) Draw();
}

bool TerminalProgress::Ask(const std::string& question) {
  Draw();
  int fd = in_fd_;
  if (fd < 0) fd = ::open("/dev/tty", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return Confirmed();
  interrupted = 0;
  Write("\n" + question + " [y/N] ");
  std::string answer;
  bool line_ended = false;
  bool insisted = false;
  for (;;) {
    char c;
    ssize_t n = ::read(fd, &c, 1);
    if (n < 0 && errno == EINTR) {
      if (interrupted) {
        insisted = true;
        break;
      }
      continue;
    }
    if (n <= 0) break;
    if (c == '\n') {
      line_ended = true;
      break;
    }
    answer += c;
  }
  if (fd != in_fd_) ::close(fd);
  interrupted = 0;
  // Remove the question: back to its line (the answer's Enter moved below it), clear it, and up
  // to the progress line, which the next Show redraws.
  Write(std::string(line_ended ? "\x1b[1A" : "") + "\r\x1b[K\x1b[1A");
  drawn_ = false;
  if (insisted) return Confirmed();
  std::size_t first = answer.find_first_not_of(" \t\r");
  bool yes = first != std::string::npos && (answer[first] == 'y' || answer[first] == 'Y');
  return yes ? Confirmed() : false;
}

bool TerminalProgress::Confirmed() {
  if (stopped_ != nullptr) *stopped_ = true;
  return true;
}

TBrelixSplRequest TerminalProgress::ProcessMessages() {
  if (!interrupted) return TBrelixSplRequest::None;
  interrupted = 0;
  return TBrelixSplRequest::Close;
}

void TerminalProgress::Close() {
  if (drawn_) Write("\r\x1b[K");
  drawn_ = false;
}

TerminalProgressInstaller::TerminalProgressInstaller()
    : previous_(SetBrelixSplDisplayFactory(
          [this] { return std::make_unique<TerminalProgress>(STDERR_FILENO, -1, &stopped_); })) {}

TerminalProgressInstaller::~TerminalProgressInstaller() { SetBrelixSplDisplayFactory(std::move(previous_)); }

}  // namespace brelix::cli
