// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/band_watch.h"

#include "app/plot_extras.h"
#include "files/preferences.h"
#include "history/history_window.h"
#include "history/replay_window.h"

#include <QActionGroup>
#include <QFileDialog>
#include <QMenu>
#include <QPainter>

namespace qv7m {

namespace {
constexpr int kExpiryCheckMs = 10'000;
// A spot this close to a signal's frequency names it in the signal list.
constexpr qint64 kSpotNearHz = 500;
const int kLifetimes[] = {5, 10, 15, 30, 60};
}  // namespace

BandWatch::BandWatch(PlotExtras& extras, MessagePresenter& messages, QWidget* window, QWidget* plot)
    : QObject(window), extras_(&extras), messages_(messages), window_(window), plot_(plot), status_(new QLabel(plot)) {
    status_->setObjectName(QStringLiteral("clusterStatus"));
    // The server's words are shown as they came, never as markup.
    status_->setTextFormat(Qt::PlainText);
    status_->setAttribute(Qt::WA_TransparentForMouseEvents);
    QFont small = plot->font();
    small.setPointSizeF(7.5);
    status_->setFont(small);
    status_->setStyleSheet(QStringLiteral("QLabel { background: rgba(0, 0, 0, 190); color: #e0e0e0; padding: 1px; }"));
    status_->hide();

    connect(&cluster_, &DxCluster::spotReceived, this, [this](const Spot& spot) {
        book_.add(spot);
        spotsChanged();
    });
    connect(&cluster_, &DxCluster::stateChanged, this,
            [this](DxCluster::State, const QString& message) { showStatus(message); });
    connect(&cluster_, &DxCluster::loginRefused, this, [this](const QString& reason) {
        // Asking again with the same callsign gets the same answer: it stops,
        // once out of the socket's handler, and says so once.
        const QString where = QStringLiteral("%1:%2").arg(cluster_.host()).arg(cluster_.port());
        QTimer::singleShot(0, this, [this, where, reason] {
            disconnectCluster();
            showStatus(QStringLiteral("DX cluster %1 refused %2: %3").arg(where, ownerCall_, reason));
            messages_.show(
                QStringLiteral("The DX cluster %1 refused the callsign %2:\n%3").arg(where, ownerCall_, reason));
        });
    });
    connect(&expiry_, &QTimer::timeout, this, [this] {
        const size_t before = book_.size();
        book_.expire(QDateTime::currentDateTimeUtc());
        if (book_.size() != before) spotsChanged();
    });
    expiry_.start(kExpiryCheckMs);

    extras_->spotAt = [this](qint64 hz) {
        const std::vector<Spot> near = book_.inRange(hz - kSpotNearHz, hz + kSpotNearHz, !hideSkimmers_);
        return near.empty() ? QString() : near.front().call;
    };
}

BandWatch::~BandWatch() {
    // Made after this among the window's children, it would outlive the
    // history it shows and the marks it asks this for.
    delete historyWindow_;
    if (extras_) extras_->spotAt = nullptr;
}

void BandWatch::restoreChoices() {
    lastCluster_ = preferences::readText(preferences::kLastCluster);
    hideSkimmers_ = preferences::readFlag(preferences::kHideSkimmers, false);
    book_.setLifetimeMinutes(preferences::readNumber(preferences::kSpotLifetime, 10, 1, 1440));
}

void BandWatch::addMenuItems(QMenu* menu) {
    menu->addSeparator();
    menu->addAction(QStringLiteral("Band history\u2026"), this, [this] { showHistory(); });
    menu->addAction(QStringLiteral("Open record\u2026"), this, [this] {
        auto* dialog = new QFileDialog(window_, QStringLiteral("Open record"), QString(),
                                       QStringLiteral("Records (*.csv);;All files (*)"));
        dialog->setFileMode(QFileDialog::ExistingFile);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        connect(dialog, &QFileDialog::fileSelected, this, [this](const QString& path) { openRecord(path); });
        dialog->open();
    });

    QMenu* dx = menu->addMenu(QStringLiteral("DX cluster"));
    QAction* reconnect = dx->addAction(
        lastCluster_.isEmpty() ? QStringLiteral("Connect") : QStringLiteral("Connect to %1").arg(lastCluster_), this,
        [this] { connectCluster(lastCluster_); });
    reconnect->setEnabled(!lastCluster_.isEmpty() && !clusterOn_);
    QAction* hangUp = dx->addAction(QStringLiteral("Disconnect"), this, [this] { disconnectCluster(); });
    hangUp->setEnabled(clusterOn_);
    QAction* skimmers = dx->addAction(QStringLiteral("Hide skimmer spots"), this, [this](bool on) {
        hideSkimmers_ = on;
        preferences::writeFlag(preferences::kHideSkimmers, on);
        spotsChanged();
    });
    skimmers->setCheckable(true);
    skimmers->setChecked(hideSkimmers_);
    QMenu* lifetime = dx->addMenu(QStringLiteral("Spots expire after"));
    auto* group = new QActionGroup(lifetime);
    for (int minutes : kLifetimes) {
        QAction* a = lifetime->addAction(QStringLiteral("%1 minutes").arg(minutes), this, [this, minutes] {
            book_.setLifetimeMinutes(minutes);
            preferences::writeNumber(preferences::kSpotLifetime, minutes);
            book_.expire(QDateTime::currentDateTimeUtc());
            spotsChanged();
        });
        a->setCheckable(true);
        a->setChecked(book_.lifetimeMinutes() == minutes);
        group->addAction(a);
    }
}

// ---------------------------------------------------------------- the sweeps

void BandWatch::windowChosen(const SweepWindow& window) {
    shown_ = window;
    showScopeWindow();
    spotsChanged();
}

void BandWatch::sweepCompleted(const SweepResult& sweep) {
    if (sweep.frequencies.empty()) return;
    const std::vector<float> values(sweep.readings.begin(), sweep.readings.end());
    history_.append(sweep.started.toUTC(), double(sweep.frequencies.front()) * 10, double(sweep.stepUnits) * 10,
                    values);
    if (historyWindow_) historyWindow_->historyChanged();
}

void BandWatch::windowCleared() {
    shown_.reset();
    extras_->setSpots({});
}

void BandWatch::showHistory() {
    if (!historyWindow_) {
        historyWindow_ = new HistoryWindow(history_, window_);
        showScopeWindow();
        historyWindow_->setMarkPainter([this](QPainter& p, const HistoryPlacement& placement) {
            // Each spot where and when it came, with its call.
            p.setPen(QColor(255, 170, 60));
            const std::vector<Spot> spots = book_.inRange(qint64(historyWindow_->viewLowHz()),
                                                          qint64(historyWindow_->viewHighHz()), !hideSkimmers_);
            for (const Spot& spot : spots) {
                const std::optional<QPointF> at = placement.place(spot.received, double(spot.hz));
                if (!at) continue;
                p.drawLine(*at + QPointF(-3, 0), *at + QPointF(3, 0));
                p.drawLine(*at + QPointF(0, -3), *at + QPointF(0, 3));
                p.drawText(*at + QPointF(5, 4), spot.call);
            }
        });
        historyWindow_->historyChanged();
    }
    historyWindow_->show();
    historyWindow_->raise();
    historyWindow_->activateWindow();
}

void BandWatch::showScopeWindow() {
    // Half a step beyond each edge, so that the first and last steps get
    // whole columns as the others do.
    if (!historyWindow_ || !shown_) return;
    const double half = shown_->step * 5.0;
    historyWindow_->setScopeWindow(shown_->low * 10 - half, (shown_->low + shown_->span) * 10 + half);
}

void BandWatch::openRecord(const QString& path) {
    // A window of its own, which goes when it is closed.
    auto* replay = new ReplayWindow(window_);
    replay->open(path);
    replay->show();
}

// ---------------------------------------------------------------- the cluster

void BandWatch::connectCluster(const QString& hostPort) {
    const auto target = parseHostPort(hostPort);
    if (!target) {
        messages_.show(QStringLiteral("\"%1\" is not a DX cluster's HOST:PORT").arg(hostPort));
        return;
    }
    lastCluster_ = hostPort;
    preferences::writeText(preferences::kLastCluster, hostPort);
    cluster_.connectTo(target->first, target->second, ownerCall_.trimmed());
    // A callsign that cannot be sent leaves it unconnected, and says why.
    clusterOn_ = cluster_.state() != DxCluster::State::Disconnected;
}

void BandWatch::disconnectCluster() {
    clusterOn_ = false;
    cluster_.disconnectFromCluster();
    book_.clear();
    spotsChanged();
    status_->hide();
}

std::vector<Spot> BandWatch::shownSpots() const {
    if (!shown_) return {};
    return book_.inRange(qint64(shown_->low * 10), qint64((shown_->low + shown_->span) * 10), !hideSkimmers_);
}

void BandWatch::spotsChanged() {
    std::vector<SpotToPlace> spots;
    for (const Spot& spot : shownSpots()) spots.push_back({spot.hz, spot.call});
    extras_->setSpots(std::move(spots));
    extras_->spotsChanged();
    if (historyWindow_) historyWindow_->update();
}

void BandWatch::showStatus(const QString& text) {
    status_->setText(text.left(200));
    status_->adjustSize();
    placeStatus();
    status_->show();
}

void BandWatch::placeStatus() { status_->move(3, plot_->height() - status_->height() - 3); }

}  // namespace qv7m
