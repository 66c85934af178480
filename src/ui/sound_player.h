#pragma once

#include <QObject>
#include <memory>

class QSoundEffect;

namespace qv {

// Plays the success sound without waiting for it. May be called from any thread.
class SoundPlayer {
 public:
  virtual ~SoundPlayer() = default;
  virtual void PlaySuccess() = 0;
};

// The wave resource of the program, played through Qt Multimedia on the thread that created
// the player (the user-interface thread).
class QtSoundPlayer final : public QObject, public SoundPlayer {
  Q_OBJECT
 public:
  QtSoundPlayer();
  ~QtSoundPlayer() override;
  void PlaySuccess() override;

 private:
  void PlayHere();
  std::unique_ptr<QSoundEffect> effect_;
};

}  // namespace qv
