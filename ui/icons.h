// The program's own images, drawn as SVG files and compiled in.
#pragma once

#include <QIcon>

namespace ui {

QIcon AppIcon();
// 0 root, 1 category, 2 leaf, 3 refreshing.
QIcon TreeIcon(int index);
// The lists' row images 0..4: an entry (or a stopped task), a failed
// download, a download running, the torrent file fetched, a task waiting for
// a download slot.
QIcon RowIcon(int index);
// The picture of the about box.
QPixmap AppPicture(int size);

}  // namespace ui
