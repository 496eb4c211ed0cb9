// What every window of the program shares: the font of the layout and the icon.
#pragma once

#include <QFont>
#include <QIcon>
#include <QPixmap>

namespace app {

// "MS Sans Serif" 8 point when that font can be had and drawn: registered with the
// system, or loaded from the copy that wine's fonts ship; else a sans serif face of
// about its width (Arial, Liberation Sans, Nimbus Sans); else the system font.
QFont programFont();

// The program's icon (a file cut into three stacked parts), drawn at `size` pixels.
QPixmap programPixmap(int size);
QIcon programIcon();

}  // namespace app
