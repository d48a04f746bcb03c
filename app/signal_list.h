// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// "Signals…": a window of its own listing the signals the sweeps find, kept
// up to date sweep after sweep. A table view over a model, so that the
// keyboard and a screen reader reach every cell.

#include "display/signal_tracker.h"

#include <QDateTime>
#include <QWidget>
#include <functional>
#include <vector>

class QSortFilterProxyModel;
class QTableView;

namespace qv7m {

class SignalTableModel;

class SignalListWindow : public QWidget {
    Q_OBJECT
public:
    // A window of its own even with a parent (the parent only owns it).
    explicit SignalListWindow(QWidget* parent = nullptr);
    ~SignalListWindow() override;

    // Takes a completed sweep: hz[i] the frequency of readings[i], stepHz
    // apart. Finds its peaks and updates the rows in place, so the selection,
    // the current row and the sort order stay.
    void addSweep(const QDateTime& utc, qint64 stepHz, const std::vector<qint64>& hz,
                  const std::vector<double>& readings);
    // The call a DX cluster spotted at a signal's frequency, for the "Spot"
    // column; call spotsChanged() when the spots change.
    void setSpotLookup(std::function<QString(qint64 hz)> spotAt);
    void spotsChanged();
    // Empties the list (a new band or a new scan).
    void clear();

    QTableView* table() const { return table_; }

signals:
    // Enter or a double click on a row: tune VFO-A to its signal.
    void tuneRequested(qint64 hz);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void tuneTo(const QModelIndex& viewIndex);

    SignalTracker tracker_;
    SignalTableModel* model_ = nullptr;
    QSortFilterProxyModel* sorted_ = nullptr;
    QTableView* table_ = nullptr;
    bool columnsFitted_ = false;
};

}  // namespace qv7m
