#pragma once
// The band scope's one window: its controls, the settings they restore, and
// the handlers behind them. Every handler runs behind one error boundary.

#include "app/messages.h"
#include "app/picturebox.h"
#include "files/sweep_files.h"
#include "radio/commcontrol.h"
#include "radio/radiolink.h"
#include "sharing/rigctl_server.h"
#include "sharing/shared_radio.h"
#include "sweep/sweep.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QWidget>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>

namespace qv7m {

class MainWindow : public QWidget {
    Q_OBJECT
public:
    // The window drives the given serial control and shows its messages
    // through the presenter; both outlive the window.
    MainWindow(CommControl& comm, MessagePresenter& messages, QWidget* parent = nullptr);
    ~MainWindow() override;

    // Loads the settings and restores the controls behind the boundary: the
    // program calls this once before the window is first shown.
    void load();

    // Runs f behind the error boundary (see handleRuntimeError).
    void guarded(const std::function<void()>& f);
    // True once "Quit" or the window system has ended the program: no
    // handler runs any more.
    bool ended() const { return ended_; }
    // Called instead of ending the process; by default QCoreApplication::exit(0).
    std::function<void()> endProgram;

    // The scan, for its counts and its observers.
    Sweep& sweep() { return sweep_; }
    RadioLink& link() { return link_; }

    // Appends every completed sweep to the file; a file that cannot be
    // opened is reported, and the scope goes on without recording.
    void recordTo(const QString& path);
    // Serves the server's clients from the radio between two steps.
    void shareRadioWith(RigctlServer& server);

    // The meter bar's width in twips (10 twips a meter count).
    void setSmeterWidth(double twips);
    double smeterWidth() const { return smeterTwips_; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    class Host;

    void buildControls();
    void yieldToEvents();
    void handleRuntimeError(const QString& message);
    void recoverAfterError();
    void endNow();
    // The controls as "Setup" leaves them, and as a running scan needs them.
    void enableSetupControls();
    void enableScanControls();

    void resetForm();
    void loadSettings();
    void initControls();
    void onSetup();
    void onQuit();
    void onPortChosen();
    void onWidthChosen();
    void onStyleChosen();
    void paintPlot();
    void onStartScan();
    void onPlotClicked(double share);
    void showPlotMenu(const QPoint& pos);
    // Asks for a file name without blocking, then saves there.
    void saveAs(const QString& title, const QString& suffix, const std::function<void(const QString&)>& save);
    void onSweepDone(const SweepResult& sweep);
    // What waits for the radio: a click's retune and the clients' commands.
    void serveBetweenSteps();
    void serveWhileIdle();
    // Runs the clients' commands that came in before this call.
    void serveClients();

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
    QPushButton* startButton_;
    QPushButton* quitButton_;
    QLabel* frontPanel_;
    QLabel* tuningLabel_;
    QLabel* highEdgeLabel_;
    QLabel* lowEdgeLabel_;
    QLabel* centreLabel_;

    CommControl& comm_;
    RadioLink link_;
    std::unique_ptr<Host> host_;
    Sweep sweep_;
    MessagePresenter& messages_;
    SharedRadio sharedRadio_;
    RigctlServer* server_ = nullptr;
    struct ClientCommand {
        quint64 client;  // 0: the client is gone
        QByteArray line;
    };
    std::deque<ClientCommand> clientCommands_;
    SweepRecorder recorder_;
    SweepResult lastSweep_;
    std::optional<int32_t> pendingRetune_;  // VFO-A, 10 Hz units
    bool servingClients_ = false;

    double spanUnits_ = 0;
    QString savedPort_, savedWidth_, savedStep_, savedStyle_;
    QString ownerCall_;
    bool ownerCallLatin1_ = false;
    double smeterTwips_ = 15;
    bool ended_ = false;
    int depth_ = 0;                 // nesting of guarded handlers
    bool pendingRecovery_ = false;  // put the window back once the outermost handler is done
};

// Twips to the widget's logical pixels (15 twips a pixel at 96 dpi).
int twipsToPixels(double twips);

}  // namespace qv7m
