// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The "Band history" window: every row of a BandHistory, newest at the top,
// coloured by reading, frequency along the top in kHz and UTC time down the
// side. It either follows the scope's window or lets the user pan, zoom and
// scroll back. Any BandHistory can be shown, whatever its unit.

#include "history/band_history.h"

#include <QImage>
#include <QWidget>
#include <functional>
#include <optional>

class QCheckBox;
class QLabel;
class QPushButton;
class QScrollBar;

namespace qv7m {

class HistoryCanvas;

// Colour of a level from 0 (weakest) to 1 (strongest), on a map whose
// lightness rises all the way so that a grey print still reads.
QRgb historyColour(double level);
// The colour of blank parts (no reading there): a hatch of two greys, along
// pixel x of the row with the given serial number.
QRgb historyBlankColour(int x, qint64 serial);

// Where things are on the rows as drawn: for the marks drawn over them.
class HistoryPlacement {
public:
    virtual ~HistoryPlacement() = default;
    // The point in the canvas of a time and frequency, if it is on show.
    virtual std::optional<QPointF> place(const QDateTime& utc, double hz) const = 0;
};

class HistoryWindow : public QWidget {
    Q_OBJECT
public:
    // Draws over the rows (after them, before the axes' frame), e.g. spots.
    using MarkPainter = std::function<void(QPainter& painter, const HistoryPlacement& placement)>;

    explicit HistoryWindow(BandHistory& history, QWidget* parent = nullptr);
    ~HistoryWindow() override;

    // New rows came (or old ones went): draws only what changed.
    void historyChanged();
    // The scope's current window, shown while following.
    void setScopeWindow(double lowHz, double highHz);
    bool following() const { return following_; }
    void setFollowing(bool follow);
    void setMarkPainter(MarkPainter painter);
    // The colour scale of a Decibel history (a Meter history always runs 0-255).
    // Until it is set, it is the span of the readings, widened to whole 10 dB.
    void setDecibelRange(double lowDb, double highDb);
    // The settings key that keeps the window's place and size ("history/geometry"
    // unless set); empty when it sits inside another window and keeps none.
    void setGeometryKey(const QString& key) { geometryKey_ = key; }
    // What the follow box says: a replay has no scope to follow.
    void setFollowText(const QString& text);

    // What is on show: the frequencies across, and the row at the top.
    double viewLowHz() const { return viewLowHz_; }
    double viewHighHz() const { return viewHighHz_; }
    int topRow() const { return topRow_; }
    // Where a row's reading at hz is drawn, in this window's coordinates.
    std::optional<QPoint> pointOf(int row, double hz) const;
    QString readoutText() const;
    // What "Save picture…" writes: the rows with their axes and legend.
    QImage picture() const;
    // Writes picture() as PNG; throws RuntimeError(File) when it cannot.
    void savePictureTo(const QString& path) const;
    // The text a reading shows in the readout, in this history's unit.
    QString readingText(float value) const;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    friend class HistoryCanvas;

    void savePictureAsked();
    void saveGeometryNow();
    void followedView();
    void userMoved();
    void panBy(double fraction);
    void zoomBy(double factor, double aroundHz);
    void scrollTo(int topRow);
    void scrollBack(int rows);
    void viewChanged();
    void syncScrollBar();
    void pointerAt(const QPoint& canvasPoint);
    std::pair<double, double> levelRange() const;

    BandHistory& history_;
    HistoryCanvas* canvas_;
    QCheckBox* follow_;
    QPushButton* save_;
    QLabel* readout_;
    QScrollBar* scroll_;
    bool following_ = true;
    bool scopeSet_ = false;
    double scopeLowHz_ = 0;
    double scopeHighHz_ = 0;
    double viewLowHz_ = 0;
    double viewHighHz_ = 1;
    int topRow_ = 0;
    qint64 topSerial_ = -1;  // the row at the top while scrolled back stays there
    QString geometryKey_;
    bool geometryRestored_ = false;
    QPoint pointer_{-1, -1};  // in the canvas; off it when the pointer is away
    std::optional<std::pair<double, double>> decibelRange_;
    MarkPainter markPainter_;
};

}  // namespace qv7m
