#pragma once

#include <QPixmap>

// The wait window's picture: a memory unit talking to the link box over a
// cable of bits, drawn at 200 x 175 (the ticker covers the bottom strip).
QPixmap DrawWaitPicture();
