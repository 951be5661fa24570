// The program's own images, drawn as SVG files and compiled in.
#pragma once

#include <QIcon>

namespace ui {

QIcon AppIcon();
// 0 root, 1 category, 2 leaf, 3 refreshing.
QIcon TreeIcon(int index);
// The torrent list's row images 0..4: an entry, downloading, stopped, its
// torrent file fetched, a site's search result.
QIcon RowIcon(int index);
// The picture of the about box.
QPixmap AppPicture(int size);

}  // namespace ui
