#pragma once
// The band scope's one window: its controls by name, the form's state and its
// handlers. Every handler runs behind one error boundary.

#include "app/messages.h"
#include "app/picturebox.h"
#include "radio/mscomm.h"
#include "radio/radiolink.h"
#include "sweep/sweep.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>

namespace qv7m {

class Form1 : public QWidget {
    Q_OBJECT
public:
    // The form drives the given serial control and shows its messages through
    // the presenter; both outlive the form.
    Form1(MSComm& comm, MessagePresenter& messages, QWidget* parent = nullptr);
    ~Form1() override;

    // Runs Form_Load behind the boundary: the program calls this once before
    // the window is first shown.
    void load();

    // --- handlers (public so that tests and the sweep can drive them) ---
    void Form_Load();
    void LoadSettings();
    void InitControls();
    static bool FileExists(const QString& filename);
    void setup_Click();
    void beenden_Click();
    void comport_Click();
    void dis_Click();
    void style_Click();
    void Picture1_Paint();
    void starten_Click();
    void stopscan_Click();
    void MSComm1_OnComm();

    // Runs f behind the error boundary (see handleRuntimeError).
    void guarded(const std::function<void()>& f);
    // True once "Quit" or the window system has ended the program: no
    // handler runs any more.
    bool ended() const { return ended_; }
    // Called instead of ending the process; by default QCoreApplication::exit(0).
    std::function<void()> endProgram;

    // --- controls, named as the form's ---
    QGroupBox* Frame1;
    QComboBox* style;
    QComboBox* comport;
    QComboBox* dis;
    QComboBox* step;
    QPushButton* setup;
    QLabel* Label9;
    QLabel* Label8;
    QLabel* Label7;
    QLabel* Label6;
    QLabel* Label2;
    QLabel* Label1;
    QCheckBox* stopscan;
    QLabel* Picture3;
    QFrame* smeter;
    PictureBox* Picture2;
    PictureBox* Picture1;
    QPushButton* starten;
    QPushButton* beenden;
    QLabel* Label5;
    QLabel* Label4;
    QLabel* Image1;
    QLabel* Label3;
    QLabel* info;
    QLabel* rechts;
    QLabel* links;
    QLabel* mitte;

    // --- state ---
    MSComm& MSComm1;
    RadioLink link;  // owns bcdBytes, rxBuffer, meterValue, centerFreq
    double spanUnits = 0;
    QString iniPort, iniWidth, iniStep, iniStyle;
    QString ownerCall;
    bool ownerCallLatin1 = false;

    static const char* const kSettingsFile;   // "qv-7m.ini"
    static const char* const kCaptionPrefix;  // "Yaesu FT-1000MP Bandscope QV-7M ("

    // smeter's width in twips (the bar is 10 twips a meter count).
    void setSmeterWidth(double twips);
    double smeterWidth() const { return smeterTwips_; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    class Host;
    std::unique_ptr<Host> host_;

public:
    Sweep sweep;  // owns stopRequested, startX, shade and the sweep window

private:
    void buildControls();
    void yieldToEvents();
    void setListIndex(QComboBox* list, int16_t index);
    void handleRuntimeError(const QString& message);
    void recoverAfterError();
    void enableSetupControls();
    void endNow();

    MessagePresenter& messages_;
    double smeterTwips_ = 15;
    bool ended_ = false;
    int depth_ = 0;                // nesting of guarded handlers
    bool pendingRecovery_ = false;  // put the window back once the outermost handler is done
};

// Twips to the widget's logical pixels (15 twips a pixel at 96 dpi).
int twipsToPixels(double twips);

}  // namespace qv7m
