#pragma once

#include <windows.h>

namespace qv::winui {

// Starts the program's success sound (its wave resource) and returns at once.
void PlaySuccessSound(HINSTANCE instance);

}  // namespace qv::winui
