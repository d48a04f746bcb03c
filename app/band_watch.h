// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The band over time and who is on it: every completed sweep kept for the
// "Band history" window, records replayed in windows of their own, and the
// spots of a DX cluster on the plot, in the history and in the signal list.
// Nothing here touches the radio or the network until the user asks.

#include "app/messages.h"
#include "history/band_history.h"
#include "history/history_window.h"
#include "spots/dx_cluster.h"
#include "spots/spot_book.h"
#include "sweep/sweep.h"

#include <QLabel>
#include <QPointer>
#include <QTimer>

class QMenu;

namespace qv7m {

class PlotExtras;

class BandWatch : public QObject {
public:
    BandWatch(PlotExtras& extras, MessagePresenter& messages, QWidget* window, QWidget* plot);
    ~BandWatch() override;

    // Takes the choices remembered from the last run.
    void restoreChoices();
    void addMenuItems(QMenu* menu);

    void windowChosen(const SweepWindow& window);
    void sweepCompleted(const SweepResult& sweep);
    void windowCleared();

    // The callsign the cluster is logged in with (the settings file's).
    void setOwnerCall(const QString& call) { ownerCall_ = call; }
    // Connects to a cluster given as HOST:PORT and remembers it; a text that
    // is not one is reported and nothing connects.
    void connectCluster(const QString& hostPort);
    void disconnectCluster();
    // Opens "Band history"; a record in a window of its own.
    void showHistory();
    void openRecord(const QString& path);

    // For the tests.
    BandHistory& history() { return history_; }
    HistoryWindow* historyWindow() const { return historyWindow_; }
    DxCluster& cluster() { return cluster_; }
    const SpotBook& spotBook() const { return book_; }

private:
    void spotsChanged();
    void showScopeWindow();
    void showStatus(const QString& text);
    void placeStatus();
    std::vector<Spot> shownSpots() const;

    // The window's children go in the order they came: the extras first.
    QPointer<PlotExtras> extras_;
    MessagePresenter& messages_;
    QWidget* window_;
    QWidget* plot_;
    BandHistory history_;
    QPointer<HistoryWindow> historyWindow_;
    std::optional<SweepWindow> shown_;

    DxCluster cluster_;
    SpotBook book_;
    QTimer expiry_;
    QLabel* status_;
    QString ownerCall_;
    QString lastCluster_;
    bool hideSkimmers_ = false;
    bool clusterOn_ = false;  // from "Connect" to "Disconnect", through every retry
};

}  // namespace qv7m
