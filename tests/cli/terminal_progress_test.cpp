#include "cli/terminal_progress.h"

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <csignal>
#include <string>

#include "runtime/BrelixConsts.h"

namespace brelix::cli {
namespace {

TBrelixSplTexts Texts(std::string caption, std::string status) {
  TBrelixSplTexts t;
  t.caption = std::move(caption);
  t.status_name = BrelixConsts::SplStatusCapt;
  t.status = std::move(status);
  t.done_name = BrelixConsts::SplOutputted;
  t.time_name = BrelixConsts::SplTime;
  t.speed_name = BrelixConsts::SplSpeed;
  return t;
}

TEST(ProgressLine, ShowsTheCaptionAndTheValuesKnownYet) {
  TBrelixSplTexts counted = Texts("Sales 2026", "Getting data");
  counted.done = "25 rows";
  counted.time = "0:00:01";
  counted.speed = "25 rows/sec";
  struct Case {
    TBrelixSplTexts texts;
    std::size_t width;
    std::string line;
  };
  const Case cases[] = {
      {counted, 200, "Sales 2026 | Getting data | 25 rows | 0:00:01 | 25 rows/sec"},
      // Before the first count only the status is known; an empty caption leaves no gap.
      {Texts("", "Getting data"), 200, "Getting data"},
      // Line breaks of a title do not break the line; the width counts characters, not bytes.
      {Texts("Sales\r\n2026", "Pause"), 200, "Sales  2026 | Pause"},
      {Texts("Größe", "Getting data"), 9, "Größe | G"},
  };
  for (const Case& c : cases) EXPECT_EQ(ProgressLine(c.texts, c.width), c.line);
}

// A pipe whose ends close with the test.
struct Pipe {
  int read_end = -1;
  int write_end = -1;
  Pipe() {
    int fds[2];
    EXPECT_EQ(pipe(fds), 0);
    read_end = fds[0];
    write_end = fds[1];
    fcntl(read_end, F_SETFL, O_NONBLOCK);
  }
  ~Pipe() {
    if (read_end >= 0) close(read_end);
    CloseWriteEnd();
  }
  void CloseWriteEnd() {
    if (write_end >= 0) close(write_end);
    write_end = -1;
  }
  void Put(const std::string& text) { EXPECT_EQ(write(write_end, text.data(), text.size()), ssize_t(text.size())); }
  std::string Take() {
    std::string text;
    char buffer[4096];
    for (ssize_t n; (n = read(read_end, buffer, sizeof buffer)) > 0;) text.append(buffer, std::size_t(n));
    return text;
  }
};

TEST(TerminalProgress, AnswersToTheQuestion) {
  struct Case {
    std::string input;  // what the user types; without a line end the input ends there
    bool yes;
  };
  const Case cases[] = {{"y\n", true}, {"  Yes\n", true}, {"n\n", false}, {"\n", false}, {"", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.input);
    Pipe out;
    Pipe in;
    fcntl(in.read_end, F_SETFL, 0);  // the question waits for the answer
    in.Put(c.input);
    in.CloseWriteEnd();
    bool stopped = false;
    TerminalProgress display(out.write_end, in.read_end, &stopped);
    display.Show(Texts("Sales", "Pause"));
    EXPECT_EQ(display.Ask(BrelixConsts::MsgSplAsk), c.yes);
    EXPECT_EQ(stopped, c.yes);
    std::string shown = out.Take();
    EXPECT_NE(shown.find("Sales | Pause"), std::string::npos) << shown;
    EXPECT_NE(shown.find("\nDo you really want to break the process? [y/N] "), std::string::npos) << shown;
  }
}

TEST(TerminalProgress, AnInterruptBecomesOneCloseRequestAndTheHandlerGoesAway) {
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  struct sigaction before {};
  sigaction(SIGINT, &ignore, &before);
  {
    Pipe out;
    TerminalProgress display(out.write_end, -1);
    EXPECT_EQ(display.ProcessMessages(), TBrelixSplRequest::None);
    std::raise(SIGINT);
    EXPECT_EQ(display.ProcessMessages(), TBrelixSplRequest::Close);
    EXPECT_EQ(display.ProcessMessages(), TBrelixSplRequest::None);
  }
  struct sigaction after {};
  sigaction(SIGINT, nullptr, &after);
  EXPECT_EQ(after.sa_handler, SIG_IGN);
  sigaction(SIGINT, &before, nullptr);
}

TEST(TerminalProgress, CtrlCAndYesStopTheWorkShowingPauseWhileAsking) {
  Pipe out;
  Pipe in;
  in.Put("y\n");
  TBrelixSplDisplayFactory previous = SetBrelixSplDisplayFactory(
      [&] { return std::make_unique<TerminalProgress>(out.write_end, in.read_end); });
  int polls = 0;
  bool result = BrelixSplDoWork([&] {
    BrelixSplSetRecCount(0);
    for (; polls < 100; ++polls) {
      if (polls == 5) std::raise(SIGINT);
      if (BrelixSplIsStop()) return false;
    }
    return true;
  }, "Sales");
  SetBrelixSplDisplayFactory(previous);
  EXPECT_FALSE(result);
  EXPECT_EQ(polls, 6);
  std::string shown = out.Take();
  std::size_t asked = shown.find("[y/N] ");
  ASSERT_NE(asked, std::string::npos) << shown;
  // Pause is drawn just before the question, the working status again after it, and the line is
  // cleared when the window closes.
  EXPECT_NE(shown.rfind("Sales | Pause", asked), std::string::npos) << shown;
  EXPECT_NE(shown.find("Sales | Getting data", asked), std::string::npos) << shown;
  EXPECT_EQ(shown.substr(shown.size() - 4), "\r\x1b[K");
}

}  // namespace
}  // namespace brelix::cli
