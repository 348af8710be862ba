// The click played when the pointer moves onto a guide line. Plays asynchronously and never
// cuts short a click still sounding. A missing sound file or a missing audio device is
// silent. GUI thread only.
#pragma once

#include <QString>
#include <memory>

class QSoundEffect;

namespace kelvan::installguide {

class ClickSound {
 public:
  explicit ClickSound(const QString& wav_path);
  ~ClickSound();
  ClickSound(const ClickSound&) = delete;
  ClickSound& operator=(const ClickSound&) = delete;

  void Play();
  bool HasSound() const { return effect_ != nullptr; }

 private:
  std::unique_ptr<QSoundEffect> effect_;  // null when there is no sound file
};

}  // namespace kelvan::installguide
