// CWebDataView: the right-hand pane. It owns the refresh engine and its
// 500 ms poll, and shows the node chosen in the category tree: for now its
// name and row count, in the place the torrent list will take.
#pragma once

#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <optional>

#include "app_context.h"
#include "refresh_engine.h"

class QLabel;

// The lists' fonts: the face they were designed for, or a CJK-capable one.
inline constexpr int kSmallListFont = 12;
inline constexpr int kLargeListFont = 15;
QFont ListFont(int nPixelHeight);

class CWebDataView : public QWidget {
    Q_OBJECT

  public:
    static constexpr int kPollMs = 500;

    CWebDataView(CAppContext& context, QWidget* parent = nullptr);

    // Shows the node (a null node leaves the view as it is).
    void SelectNode(CCategoryNode* pNode);
    // Reads the node on show again.
    void ReloadNode();
    CCategoryNode* ShownNode() const { return m_engine.GetSelectedNode(); }

    // Starts refreshing a node; false when it cannot be refreshed.
    bool Refresh(CCategoryNode* pNode);
    bool IsRefreshing() const { return m_engine.HasActiveRefresh(); }
    CRefreshEngine& Engine() { return m_engine; }

    QString ShownText() const;

  signals:
    void NodeShown(CCategoryNode* pNode);
    void RecordCountChanged(const QString& text);
    void NodeIconChanged(CCategoryNode* pNode);

  private:
    void Poll();

    CAppContext& m_context;
    CRefreshEngine m_engine;
    QTimer m_pollTimer;
    QLabel* m_pName = nullptr;
    QLabel* m_pCount = nullptr;
    std::optional<int64_t> m_catalogueVersion;
};
