#include "updater/ui/terminal_front_end.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

#include "updater/module_resources.h"

namespace zarn {
namespace ui {

namespace {

constexpr int kBarWidth = 30;

// SIGINT and SIGTERM reach the front end through a pipe while a window is open.
std::atomic<int> g_signal_pipe{-1};
std::atomic<bool> g_window_open{false};
struct sigaction g_saved_int, g_saved_term;
int g_signal_fds[2] = {-1, -1};

void OnSignal(int signal_number) {
  int fd = g_signal_pipe.load();
  if (g_window_open.load() && fd >= 0) {
    int saved = errno;
    char c = static_cast<char>(signal_number);
    ssize_t ignored = write(fd, &c, 1);
    (void)ignored;
    errno = saved;
    return;
  }
  signal(signal_number, SIG_DFL);
  raise(signal_number);
}

void InstallSignalHandlers() {
  if (g_signal_fds[0] < 0 && pipe2(g_signal_fds, O_CLOEXEC | O_NONBLOCK) != 0) return;
  g_signal_pipe.store(g_signal_fds[1]);
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, &g_saved_int);
  sigaction(SIGTERM, &action, &g_saved_term);
}

void RestoreSignalHandlers() {
  sigaction(SIGINT, &g_saved_int, nullptr);
  sigaction(SIGTERM, &g_saved_term, nullptr);
}

void DrainFd(int fd) {
  char buffer[64];
  while (read(fd, buffer, sizeof buffer) > 0) {
  }
}

}  // namespace

TerminalFrontEnd::TerminalFrontEnd(int out, int err, bool interactive)
    : out_(out), err_(err), interactive_(interactive) {
  if (pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) wake_[0] = wake_[1] = -1;
  if (interactive_) {
    tty_ = open("/dev/tty", O_RDONLY | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (tty_ < 0) interactive_ = false;
  }
  InstallSignalHandlers();
}

TerminalFrontEnd::~TerminalFrontEnd() {
  g_window_open.store(false);
  RestoreSignalHandlers();
  LeaveRawMode();
  if (tty_ >= 0) close(tty_);
  for (int fd : wake_) {
    if (fd >= 0) close(fd);
  }
}

void TerminalFrontEnd::Write(int fd, const std::string& text) {
  const char* p = text.data();
  std::size_t left = text.size();
  while (left > 0) {
    ssize_t n = write(fd, p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    p += n;
    left -= static_cast<std::size_t>(n);
  }
}

void TerminalFrontEnd::CreateWindow(WindowId window, const DialogTemplate& dialog) {
  window_ = window;
  title_ = dialog.caption;
  barVisible_ = true;
  marqueeVisible_ = false;
  marqueeOn_ = false;
  position_ = 0;
  for (const DialogControl& control : dialog.controls) {
    if (control.kind == DialogControl::Kind::kText) text_ = control.text;
    if (control.kind == DialogControl::Kind::kMarqueeBar) marqueeVisible_ = control.visible;
  }
  EnterRawMode();
  g_window_open.store(true);
}

void TerminalFrontEnd::EnterRawMode() {
  if (raw_ || !interactive_ || tcgetattr(tty_, &savedTermios_) != 0) return;
  termios raw = savedTermios_;
  raw.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
  raw.c_cc[VMIN] = 0;
  raw.c_cc[VTIME] = 0;
  raw_ = tcsetattr(tty_, TCSANOW, &raw) == 0;
}

void TerminalFrontEnd::LeaveRawMode() {
  if (raw_) tcsetattr(tty_, TCSANOW, &savedTermios_);
  raw_ = false;
}

void TerminalFrontEnd::DestroyWindow(WindowId window) {
  if (window != window_) return;
  g_window_open.store(false);
  Render(true);
  if (lineDrawn_ && interactive_) Write(out_, "\n");
  lineDrawn_ = false;
  LeaveRawMode();
  window_ = 0;
}

void TerminalFrontEnd::SetTitle(WindowId window, const std::string& text) {
  if (window != window_) return;
  title_ = text;
  ClearLine();
  Write(out_, title_ + "\n");
  printedText_.clear();
  Render(true);
}

void TerminalFrontEnd::SetItemText(WindowId window, int item, const std::string& text) {
  if (window != window_ || item != kProgressTextId) return;
  text_ = text;
  Render(false);
}

void TerminalFrontEnd::SetProgress(WindowId window, int item, int position) {
  if (window != window_ || item != kProgressBarId) return;
  position_ = position < 0 ? 0 : position > 100 ? 100 : position;
  Render(false);
}

void TerminalFrontEnd::SetMarquee(WindowId window, int item, bool on) {
  if (window != window_ || item != kMarqueeBarId) return;
  marqueeOn_ = on;
  Render(false);
}

void TerminalFrontEnd::ShowItem(WindowId window, int item, bool visible) {
  if (window != window_) return;
  if (item == kProgressBarId) barVisible_ = visible;
  if (item == kMarqueeBarId) marqueeVisible_ = visible;
  Render(false);
}

Rect TerminalFrontEnd::GetWindowRect(WindowId) { return Rect{0, 0, 80, 2}; }

Rect TerminalFrontEnd::GetDesktopRect() { return Rect{0, 0, 80, 24}; }

void TerminalFrontEnd::ClearLine() {
  if (interactive_ && lineDrawn_) Write(out_, "\r\033[K");
  lineDrawn_ = false;
}

void TerminalFrontEnd::Render(bool force) {
  if (window_ == 0) return;
  const bool marquee = marqueeVisible_ && !barVisible_;
  std::string bar;
  if (marquee) {
    bar.assign(kBarWidth, ' ');
    const int block = 4, span = kBarWidth - block;
    const int step = marqueeOn_ ? marqueeStep_ % (2 * span) : 0;
    const int at = step < span ? step : 2 * span - step;
    bar.replace(static_cast<std::size_t>(at), block, std::string(block, '#'));
    bar = "[" + bar + "]      ";
  } else if (barVisible_) {
    const int filled = position_ * kBarWidth / 100;
    bar = "[" + std::string(filled, '#') + std::string(kBarWidth - filled, ' ') + "] ";
    std::string percent = std::to_string(position_) + "%";
    bar += std::string(4 - percent.size(), ' ') + percent + "  ";
  }
  const std::string line = bar + text_;
  if (interactive_) {
    Write(out_, (lineDrawn_ ? "\r\033[K" : "") + line);
    lineDrawn_ = true;
    return;
  }
  // A log, not a screen: a line when the text changes, the bar at most once a second.
  const auto now = std::chrono::steady_clock::now();
  const bool text_changed = text_ != printedText_;
  if (!text_changed && position_ == printedPosition_) return;
  if (!text_changed && !force && position_ != 100 && now - printedAt_ < std::chrono::seconds(1)) {
    return;
  }
  Write(out_, line + "\n");
  printedText_ = text_;
  printedPosition_ = position_;
  printedAt_ = now;
}

void TerminalFrontEnd::ShowMessageBox(WindowId, const std::string& text,
                                      const std::string& caption) {
  ClearLine();
  Write(err_, caption + ": " + text + "\n");
  if (!interactive_) {
    Render(true);
    return;
  }
  Write(err_, "Press Enter to continue.\n");
  const bool was_raw = raw_;
  EnterRawMode();
  DrainFd(tty_);
  const bool window_was_open = g_window_open.exchange(true);
  for (;;) {
    pollfd fds[2] = {{tty_, POLLIN, 0}, {g_signal_fds[0], POLLIN, 0}};
    if (poll(fds, 2, -1) < 0 && errno != EINTR) break;
    if (fds[1].revents & POLLIN) {
      DrainFd(g_signal_fds[0]);
      break;
    }
    if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) {
      char c = 0;
      ssize_t n = read(tty_, &c, 1);
      if (n <= 0 || c == '\n' || c == '\r' || c == 27 || c == 'q') break;
    }
  }
  g_window_open.store(window_was_open);
  if (!was_raw) LeaveRawMode();
  Render(true);
}

bool TerminalFrontEnd::Drain() {
  bool close_asked = false;
  if (g_signal_fds[0] >= 0) {
    char buffer[16];
    while (read(g_signal_fds[0], buffer, sizeof buffer) > 0) close_asked = true;
  }
  if (tty_ >= 0 && raw_) {
    char buffer[16];
    ssize_t n;
    while ((n = read(tty_, buffer, sizeof buffer)) > 0) {
      for (ssize_t i = 0; i < n; ++i) {
        if (buffer[i] == 'q' || buffer[i] == 'Q' || buffer[i] == 27) close_asked = true;
      }
    }
  }
  return close_asked;
}

void TerminalFrontEnd::Wait(std::chrono::milliseconds timeout) {
  pollfd fds[3] = {
      {wake_[0], POLLIN, 0}, {g_signal_fds[0], POLLIN, 0}, {raw_ ? tty_ : -1, POLLIN, 0}};
  int ms = static_cast<int>(timeout.count());
  if (poll(fds, 3, ms) > 0 && (fds[0].revents & POLLIN)) DrainFd(wake_[0]);
  if (marqueeOn_ && marqueeVisible_ && interactive_) {
    ++marqueeStep_;
    Render(false);
  }
  if (Drain() && window_ != 0 && sink_) sink_(window_, kCancelCommand);
}

void TerminalFrontEnd::Wake() {
  if (wake_[1] < 0) return;
  char c = 1;
  ssize_t ignored = write(wake_[1], &c, 1);
  (void)ignored;
}

}  // namespace ui
}  // namespace zarn
