#include "installguide/click_sound.h"

#include <QFileInfo>
#include <QSoundEffect>
#include <QUrl>

namespace kelvan::installguide {

ClickSound::ClickSound(const QString& wav_path) {
  if (!QFileInfo(wav_path).isFile()) return;
  effect_ = std::make_unique<QSoundEffect>();
  effect_->setSource(QUrl::fromLocalFile(wav_path));
}

ClickSound::~ClickSound() = default;

void ClickSound::Play() {
  if (effect_ == nullptr || effect_->isPlaying()) return;
  effect_->play();
}

}  // namespace kelvan::installguide
