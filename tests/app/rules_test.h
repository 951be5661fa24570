#pragma once

#include <QObject>

class RulesTest : public QObject {
    Q_OBJECT

  private slots:
    void commandLine_data();
    void commandLine();
    void instanceName();
    void treeMenu_data();
    void treeMenu();
    void deleteCommands_data();
    void deleteCommands();
    void smallRules();
};
