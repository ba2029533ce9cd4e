// Twinscope's capture command (key C).
#pragma once

#include "matchviewer/match_app.h"

// Shows every frame of the file in turn and writes what the view shows as a numbered 24-bit
// BMP file in the folder Twinshot_Capture beside the input; the folder is synced at the end.
// Problems are told in a box; the files written before one are kept.
void capture_frames(MatchApp* app);
