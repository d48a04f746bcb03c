// SPDX-License-Identifier: GPL-3.0-or-later
// The signal list as a screen reader and the keyboard reach it.

#include "app/signal_list.h"

#include <gtest/gtest.h>
#include <QAccessible>
#include <QTableView>
#include <QTest>

using namespace qv7m;

// Two signals either side of 10 MHz, whose frequencies sort the other way
// round as text; the second is not heard in the second sweep.
TEST(SignalList, RowsAndTuningThroughAccessibility) {
    QAccessible::setActive(true);
    SignalListWindow window;
    qint64 tuned = 0;
    QObject::connect(&window, &SignalListWindow::tuneRequested, [&](qint64 hz) { tuned = hz; });
    std::vector<qint64> hz;
    for (int i = 0; i < 41; ++i) hz.push_back(9990000 + 500 * i);
    std::vector<double> readings(41, 30);
    readings[10] = 187;
    readings[30] = 162;
    const QDateTime start(QDate(2024, 5, 1), QTime(12, 0), Qt::UTC);
    window.addSweep(start, 500, hz, readings);
    readings[30] = 30;
    window.addSweep(start.addSecs(5), 500, hz, readings);

    QAccessibleInterface* view = QAccessible::queryAccessibleInterface(window.table());
    ASSERT_NE(view, nullptr);
    QAccessibleTableInterface* table = view->tableInterface();
    ASSERT_NE(table, nullptr);
    ASSERT_EQ(table->rowCount(), 2);
    EXPECT_EQ(table->columnDescription(5), "Heard (of 10)");
    EXPECT_EQ(table->cellAt(0, 0)->text(QAccessible::Name), "9995.00");
    EXPECT_EQ(table->cellAt(0, 1)->text(QAccessible::Name), "S9+20");
    EXPECT_EQ(table->cellAt(0, 5)->text(QAccessible::Name), "2");
    EXPECT_EQ(table->cellAt(1, 1)->text(QAccessible::Name), "not heard");
    EXPECT_EQ(table->cellAt(1, 2)->text(QAccessible::Name), "S9+5");
    EXPECT_EQ(table->cellAt(1, 3)->text(QAccessible::Name), "12:00:00");

    window.table()->setCurrentIndex(window.table()->model()->index(1, 0));
    QTest::keyClick(window.table(), Qt::Key_Return);
    EXPECT_EQ(tuned, 10005000);
}
