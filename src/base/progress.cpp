// The progress display of long operations: events go to the host's handler; the default draws
// a bar on stderr when stderr is a terminal and stays silent otherwise.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "base/messages.h"
#include "base/progress.h"
#include "base/trace.h"

namespace {

TnProgressHandler g_handler = nullptr;
void* g_user = nullptr;

// State of the default display.
struct Bar {
  bool shown = false;
  std::string title;
  int high = 100;
  int step = 1;
  int position = 0;
  int drawnPercent = -1;
} g_bar;

bool StderrIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }

void Draw() {
  if (!g_bar.shown) return;
  const int high = std::max(1, g_bar.high);
  const int percent = std::clamp(g_bar.position * 100 / high, 0, 100);
  if (percent == g_bar.drawnPercent) return;
  g_bar.drawnPercent = percent;
  constexpr int kWidth = 30;
  const int filled = percent * kWidth / 100;
  std::fprintf(stderr, "\r%s [%.*s%*s] %3d%%", g_bar.title.c_str(), filled,
               "##############################", kWidth - filled, "", percent);
  std::fflush(stderr);
}

int Notify(int event, int value, const char* text = nullptr, const char* text2 = nullptr) {
  return g_handler != nullptr ? g_handler(g_user, event, value, text, text2) : 0;
}

}  // namespace

extern "C" {

int DemStoreProgressBegin(const char* title, const char* secondLine) {
  if (g_handler != nullptr) return Notify(TN_PROGRESS_BEGIN, 0, title, secondLine);
  g_bar = Bar{};
  g_bar.shown = StderrIsTerminal();
  g_bar.title = t3d::ProgressLine(title, secondLine);
  // The display counts as shown even when nothing is drawn: a silent default must not stop work.
  return 1;
}

void DemStoreProgressRange(int low, int high) {
  if (g_handler != nullptr) {
    Notify(TN_PROGRESS_RANGE, high);
    return;
  }
  (void)low;
  g_bar.high = high;
  Draw();
}

void DemStoreProgressStepSize(int step) {
  if (g_handler != nullptr) {
    Notify(TN_PROGRESS_STEP_SIZE, step);
    return;
  }
  g_bar.step = step;
}

void DemStoreProgressPos(int position) {
  if (g_handler != nullptr) {
    Notify(TN_PROGRESS_POS, position);
    return;
  }
  g_bar.position = position;
  Draw();
}

void DemStoreProgressStep(void) {
  if (g_handler != nullptr) {
    Notify(TN_PROGRESS_STEP, 0);
    return;
  }
  g_bar.position += g_bar.step;
  Draw();
}

int DemStoreProgressCancelled(void) {
  return g_handler != nullptr ? (Notify(TN_PROGRESS_CANCELLED, 0) != 0 ? 1 : 0) : 0;
}

void DemStoreProgressEnd(void) {
  if (g_handler != nullptr) {
    Notify(TN_PROGRESS_END, 0);
    return;
  }
  if (g_bar.shown) {
    std::fputc('\n', stderr);
    std::fflush(stderr);
  }
  g_bar = Bar{};
}

void DemStoreSetProgressHandler(TnProgressHandler handler, void* user) {
  g_handler = handler;
  g_user = handler != nullptr ? user : nullptr;
}

}  // extern "C"

namespace t3d {

std::string ProgressLine(const char* title, const char* secondLine) {
  const bool chinese = UserReadsChinese();
  const auto shown = [chinese](const char* text) -> std::string {
    const char* english = chinese ? nullptr : EnglishOfText(text);
    return english != nullptr ? english : text;
  };
  std::string line = title != nullptr ? shown(title) : std::string();
  if (secondLine != nullptr && secondLine[0] != '\0') line += " " + shown(secondLine);
  return line;
}

ProgressScope::ProgressScope(const char* title, const char* text, int steps,
                             TnProgressControl bar)
    : bar_(bar) {
#if defined(_WIN32)
  if (bar_ != nullptr) {  // the Windows build drives its progress bar control itself
    shown_ = true;
    return;
  }
#else
  if (bar_ != nullptr) {
    if (bar_->setRange) bar_->setRange(bar_->user, 0, steps);
    if (bar_->setPos) bar_->setPos(bar_->user, 0);
    if (bar_->setStep) bar_->setStep(bar_->user, 1);
    shown_ = true;
    return;
  }
#endif
  // A display the handler refuses is not shown: no further events reach it, and the operation
  // that asked for it does not run (every user of the scope checks shown()). The trace says why
  // the operation failed, as the host sees no message for it.
  if (DemStoreProgressBegin(title, text) == 0) {
    const std::string line = std::string("progress display refused by the host; not run: ") +
                             (title != nullptr ? title : "");
    Trace(line.c_str());
    return;
  }
  storeDisplay_ = shown_ = true;
  DemStoreProgressRange(0, steps);
  DemStoreProgressStepSize(1);
}

ProgressScope::~ProgressScope() {
  if (storeDisplay_) DemStoreProgressEnd();
}

bool ProgressScope::Step() {
#if !defined(_WIN32)
  if (bar_ != nullptr) {
    if (bar_->stepIt) bar_->stepIt(bar_->user);
    return false;
  }
#endif
  if (!storeDisplay_) return false;
  DemStoreProgressStep();
  return DemStoreProgressCancelled() != 0;
}

}  // namespace t3d
