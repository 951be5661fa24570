// CStaticLink: a label that opens its address outside the program when
// clicked; blue until it was followed once, purple afterwards.
#pragma once

#include <QLabel>
#include <QUrl>

class CStaticLink : public QLabel {
    Q_OBJECT

  public:
    CStaticLink(const QString& text, const QUrl& target, QWidget* parent = nullptr);

    bool IsVisited() const { return m_bVisited; }

  signals:
    void Followed(const QUrl& target);

  protected:
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    void Paint();

    QUrl m_target;
    bool m_bVisited = false;
};
