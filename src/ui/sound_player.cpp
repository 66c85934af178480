#include "ui/sound_player.h"

#include <QMetaObject>
#include <QSoundEffect>
#include <QUrl>

#include "ui/page_appearance.h"

namespace qv {

QtSoundPlayer::QtSoundPlayer() = default;
QtSoundPlayer::~QtSoundPlayer() = default;

void QtSoundPlayer::PlaySuccess() {
  // Queued even on the own thread: the caller never waits for the sound.
  QMetaObject::invokeMethod(
      this, [this] { PlayHere(); }, Qt::QueuedConnection);
}

void QtSoundPlayer::PlayHere() {
  if (!effect_) {
    EnsureUiResources();
    effect_ = std::make_unique<QSoundEffect>();
    effect_->setSource(QUrl(QStringLiteral("qrc:/qvupdater/success.wav")));
  }
  effect_->play();
}

}  // namespace qv
