// The pictures of the game's own look, drawn with QPainter.
#pragma once

#include <QImage>

// The main window's face, 442 x 373: a warm peach background, the title, a rounded
// frame, calm light panels where the controls sit, a finish flag and a race track.
QImage DrawSkin();
// The race-track window's banner, 688 x 74.
QImage DrawBanner();
