// The key commands of Twinscope's main window (the camera's R key is the view's, handled
// with the other cases both programs share).
#pragma once

#include "matchviewer/match_app.h"

// Left and Right step one frame, C captures every frame, F, L and W switch the match points,
// the links and the world points on and off.
void handle_key(MatchApp* app, int key);
