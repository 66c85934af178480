#include "winui/success_sound.h"

#include <mmsystem.h>

#include "winui/resource_ids.h"

namespace qv::winui {

void PlaySuccessSound(HINSTANCE instance) {
  // No system sound in its place when the resource cannot be played (no audio device).
  PlaySoundW(MAKEINTRESOURCEW(IDR_SUCCESS_SOUND), instance,
             SND_RESOURCE | SND_ASYNC | SND_NODEFAULT);
}

}  // namespace qv::winui
