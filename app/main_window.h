// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The band scope's one window: its controls, the settings they restore, and
// the handlers behind them. Every handler runs behind one error boundary.

#include "app/band_watch.h"
#include "app/messages.h"
#include "app/picturebox.h"
#include "app/plot_extras.h"
#include "files/sweep_files.h"
#include "sharing/radio_sharing.h"
#include "sweep/scan_worker.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace qv7m {

// The scan as the window has seen it, for its counts and its observers.
class ScanProgress {
public:
    // From "Start scan" until the scan's thread has ended it and closed the port.
    bool running() const { return running_; }
    long long stepsDrawn() const { return stepsDrawn_; }
    long long sweepsStarted() const { return sweepsStarted_; }
    int16_t shade() const { return shade_; }
    // The window of the sweep in progress (10 Hz units; step 0 before the first).
    const SweepWindow& window() const { return window_; }

    // Told of every point drawn: the frequency tuned (10 Hz units) and the reading drawn.
    std::function<void(int32_t units, int16_t reading)> onPoint;
    // Told as each sweep's window is shown.
    std::function<void()> onSweepStarted;

private:
    friend class MainWindow;
    bool running_ = false;
    long long stepsDrawn_ = 0;
    long long sweepsStarted_ = 0;
    int16_t shade_ = 220;
    SweepWindow window_;
};

class MainWindow : public QWidget {
    Q_OBJECT
public:
    // The window drives the radio through the link, on the scan's own thread,
    // and shows its messages through the presenter; both outlive the window.
    MainWindow(AlignedLink& link, MessagePresenter& messages, QWidget* parent = nullptr);
    ~MainWindow() override;

    // Loads the settings and restores the controls behind the boundary: the
    // program calls this once before the window is first shown.
    void load();

    // True once "Quit" or the window system has ended the program: no
    // handler runs any more.
    bool ended() const { return ended_; }
    // Called instead of ending the process; by default QCoreApplication::exit(0).
    std::function<void()> endProgram;
    // Told once a port's probe has been answered and shown (for tests).
    std::function<void()> onProbed;

    const ScanProgress& scan() const { return progress_; }
    PlotExtras& extras() { return *extras_; }
    BandWatch& bandWatch() { return *watch_; }
    // Logs in to the DX cluster at HOST:PORT with the settings file's callsign.
    void connectCluster(const QString& hostPort);
    ScanProgress& scan() { return progress_; }

    // Appends every completed sweep to the file; a file that cannot be
    // opened is reported, and the scope goes on without recording.
    void recordTo(const QString& path);
    // Serves the server's clients from the radio between two steps.
    void shareRadioWith(RigctlServer& server);
    // The fast sweep on or off from the next sweep on, for this run only
    // (the menu's item is remembered).
    void setFastSweep(bool on);
    bool fastSweep() const { return fastSweep_; }

    // The meter bar's width in twips (10 twips a meter count).
    void setSmeterWidth(double twips);
    double smeterWidth() const { return smeterTwips_; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildControls();
    void connectWorker();
    // Runs f behind the error boundary: a failure is shown, and the window
    // goes on.
    void guarded(const std::function<void()>& f);
    void endNow();
    // The controls as "Setup" leaves them, and as a running scan needs them.
    void enableSetupControls();
    void enableScanControls();
    // The window as "Setup" leaves it, without sending anything.
    void recoverFromScan();

    void resetForm();
    void loadSettings();
    void initControls();
    void onSetup();
    void onQuit();
    void onPortChosen();
    void probeAtStartUp();
    void showProbe(const ProbeOutcome& outcome);
    void onWidthChosen();
    void onStyleChosen();
    void paintPlot();
    void onStartScan();
    void onPlotClicked(double share);
    // Retunes VFO-A between two steps of the running scan.
    void tuneVfoA(int32_t units);
    void showPlotMenu(const QPoint& pos);
    // Asks for a file name without blocking, then writes the bytes there.
    void saveAs(const QString& title, const QString& suffix, const std::function<void(const QString&)>& save);
    void onSweepDone(const SweepResult& sweep);
    void finishQuit(const QString& error);
    void showPendingPasses();
    // The scan's signals count while it is the scan the window shows.
    bool shown(int scanId) const { return scanId == shownScan_; }

    // The settings bar.
    QGroupBox* settingsFrame_;
    QComboBox* styleList_;
    QComboBox* portList_;
    QComboBox* widthList_;
    QComboBox* stepList_;
    QPushButton* setupButton_;
    // The rest of the window.
    QCheckBox* holdBox_;
    QLabel* meterScale_;
    QFrame* meterBar_;
    PictureBox* scaleStrip_;
    PictureBox* plot_;
    PlotExtras* extras_;
    BandWatch* watch_;
    QPushButton* startButton_;
    QPushButton* quitButton_;
    QLabel* frontPanel_;
    QLabel* tuningLabel_;
    QLabel* highEdgeLabel_;
    QLabel* lowEdgeLabel_;
    QLabel* centreLabel_;

    MessagePresenter& messages_;
    std::unique_ptr<ScanWorker> worker_;
    ScanProgress progress_;
    int lastScan_ = 0;                      // the latest scan started
    int shownScan_ = -1;                    // the scan whose points are drawn; -1 once "Setup" or a failure ended it
    std::vector<PassShown> pendingPasses_;  // the scan's latest passes, not drawn yet
    QTimer passTimer_;                      // when they are drawn
    static constexpr int kPassBatchMs = 200;
    std::unique_ptr<RadioSharing> sharing_;
    SweepRecorder recorder_;
    SweepResult lastSweep_;

    double spanUnits_ = 0;
    QString savedPort_, savedWidth_, savedStep_, savedStyle_;
    QString ownerCall_;
    bool ownerCallLatin1_ = false;
    double smeterTwips_ = 15;
    bool clickToTune_ = false;  // an extra: off until the user turns it on
    bool fastSweep_ = false;    // likewise
    bool loading_ = false;      // the first load: the probe's message comes before the window is shown
    bool quitting_ = false;
    bool ended_ = false;
};

// Twips to the widget's logical pixels (15 twips a pixel at 96 dpi).
int twipsToPixels(double twips);

}  // namespace qv7m
