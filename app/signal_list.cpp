// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/signal_list.h"

#include "display/levels.h"
#include "files/preferences.h"

#include <QAbstractTableModel>
#include <QHeaderView>
#include <QKeyEvent>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>
#include <functional>

namespace qv7m {

namespace {

enum Column { kFrequency, kNow, kStrongest, kFirstHeard, kLastHeard, kHeard, kSpot, kColumnCount };

// The value a column sorts by, behind the text it shows.
constexpr int kSortRole = Qt::UserRole;
constexpr int kHzRole = Qt::UserRole + 1;

QString khzText(qint64 hz) { return QString::number(double(hz) / 1000.0, 'f', 2); }

QString timeText(const QDateTime& t) { return t.toUTC().toString(QStringLiteral("HH:mm:ss")); }

}  // namespace

class SignalTableModel : public QAbstractTableModel {
public:
    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : int(rows_.size()); }
    int columnCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : kColumnCount; }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
        switch (section) {
        case kFrequency: return tr("Frequency (kHz)");
        case kNow: return tr("Now");
        case kStrongest: return tr("Strongest");
        case kFirstHeard: return tr("First heard (UTC)");
        case kLastHeard: return tr("Last heard (UTC)");
        case kHeard: return tr("Heard (of 10)");
        case kSpot: return tr("Spot");
        default: return {};
        }
    }

    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid() || index.row() >= int(rows_.size())) return {};
        const TrackedSignal& s = rows_[size_t(index.row())];
        if (role == kHzRole) return s.hz;
        if (role == Qt::TextAlignmentRole) {
            return index.column() == kFrequency || index.column() == kHeard
                       ? QVariant(Qt::AlignRight | Qt::AlignVCenter)
                       : QVariant(Qt::AlignLeft | Qt::AlignVCenter);
        }
        const bool text = role == Qt::DisplayRole;
        const bool sort = role == kSortRole;
        // A screen reader says "not heard" where the eye sees a dash.
        if (role == Qt::AccessibleTextRole && index.column() == kNow && !s.now) return tr("not heard");
        if (!text && !sort) return {};
        switch (index.column()) {
        case kFrequency: return text ? QVariant(khzText(s.hz)) : QVariant(s.hz);
        case kNow:
            if (sort) return s.now ? *s.now : -1.0;
            return s.now ? sUnits(*s.now) : QStringLiteral("–");
        case kStrongest: return text ? QVariant(sUnits(s.strongest)) : QVariant(s.strongest);
        case kFirstHeard: return text ? QVariant(timeText(s.firstHeard)) : QVariant(s.firstHeard);
        case kLastHeard: return text ? QVariant(timeText(s.lastHeard)) : QVariant(s.lastHeard);
        case kHeard: return text ? QVariant(QString::number(s.heardOfRecent())) : QVariant(s.heardOfRecent());
        case kSpot: return spotAt ? spotAt(s.hz) : QString();
        default: return {};
        }
    }

    // The call spotted at a signal's frequency, if any.
    std::function<QString(qint64 hz)> spotAt;

    // Brings the rows to the tracker's list: removes the signals gone, updates
    // the ones kept and appends the new, so views keep their selection.
    void update(const std::vector<TrackedSignal>& list) {
        for (int row = int(rows_.size()) - 1; row >= 0; --row) {
            const quint64 id = rows_[size_t(row)].id;
            const bool kept = std::any_of(list.begin(), list.end(), [&](const TrackedSignal& s) { return s.id == id; });
            if (kept) continue;
            beginRemoveRows({}, row, row);
            rows_.erase(rows_.begin() + row);
            endRemoveRows();
        }
        // The tracker keeps its signals in the order first heard, so the kept
        // ones lead its list in the same order and the rest are new.
        for (size_t i = 0; i < rows_.size(); ++i) {
            if (i >= list.size() || list[i].id != rows_[i].id) {
                beginResetModel();
                rows_ = list;
                endResetModel();
                return;
            }
            rows_[i] = list[i];
        }
        if (!rows_.empty()) emit dataChanged(index(0, 0), index(int(rows_.size()) - 1, kColumnCount - 1));
        if (list.size() > rows_.size()) {
            beginInsertRows({}, int(rows_.size()), int(list.size()) - 1);
            rows_.insert(rows_.end(), list.begin() + long(rows_.size()), list.end());
            endInsertRows();
        }
    }

    // The spots changed: only the spot column's texts.
    void spotsChanged() {
        if (!rows_.empty()) emit dataChanged(index(0, kSpot), index(int(rows_.size()) - 1, kSpot));
    }

private:
    std::vector<TrackedSignal> rows_;
};

SignalListWindow::SignalListWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setWindowTitle(tr("Signals"));
    model_ = new SignalTableModel(this);
    sorted_ = new QSortFilterProxyModel(this);
    sorted_->setSourceModel(model_);
    sorted_->setSortRole(kSortRole);
    sorted_->setDynamicSortFilter(true);

    table_ = new QTableView(this);
    table_->setModel(sorted_);
    table_->setAccessibleName(tr("Signals"));
    table_->setSortingEnabled(true);
    table_->sortByColumn(kFrequency, Qt::AscendingOrder);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setTabKeyNavigation(false);
    table_->verticalHeader()->hide();
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->installEventFilter(this);
    connect(table_, &QTableView::doubleClicked, this, &SignalListWindow::tuneTo);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(table_);
    setFocusProxy(table_);
    resize(760, 320);
    restoreGeometry(preferences::readGeometry(QStringLiteral("signals/geometry")));
}

SignalListWindow::~SignalListWindow() = default;

void SignalListWindow::addSweep(const QDateTime& utc, qint64 stepHz, const std::vector<qint64>& hz,
                                const std::vector<double>& readings) {
    tracker_.addSweep(utc, stepHz, findPeaks(hz, readings));
    model_->update(tracker_.signalList());
    // A view with no current row would have Enter do nothing.
    if (!table_->currentIndex().isValid() && sorted_->rowCount() > 0) table_->setCurrentIndex(sorted_->index(0, 0));
    // Once, when there is something to fit: later the user's widths stand.
    if (!columnsFitted_ && sorted_->rowCount() > 0) {
        table_->resizeColumnsToContents();
        columnsFitted_ = true;
    }
}

void SignalListWindow::clear() {
    tracker_.clear();
    model_->update(tracker_.signalList());
}

void SignalListWindow::tuneTo(const QModelIndex& viewIndex) {
    if (!viewIndex.isValid()) return;
    emit tuneRequested(viewIndex.data(kHzRole).toLongLong());
}

bool SignalListWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == table_ && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            tuneTo(table_->currentIndex());
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void SignalListWindow::hideEvent(QHideEvent* event) {
    preferences::writeGeometry(QStringLiteral("signals/geometry"), saveGeometry());
    QWidget::hideEvent(event);
}

void SignalListWindow::setSpotLookup(std::function<QString(qint64 hz)> spotAt) {
    model_->spotAt = std::move(spotAt);
    model_->spotsChanged();
}

void SignalListWindow::spotsChanged() { model_->spotsChanged(); }

}  // namespace qv7m
