// SPDX-License-Identifier: GPL-3.0-or-later
// The signal list as a screen reader and the keyboard reach it.

#include "app/signal_list.h"

#include <gtest/gtest.h>
#include <QAccessible>
#include <QTableView>
#include <QTest>
#include <optional>

using namespace qv7m;

namespace {

QString cell(QAccessibleTableInterface* table, int row, int column) {
    QAccessibleInterface* c = table->cellAt(row, column);
    return c ? c->text(QAccessible::Name) : QStringLiteral("(no cell)");
}

}  // namespace

// Two signals either side of 10 MHz, so that the text of their frequencies and
// strengths sorts the other way round from their values.
TEST(SignalList, RowsSortAndTuneThroughAccessibility) {
    QAccessible::setActive(true);
    SignalListWindow window;
    std::optional<qint64> tuned;
    QObject::connect(&window, &SignalListWindow::tuneRequested, [&](qint64 hz) { tuned = hz; });
    std::vector<qint64> hz;
    std::vector<double> readings(41, 30);
    for (int i = 0; i < 41; ++i) hz.push_back(9990000 + 500 * i);
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
    EXPECT_EQ(table->rowCount(), 2);
    EXPECT_EQ(table->columnCount(), 6);
    EXPECT_EQ(table->columnDescription(5), "Heard (of 10)");
    EXPECT_EQ(cell(table, 0, 0), "9995.00");
    EXPECT_EQ(cell(table, 0, 1), "S9+20");
    EXPECT_EQ(cell(table, 0, 3), "12:00:00");
    EXPECT_EQ(cell(table, 0, 5), "2");
    EXPECT_EQ(cell(table, 1, 0), "10005.00");
    EXPECT_EQ(cell(table, 1, 1), "not heard");
    EXPECT_EQ(cell(table, 1, 2), "S9+5");
    EXPECT_EQ(cell(table, 1, 4), "12:00:00");

    window.table()->sortByColumn(2, Qt::AscendingOrder);
    EXPECT_EQ(cell(table, 0, 2), "S9+5");
    window.table()->setCurrentIndex(window.table()->model()->index(1, 0));
    QTest::keyClick(window.table(), Qt::Key_Return);
    EXPECT_EQ(tuned, 9995000);
}
