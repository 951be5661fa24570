#include "static_link.h"

#include <QDesktopServices>
#include <QMouseEvent>

CStaticLink::CStaticLink(const QString& text, const QUrl& target, QWidget* parent)
    : QLabel(text, parent), m_target(target) {
    setCursor(Qt::PointingHandCursor);
    setToolTip(target.toString());
    Paint();
}

void CStaticLink::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !rect().contains(event->position().toPoint())) {
        QLabel::mouseReleaseEvent(event);
        return;
    }
    QDesktopServices::openUrl(m_target);
    m_bVisited = true;
    Paint();
    emit Followed(m_target);
}

void CStaticLink::Paint() {
    QFont underlined = font();
    underlined.setUnderline(true);
    setFont(underlined);
    setStyleSheet(m_bVisited ? QStringLiteral("color: #800080") : QStringLiteral("color: #0000ff"));
}
