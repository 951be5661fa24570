// The data view offscreen: the list base on its own, then the view in the
// program's frame on a test home.
#include <QApplication>
#include <QTest>

#include "list_test.h"

int main(int argc, char** argv) {
    QApplication qt(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    ListTest list;
    return QTest::qExec(&list, argc, argv);
}
