// CAutoUpdateDriver: the automatic update in the window. A timer ticks the
// core's scheduler (5 s, then 10 s once a connection test has passed); the
// scheduler walks the category nodes through the data view's refresh
// engine, and the driver selects each node in the tree as it starts, so the
// list on show follows the walk. The driver also keeps the caption that
// tells the scheduler's state.
//
// A window that only views the home (a background refresher holds it)
// leaves the automatic update to that refresher: its scheduler never ticks
// and the caption says who updates instead.
#pragma once

#include <QObject>
#include <QTimer>
#include <memory>

#include "app_context.h"
#include "auto_update.h"

class CWebDataView;
class CWebSitesView;

class CAutoUpdateDriver : public QObject {
    Q_OBJECT

  public:
    CAutoUpdateDriver(CAppContext& context, CWebSitesView& tree, CWebDataView& dataView,
                      QObject* parent = nullptr);
    ~CAutoUpdateDriver() override;

    // Tests drive the scheduler by hand under their own clock.
    void SetClock(CAutoUpdate::Clock clock) { m_clock = std::move(clock); }
    void Tick();
    // After the options changed.
    void UpdateCaption();

    QString Caption() const { return m_caption; }
    int TimerPeriodMs() const { return m_timer.interval(); }
    bool IsActive() const { return m_pUpdate != nullptr; }
    // Null in a viewer.
    const CAutoUpdate* Scheduler() const { return m_pUpdate.get(); }

  signals:
    void CaptionChanged(const QString& caption);

  private:
    void SetCaption(const QString& caption);
    QString ViewerCaption() const;

    CAppContext& m_context;
    CWebSitesView& m_tree;
    CAutoUpdate::Clock m_clock = CGlobalConfig::SystemClock;
    std::unique_ptr<CAutoUpdate> m_pUpdate;
    QTimer m_timer;
    QString m_caption;
};
