// ConsoleView: everything the console's core shows and asks through its window — message boxes,
// status label and bar, progress bar, log box, the countdown dialog and letting pending events
// run. The windowed program, kelvan-batch and the tests each implement it.
// Threading: called only from the console's one thread.
#pragma once

#include <chrono>
#include <string>

namespace kelvan::console {

enum class MessageIcon { kCritical, kQuestion, kExclamation, kInformation };
enum class MessageButtons { kOk, kYesNo };
enum class MessageAnswer { kOk, kYes, kNo };

// Status bar panels the run fills.
enum class StatusPanel { kPosition = 0, kElapsed = 1 };

class ConsoleView {
 public:
  virtual ~ConsoleView() = default;

  // A message box captioned with the program's title; returns the user's answer.
  virtual MessageAnswer ShowMessage(const std::string& text, MessageIcon icon,
                                    MessageButtons buttons = MessageButtons::kOk) = 0;

  virtual void SetStatusLabel(const std::string& text) = 0;
  virtual void SetStatusPanel(StatusPanel panel, const std::string& text) = 0;
  virtual void ShowProgress(bool visible) = 0;
  virtual void SetProgressRange(int minimum, int maximum) = 0;
  virtual void SetProgressValue(int value) = 0;
  // The whole log text after every change; ScrollLogToEnd follows each server's account.
  virtual void ShowLogText(const std::string& text) = 0;
  virtual void ScrollLogToEnd() = 0;
  // Busy: busy pointer, "Working...", the Exit command captioned "Cancel", the other commands
  // disabled; not busy restores them.
  virtual void ShowRunning(bool running) = 0;

  // Runs the events that are waiting (a click on Cancel among them) and returns.
  virtual void ProcessPendingEvents() = 0;
  // Keeps processing events for `duration` (the pause between servers, a countdown tick).
  virtual void WaitProcessingEvents(std::chrono::milliseconds duration) = 0;

  // The auto-start dialog: shown with its caption and text, its countdown label updated, and
  // whether CANCEL has been pressed since it was shown.
  virtual void ShowCountdown(const std::string& caption, const std::string& text) = 0;
  virtual void SetCountdownText(const std::string& text) = 0;
  virtual bool CountdownCancelled() = 0;
  virtual void CloseCountdown() = 0;
};

}  // namespace kelvan::console
