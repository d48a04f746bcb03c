// SPDX-License-Identifier: GPL-3.0-or-later
#include "history/replay_window.h"

#include "files/preferences.h"
#include "history/history_window.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace qv7m {

namespace {
const QString kGeometryKey = QStringLiteral("replay/geometry");
// A record keeps every row whatever its age; a millennium stays clear of overflow.
constexpr qint64 kKeepAllMs = 1000LL * 366 * BandHistory::kDayMs;
}  // namespace

ReplayWindow::ReplayWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Band history"));
    placeholder_ = new QLabel(this);
    placeholder_->setAlignment(Qt::AlignCenter);
    status_ = new QLabel(this);
    status_->setObjectName(QStringLiteral("replayStatus"));
    status_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    status_->setWordWrap(true);
    progress_ = new QProgressBar(this);
    progress_->setObjectName(QStringLiteral("replayProgress"));
    progress_->setRange(0, 100);
    progress_->hide();
    cancel_ = new QPushButton(QStringLiteral("Cancel"), this);
    cancel_->setObjectName(QStringLiteral("replayCancel"));
    cancel_->hide();

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(status_, 1);
    bottom->addWidget(progress_);
    bottom->addWidget(cancel_);
    layout_ = new QVBoxLayout(this);
    layout_->addWidget(placeholder_, 1);
    layout_->addLayout(bottom);
    resize(900, 560);

    connect(cancel_, &QPushButton::clicked, this, &ReplayWindow::cancel);
    connect(&loader_, &RecordLoader::unitKnown, this, &ReplayWindow::unitKnown);
    connect(&loader_, &RecordLoader::rows, this, &ReplayWindow::rowsCame);
    connect(&loader_, &RecordLoader::progress, progress_, &QProgressBar::setValue);
    connect(&loader_, &RecordLoader::finished, this,
            [this](int skipped, int first, bool, bool cancelled) { ended(skipped, first, cancelled); });
    connect(&loader_, &RecordLoader::failed, this, &ReplayWindow::failed);
}

ReplayWindow::~ReplayWindow() {
    loader_.cancel();
    delete view_;  // before the rows it shows
}

void ReplayWindow::open(const QString& path) {
    loader_.cancel();
    delete view_;
    view_ = nullptr;
    history_.reset();
    fileName_ = QFileInfo(path).fileName();
    setWindowTitle(QStringLiteral("Band history \u2013 ") + fileName_);
    placeholder_->setText(QStringLiteral("Reading %1\u2026").arg(fileName_));
    placeholder_->show();
    loading_ = true;
    cancelled_ = false;
    failure_.clear();
    skipped_ = firstSkipped_ = 0;
    refused_ = 0;
    progress_->setValue(0);
    progress_->show();
    cancel_->show();
    showStatus();
    loader_.start(path);
}

void ReplayWindow::cancel() {
    if (loading_) loader_.cancel();
}

void ReplayWindow::unitKnown(bool decibels) {
    history_ = std::make_unique<BandHistory>(decibels ? HistoryUnit::Decibel : HistoryUnit::Meter, kKeepAllMs);
    history_->setMemoryLimit(memoryLimit_);
    view_ = new HistoryWindow(*history_, this);
    view_->setWindowFlags(Qt::Widget);
    view_->setGeometryKey(QString());  // this window keeps its own
    view_->setFollowText(QStringLiteral("Follow the newest sweep"));
    placeholder_->hide();
    layout_->insertWidget(0, view_, 1);
    view_->show();
}

void ReplayWindow::rowsCame(const std::vector<RecordRow>& batch) {
    if (!history_) return;
    const qint64 dropped = history_->appendedCount() - history_->rowCount();
    const int refusedBefore = refused_;
    // A row the store turns down (a time that does not exist, say) is told, not lost unseen.
    for (const RecordRow& row : batch) refused_ += history_->append(row.utc, row.lowHz, row.stepHz, row.values) ? 0 : 1;
    view_->historyChanged();
    if (history_->appendedCount() - history_->rowCount() != dropped || refused_ != refusedBefore) showStatus();
    emit rowsAdded(history_->rowCount());
}

void ReplayWindow::ended(int skipped, int firstSkippedLine, bool cancelled) {
    loading_ = false;
    cancelled_ = cancelled;
    skipped_ = skipped;
    firstSkipped_ = firstSkippedLine;
    progress_->hide();
    cancel_->hide();
    if (!history_) placeholder_->setText(QStringLiteral("No sweeps in %1").arg(fileName_));
    showStatus();
    emit loaded();
}

void ReplayWindow::failed(const QString& message) {
    loading_ = false;
    failure_ = message;
    progress_->hide();
    cancel_->hide();
    placeholder_->setText(QString());
    showStatus();
    emit loaded();
}

QString ReplayWindow::status() const { return status_->text(); }

void ReplayWindow::showStatus() {
    if (!failure_.isEmpty()) {
        status_->setText(failure_);
        return;
    }
    const int rows = history_ ? history_->rowCount() : 0;
    QStringList parts;
    if (loading_) {
        parts << QStringLiteral("Loading %1\u2026").arg(fileName_);
    } else if (cancelled_) {
        parts << QStringLiteral("Loading cancelled: %1 rows").arg(rows);
    } else {
        parts << QStringLiteral("%1 rows").arg(rows);
    }
    const qint64 dropped = history_ ? history_->appendedCount() - rows : 0;
    if (dropped > 0) {
        const QString limit = QLocale::c().formattedDataSize(memoryLimit_, 0, QLocale::DataSizeIecFormat);
        parts << QStringLiteral("the oldest %1 rows were let go to stay within %2").arg(dropped).arg(limit);
    }
    if (refused_ > 0)
        parts << QStringLiteral("%1 sweeps could not be shown (no valid time or frequency)").arg(refused_);
    if (skipped_ > 0) {
        parts << QStringLiteral("%1 %2 skipped (first at line %3)")
                     .arg(skipped_)
                     .arg(skipped_ == 1 ? QStringLiteral("line") : QStringLiteral("lines"))
                     .arg(firstSkipped_);
    }
    status_->setText(parts.join(QStringLiteral("; ")));
}

void ReplayWindow::saveGeometryNow() { preferences::writeGeometry(kGeometryKey, saveGeometry()); }

void ReplayWindow::showEvent(QShowEvent* event) {
    if (!geometryRestored_) {
        geometryRestored_ = true;
        const QByteArray saved = preferences::readGeometry(kGeometryKey);
        if (!saved.isEmpty()) restoreGeometry(saved);
    }
    QWidget::showEvent(event);
}

void ReplayWindow::hideEvent(QHideEvent* event) {
    saveGeometryNow();
    QWidget::hideEvent(event);
}

}  // namespace qv7m
