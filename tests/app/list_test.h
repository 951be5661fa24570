#pragma once

#include <QObject>

class ListTest : public QObject {
    Q_OBJECT

  private slots:
    void cellTexts();
    void dayColours();
    void headerSorting();
    void markFetched();
    void menuRules_data();
    void menuRules();
    void tipWatch_data();
    void tipWatch();
};
