// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// "Open record…": a record of sweeps (the file `--record` writes, or
// rtl_power's own CSV) shown as a band history in a window of its own. The
// file loads in the background, so that a night's record of several hundred
// MB leaves every window responsive; rows show as they arrive.
//
//   auto* replay = new ReplayWindow(parent);  // deletes itself when closed
//   replay->open(path);
//   replay->show();

#include "files/record_reader.h"
#include "history/band_history.h"

#include <QWidget>
#include <memory>

class QLabel;
class QProgressBar;
class QPushButton;
class QVBoxLayout;

namespace qv7m {

class HistoryWindow;

class ReplayWindow : public QWidget {
    Q_OBJECT
public:
    // The rows of a replay may cost this much before the oldest go: a file is
    // as large as the user chose, but the machine's memory is not.
    static constexpr qsizetype kMemoryLimit = qsizetype(1) << 30;

    explicit ReplayWindow(QWidget* parent = nullptr);
    ~ReplayWindow() override;

    // Starts loading path; whatever an earlier open() showed goes.
    void open(const QString& path);
    // Stops the load; the rows that came so far stay on show.
    void cancel();
    // Applies from the next open() on.
    void setMemoryLimit(qsizetype bytes) { memoryLimit_ = bytes; }

    // Null until the file's first good line has told the readings' unit.
    const BandHistory* history() const { return history_.get(); }
    HistoryWindow* view() const { return view_; }
    bool loading() const { return loading_; }
    // The status line: rows loaded, lines skipped, rows let go, or why the file failed.
    QString status() const;

signals:
    // A batch of rows is on show; rows is how many are held now.
    void rowsAdded(int rows);
    // The load has ended: read through, cancelled or failed.
    void loaded();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void unitKnown(bool decibels);
    void rowsCame(const std::vector<RecordRow>& batch);
    void ended(int skipped, int firstSkippedLine, bool cancelled);
    void failed(const QString& message);
    void showStatus();
    void saveGeometryNow();

    QString fileName_;
    qsizetype memoryLimit_ = kMemoryLimit;
    std::unique_ptr<BandHistory> history_;
    HistoryWindow* view_ = nullptr;  // shows *history_, so it goes first
    QVBoxLayout* layout_;
    QLabel* placeholder_;
    QLabel* status_;
    QProgressBar* progress_;
    QPushButton* cancel_;
    bool loading_ = false;
    bool cancelled_ = false;
    QString failure_;
    int skipped_ = 0;
    int refused_ = 0;  // rows the store turned down
    int firstSkipped_ = 0;
    bool geometryRestored_ = false;
    // Last: destroying it stops its thread before anything it feeds goes.
    RecordLoader loader_;
};

}  // namespace qv7m
