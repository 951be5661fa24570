#include "icons.h"

#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>
#include <array>

// The images live in this static library; its resource initialiser would
// be dropped by the linker unless it is called.
static void InitIconResources() {
    Q_INIT_RESOURCE(icons);
}

namespace ui {
namespace {

// Rendered here rather than through an image plug-in, so that a missing
// plug-in cannot leave the program without images.
QPixmap Render(const QString& file, int size) {
    static const bool bInitialised = (InitIconResources(), true);
    Q_UNUSED(bInitialised);
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QSvgRenderer renderer(QStringLiteral(":/tessaro/icons/") + file);
    QPainter painter(&pixmap);
    renderer.render(&painter);
    return pixmap;
}

QIcon Icon(const QString& file, std::initializer_list<int> sizes) {
    QIcon icon;
    for (int size : sizes) {
        icon.addPixmap(Render(file, size));
    }
    return icon;
}

template <size_t N>
QIcon FromList(const std::array<const char*, N>& files, int index, int size) {
    if (index < 0 || static_cast<size_t>(index) >= N) {
        return {};
    }
    return Icon(QString::fromLatin1(files[static_cast<size_t>(index)]), {size, size * 2});
}

}  // namespace

QIcon AppIcon() {
    return Icon(QStringLiteral("tessaro.svg"), {16, 24, 32, 48, 64, 128, 256});
}

QIcon TreeIcon(int index) {
    static constexpr std::array<const char*, 4> kFiles = {"tree_root.svg", "tree_category.svg",
                                                          "tree_leaf.svg", "tree_refreshing.svg"};
    return FromList(kFiles, index, 16);
}

QIcon RowIcon(int index) {
    static constexpr std::array<const char*, 5> kFiles = {"row_entry.svg", "row_failed.svg",
                                                          "row_downloading.svg", "row_fetched.svg",
                                                          "row_waiting.svg"};
    return FromList(kFiles, index, 20);
}

QPixmap AppPicture(int size) {
    return Render(QStringLiteral("tessaro.svg"), size);
}

}  // namespace ui
