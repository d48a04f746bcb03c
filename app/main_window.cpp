// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/main_window.h"

#include "app/pictures.h"
#include "core/numeric.h"
#include "core/runtime_error.h"
#include "display/graticule.h"
#include "display/trace.h"
#include "files/picture_file.h"
#include "files/preferences.h"
#include "files/settingsfile.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QIcon>
#include <QMenu>
#include <QMetaObject>
#include <QPixmap>
#include <algorithm>
#include <cmath>
#include <limits>

namespace qv7m {

int twipsToPixels(double twips) { return qRound(twips / 15.0); }

namespace {

const char* const kSettingsFile = "qv-7m.ini";
const char* const kCaptionPrefix = "Yaesu FT-1000MP Bandscope QV-7M (";

bool fileExists(const QString& filename) {
    const QFileInfo fi(filename);
    return fi.exists() && fi.isFile();
}

// The named fonts where the system has them, else their metric stand-ins.
QFont namedFont(const QString& family, const QString& standIn, double points, bool bold) {
    QFont f;
    f.setFamilies({family, standIn});
    f.setPointSizeF(points);
    f.setWeight(bold ? QFont::Bold : QFont::Normal);
    return f;
}
QFont sansSerif(double points, bool bold = false) {
    return namedFont(QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"), points, bold);
}

QColor oleToQColor(OleColor c) { return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF); }

void place(QWidget* w, int left, int top, int width, int height) {
    w->setGeometry(twipsToPixels(left), twipsToPixels(top), twipsToPixels(width), twipsToPixels(height));
    w->setFixedSize(twipsToPixels(width), twipsToPixels(height));
}

QLabel* label(QWidget* parent, const char* name, const QString& text, int l, int t, int w, int h,
              Qt::Alignment align = Qt::AlignLeft | Qt::AlignTop) {
    auto* lab = new QLabel(text, parent);
    lab->setObjectName(QString::fromLatin1(name));
    lab->setAlignment(align);
    lab->setTextFormat(Qt::PlainText);
    place(lab, l, t, w, h);
    return lab;
}

QComboBox* list(QWidget* parent, const char* name, int l, int t, int w, int h) {
    auto* c = new QComboBox(parent);
    c->setObjectName(QString::fromLatin1(name));
    c->setEditable(false);  // choose-only: no typed text reaches the number conversions
    place(c, l, t, w, h);
    return c;
}

const QStringList kPorts{QStringLiteral("COM1"), QStringLiteral("COM2"), QStringLiteral("COM3"),
                         QStringLiteral("COM4")};
const QStringList kSteps{QStringLiteral("100"), QStringLiteral("250"), QStringLiteral("500"), QStringLiteral("1000")};
const QStringList kWidths{QStringLiteral("10"), QStringLiteral("20"), QStringLiteral("40"), QStringLiteral("80")};
const QStringList kStyles{QStringLiteral("Area Graph"), QStringLiteral("Line Graph"), QStringLiteral("Waterfall")};

}  // namespace

MainWindow::MainWindow(AlignedLink& link, MessagePresenter& messages, QWidget* parent)
    : QWidget(parent), messages_(messages), worker_(std::make_unique<ScanWorker>(link)) {
    endProgram = [] { QCoreApplication::exit(0); };
    clickToTune_ = preferences::readFlag(preferences::kClickToTune, false);
    buildControls();
    connectWorker();
    worker_->start();
    extras_->restoreChoices();
    watch_->restoreChoices();
    setFastSweep(preferences::readFlag(preferences::kFastSweep, false));
}

MainWindow::~MainWindow() {
    // The scan's thread ends first: it closes the port, sending nothing.
    worker_->shutDown();
}

void MainWindow::buildControls() {
    setObjectName(QStringLiteral("MainWindow"));
    setWindowTitle(QStringLiteral("Yaesu FT-1000MP Bandscope"));
    setWindowIcon(QIcon(QPixmap::fromImage(iconImage())));
    setFont(sansSerif(8.25));
    QPalette pal = palette();
    pal.setColor(QPalette::Window, oleToQColor(0x00C0C0C0));
    setPalette(pal);
    setAutoFillBackground(true);
    setFixedSize(twipsToPixels(8205), twipsToPixels(5010));
    move(twipsToPixels(2310), twipsToPixels(2490));

    settingsFrame_ = new QGroupBox(this);
    settingsFrame_->setObjectName(QStringLiteral("settingsFrame"));
    settingsFrame_->setTitle(QString());
    place(settingsFrame_, 120, 0, 8000, 550);

    styleList_ = list(settingsFrame_, "styleList", 2040, 160, 1215, 315);
    portList_ = list(settingsFrame_, "portList", 3840, 160, 855, 315);
    widthList_ = list(settingsFrame_, "widthList", 5400, 165, 615, 315);
    stepList_ = list(settingsFrame_, "stepList", 6885, 160, 735, 315);
    setupButton_ = new QPushButton(QStringLiteral("Setup"), settingsFrame_);
    setupButton_->setObjectName(QStringLiteral("setupButton"));
    place(setupButton_, 120, 180, 1335, 300);
    QLabel* styleLabel = label(settingsFrame_, "styleLabel", QStringLiteral("Style:"), 1620, 240, 375, 255);
    QLabel* stepUnitLabel = label(settingsFrame_, "stepUnitLabel", QStringLiteral("Hz"), 7665, 240, 255, 255);
    QLabel* stepLabel = label(settingsFrame_, "stepLabel", QStringLiteral("Step:"), 6480, 240, 375, 255);
    QLabel* widthUnitLabel = label(settingsFrame_, "widthUnitLabel", QStringLiteral("kHz"), 6045, 240, 615, 255);
    QLabel* widthLabel = label(settingsFrame_, "widthLabel", QStringLiteral("Width:"), 4920, 240, 615, 255);
    QLabel* portLabel = label(settingsFrame_, "portLabel", QStringLiteral("Port:"), 3480, 240, 495, 255);

    holdBox_ = new QCheckBox(QStringLiteral("Hold scan"), this);
    holdBox_->setObjectName(QStringLiteral("holdBox"));
    place(holdBox_, 1800, 720, 1575, 540);

    meterScale_ = new QLabel(this);
    meterScale_->setObjectName(QStringLiteral("meterScale"));
    meterScale_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    meterScale_->setPixmap(QPixmap::fromImage(smeterScaleImage()));
    {
        QPalette p = meterScale_->palette();
        p.setColor(QPalette::Window, oleToQColor(0x00C0C0C0));
        p.setColor(QPalette::WindowText, palette().color(QPalette::WindowText));
        meterScale_->setPalette(p);
        meterScale_->setAutoFillBackground(true);
    }
    meterScale_->setFocusPolicy(Qt::TabFocus);
    place(meterScale_, 800, 1360, 2550, 375);

    meterBar_ = new QFrame(meterScale_);
    meterBar_->setObjectName(QStringLiteral("meterBar"));
    meterBar_->setFrameShape(QFrame::NoFrame);
    {
        QPalette p = meterBar_->palette();
        p.setColor(QPalette::Window, oleToQColor(0x000000FF));
        meterBar_->setPalette(p);
        meterBar_->setAutoFillBackground(true);
    }
    place(meterBar_, 0, 190, 15, 90);

    scaleStrip_ = new PictureBox(8000, 150, 0x00000000, 0x80000008, sansSerif(8.25), this);
    scaleStrip_->setObjectName(QStringLiteral("scaleStrip"));
    scaleStrip_->setFocusPolicy(Qt::TabFocus);
    place(scaleStrip_, 120, 4680, 8000, 150);
    plot_ = new PictureBox(8000, 2550, 0x00000000, 0x00E0E0E0, sansSerif(8.25), this);
    plot_->setObjectName(QStringLiteral("plot"));
    plot_->setFocusPolicy(Qt::TabFocus);
    place(plot_, 120, 2160, 8000, 2550);
    extras_ = new PlotExtras(plot_, this);
    extras_->tune = [this](int32_t units) { tuneVfoA(units); };
    extras_->report = [this](const QString& message) { messages_.show(message); };
    watch_ = new BandWatch(*extras_, messages_, this, plot_);

    startButton_ = new QPushButton(QStringLiteral("Start scan"), this);
    startButton_->setObjectName(QStringLiteral("startButton"));
    place(startButton_, 120, 720, 1575, 540);
    quitButton_ = new QPushButton(QStringLiteral("Quit"), this);
    quitButton_->setObjectName(QStringLiteral("quitButton"));
    place(quitButton_, 6720, 1390, 1395, 300);

    QLabel* modelLabel =
        label(this, "modelLabel", QStringLiteral("FT-1000MP"), 6720, 1080, 1395, 255, Qt::AlignHCenter | Qt::AlignTop);
    modelLabel->setFont(sansSerif(9.75));
    QLabel* makerLabel =
        label(this, "makerLabel", QStringLiteral("YAESU"), 6720, 795, 1395, 255, Qt::AlignHCenter | Qt::AlignTop);
    makerLabel->setFont(namedFont(QStringLiteral("Courier New"), QStringLiteral("Liberation Mono"), 15.75, true));

    frontPanel_ = new QLabel(this);
    frontPanel_->setObjectName(QStringLiteral("frontPanel"));
    frontPanel_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    frontPanel_->setPixmap(QPixmap::fromImage(frontPanelImage()));
    place(frontPanel_, 3480, 720, 3135, 975);

    QLabel* meterLabel = label(this, "meterLabel", QStringLiteral("S-Meter"), 120, 1455, 1455, 195);
    tuningLabel_ = label(this, "tuningLabel", QString(), 120, 1800, 7995, 375, Qt::AlignHCenter | Qt::AlignTop);
    tuningLabel_->setFont(namedFont(QStringLiteral("Arial"), QStringLiteral("Liberation Sans"), 15.75, true));
    {
        QPalette p = tuningLabel_->palette();
        p.setColor(QPalette::Window, oleToQColor(0x00000000));
        p.setColor(QPalette::WindowText, oleToQColor(0x0000FF00));
        tuningLabel_->setPalette(p);
        tuningLabel_->setAutoFillBackground(true);
    }
    highEdgeLabel_ =
        label(this, "highEdgeLabel", QStringLiteral("Hz"), 6600, 4810, 1485, 255, Qt::AlignRight | Qt::AlignTop);
    lowEdgeLabel_ = label(this, "lowEdgeLabel", QStringLiteral("Hz"), 120, 4810, 1575, 255);
    centreLabel_ =
        label(this, "centreLabel", QStringLiteral("Hz"), 3120, 4810, 1995, 255, Qt::AlignHCenter | Qt::AlignTop);
    centreLabel_->setFont(sansSerif(8.25, true));
    {
        QPalette p = centreLabel_->palette();
        p.setColor(QPalette::WindowText, oleToQColor(0x00000000));
        centreLabel_->setPalette(p);
    }

    // The scale strip lies over the plot's last 30 twips, as laid out.
    scaleStrip_->raise();
    for (QLabel* l : {highEdgeLabel_, lowEdgeLabel_, centreLabel_}) l->raise();

    // Labels and the frame never take the focus; the rest follow the tab order
    // of the array below.
    for (QWidget* w :
         std::initializer_list<QWidget*>{settingsFrame_, portLabel, widthLabel, meterLabel, makerLabel, modelLabel,
                                         widthUnitLabel, stepLabel, stepUnitLabel, styleLabel, tuningLabel_,
                                         lowEdgeLabel_, centreLabel_, highEdgeLabel_, frontPanel_, meterBar_})
        w->setFocusPolicy(Qt::NoFocus);
    const QWidget* order[] = {quitButton_,  startButton_, plot_,      scaleStrip_, meterScale_, holdBox_,
                              setupButton_, stepList_,    widthList_, portList_,   styleList_};
    for (size_t i = 0; i + 1 < std::size(order); ++i)
        QWidget::setTabOrder(const_cast<QWidget*>(order[i]), const_cast<QWidget*>(order[i + 1]));
    // The first control of the tab order has the focus when the window opens.
    quitButton_->setFocus();

    connect(portList_, &QComboBox::activated, this, [this] { guarded([this] { onPortChosen(); }); });
    connect(widthList_, &QComboBox::activated, this, [this] { guarded([this] { onWidthChosen(); }); });
    connect(styleList_, &QComboBox::activated, this, [this] { guarded([this] { onStyleChosen(); }); });
    connect(startButton_, &QPushButton::clicked, this, [this] { guarded([this] { onStartScan(); }); });
    connect(holdBox_, &QCheckBox::toggled, this, [this](bool on) {
        ScanWorker* worker = worker_.get();
        worker->post([worker, on] { worker->setHold(on); });
    });
    connect(setupButton_, &QPushButton::clicked, this, [this] { guarded([this] { onSetup(); }); });
    connect(quitButton_, &QPushButton::clicked, this, [this] { guarded([this] { onQuit(); }); });
    plot_->onPaint = [this] { guarded([this] { paintPlot(); }); };
    plot_->onLeftClick = [this](double share) { onPlotClicked(share); };
    plot_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(plot_, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) { showPlotMenu(pos); });
}

void MainWindow::connectWorker() {
    ScanWorker* w = worker_.get();
    passTimer_.setSingleShot(true);
    passTimer_.setInterval(kPassBatchMs);
    connect(&passTimer_, &QTimer::timeout, this, [this] { showPendingPasses(); });
    connect(w, &ScanWorker::probed, this, [this](const ProbeOutcome& outcome) { showProbe(outcome); });
    connect(w, &ScanWorker::scanStarted, this, [this](int id) {
        if (shown(id)) enableScanControls();
    });
    connect(w, &ScanWorker::windowChosen, this, [this](int id, const SweepWindow& window) {
        showPendingPasses();
        if (!shown(id)) return;
        lowEdgeLabel_->setText(window.lowText);
        centreLabel_->setText(window.centreText);
        highEdgeLabel_->setText(window.highText);
        progress_.window_ = window;
        progress_.shade_ = window.shade;
        extras_->windowChosen(window);
        watch_->windowChosen(window);
        ++progress_.sweepsStarted_;
        if (progress_.onSweepStarted) progress_.onSweepStarted();
    });
    connect(w, &ScanWorker::passShown, this, [this](int id, const PassShown& pass) {
        if (!shown(id)) return;
        pendingPasses_.push_back(pass);
        if (!passTimer_.isActive()) passTimer_.start();
    });
    connect(w, &ScanWorker::sweepCompleted, this, [this](int id, const SweepResult& sweep) {
        showPendingPasses();
        if (shown(id)) onSweepDone(sweep);
    });
    connect(w, &ScanWorker::failed, this, [this](int id, const QString& message) {
        showPendingPasses();
        if (ended_) return;
        const bool wasShown = shown(id);
        if (wasShown) shownScan_ = -1;
        messages_.show(message);
        if (wasShown) recoverFromScan();
    });
    connect(w, &ScanWorker::scanEnded, this, [this](int id) {
        if (id == lastScan_) progress_.running_ = false;
    });
    connect(w, &ScanWorker::quitReady, this, [this](const QString& error) { finishQuit(error); });
}

// Each repaint of the window costs about the same whatever it shows, so the
// passes that come within one batch interval are drawn and shown together:
// a few repaints a second, however fast the sweep.
void MainWindow::showPendingPasses() {
    passTimer_.stop();
    const std::vector<PassShown> passes = std::exchange(pendingPasses_, {});
    if (passes.empty()) return;
    const auto style = static_cast<int16_t>(styleList_->currentIndex());
    // The label and the bar show the latest; every point is drawn.
    const QString* tuning = nullptr;
    // The span of columns drawn, in twips, for what lies over the trace.
    double drawnFrom = std::numeric_limits<double>::max();
    double drawnTo = std::numeric_limits<double>::lowest();
    for (const PassShown& pass : passes) {
        if (!pass.tuning.isEmpty()) tuning = &pass.tuning;
        if (!pass.drawn) continue;
        const PlotPoint& p = pass.point;
        const int16_t drawn = extras_->drawnReading(p);
        drawPoint(plot_->surface(),
                  PointInputs{p.plotX, p.halfColumn, p.prevX, extras_->previousDrawn(p), drawn, p.shade, style});
        drawnFrom = std::min({drawnFrom, p.prevX, p.plotX - p.halfColumn});
        drawnTo = std::max(drawnTo, p.plotX + p.halfColumn);
        ++progress_.stepsDrawn_;
        if (progress_.onPoint) progress_.onPoint(p.units, p.reading);
    }
    if (drawnTo >= drawnFrom) extras_->pointsDrawn(drawnFrom, drawnTo);
    if (tuning) tuningLabel_->setText(*tuning);
    setSmeterWidth(10.0 * passes.back().reading);
}

void MainWindow::setSmeterWidth(double twips) {
    smeterTwips_ = twips;
    const int px = std::max(0, twipsToPixels(twips));
    meterBar_->setFixedSize(px, meterBar_->height());
    meterBar_->setVisible(px > 0);
}

// ---------------------------------------------------------------- boundary

void MainWindow::guarded(const std::function<void()>& f) {
    showPendingPasses();  // a user's action sees the scan as far as it has come
    if (ended_ || quitting_) return;
    try {
        f();
    } catch (const RuntimeError& e) {
        messages_.show(e.message());
    } catch (const std::exception& e) {
        messages_.show(QStringLiteral("Unexpected error: %1").arg(QString::fromLocal8Bit(e.what())));
    }
}

void MainWindow::recoverFromScan() {
    enableSetupControls();
    guarded([this] { resetForm(); });
}

void MainWindow::load() {
    loading_ = true;
    guarded([this] { resetForm(); });
    loading_ = false;
}

void MainWindow::endNow() {
    ended_ = true;
    worker_->requestStop();
    hide();
    if (endProgram) endProgram();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    // Closing the window writes nothing and sends nothing, but the program
    // ends, a running scan with it.
    event->accept();
    if (!ended_) endNow();
}

// ---------------------------------------------------------------- start-up

void MainWindow::resetForm() {
    loadSettings();
    initControls();
    plot_->surface().clear();
    scaleStrip_->surface().clear();
    setSmeterWidth(0);
    ScanWorker* worker = worker_.get();
    worker->post([worker] { worker->radio().setCentre(1425000); });
    setupButton_->setEnabled(false);
    holdBox_->setEnabled(false);
    lowEdgeLabel_->setText(QStringLiteral("Hz"));
    centreLabel_->setText(QStringLiteral("Hz"));
    highEdgeLabel_->setText(QStringLiteral("Hz"));
    tuningLabel_->setText(QString());
    progress_.shade_ = 220;
    extras_->windowCleared();
    watch_->windowCleared();
}

void MainWindow::loadSettings() {
    ownerCall_ = QStringLiteral("N0CALL");
    ownerCallLatin1_ = false;
    const QString file = QString::fromLatin1(kSettingsFile);
    if (!fileExists(file)) return;
    SettingsText text;
    try {
        text = readSettingsFile(file);
    } catch (const RuntimeError& e) {
        // An unreadable file is reported, and the defaults apply.
        messages_.show(e.message());
        return;
    }
    // Missing lines read as empty; the callsign keeps its default.
    QString* targets[] = {&savedPort_, &savedWidth_, &savedStep_, &savedStyle_};
    for (int i = 0; i < 4; ++i) *targets[i] = i < text.lines.size() ? text.lines[i] : QString();
    if (text.lines.size() >= 5) {
        ownerCall_ = text.lines[4];
        ownerCallLatin1_ = text.lastLineLatin1;
    }
}

void MainWindow::initControls() {
    // Qt reads "[*]" in a title as the "modified" mark and drops it; doubled,
    // it shows as typed.
    QString call = ownerCall_;
    call.replace(QStringLiteral("[*]"), QStringLiteral("[*][*]"));
    setWindowTitle(QString::fromLatin1(kCaptionPrefix) + call + QStringLiteral(")"));

    struct Entry {
        QComboBox* list;
        const QStringList* items;
        const QString* ini;
        void (MainWindow::*handler)();
    };
    const Entry entries[] = {
        {portList_, &kPorts, &savedPort_, &MainWindow::probeAtStartUp},
        {stepList_, &kSteps, &savedStep_, nullptr},
        {widthList_, &kWidths, &savedWidth_, &MainWindow::onWidthChosen},
        {styleList_, &kStyles, &savedStyle_, &MainWindow::onStyleChosen},
    };
    for (const Entry& e : entries) {
        if (!e.list->currentText().isEmpty()) continue;
        e.list->addItems(*e.items);
        // A missing line is an empty value (index 0); anything that is not an
        // index of this list falls back to its first item.
        int16_t index = 0;
        if (!e.ini->trimmed().isEmpty()) {
            const auto parsed = parseIndex(*e.ini);
            if (parsed && *parsed >= 0 && *parsed < e.list->count()) index = *parsed;
        }
        e.list->setCurrentIndex(index);
        // Restoring a selection raises the list's handler, each behind the
        // boundary so that a failing probe leaves the other lists filled.
        if (e.handler) {
            auto handler = e.handler;
            guarded([this, handler] { (this->*handler)(); });
        }
    }
}

// ---------------------------------------------------------------- Setup and Quit

// "Start scan" and the lists on, "Hold scan" off and cleared, in this order.
void MainWindow::enableSetupControls() {
    styleList_->setEnabled(true);
    startButton_->setEnabled(true);
    holdBox_->setEnabled(false);
    holdBox_->setChecked(false);
    widthList_->setEnabled(true);
    stepList_->setEnabled(true);
    portList_->setEnabled(true);
}

// While a scan runs: only "Setup" and "Hold scan" take clicks.
void MainWindow::enableScanControls() {
    styleList_->setEnabled(false);
    startButton_->setEnabled(false);
    setupButton_->setEnabled(true);
    holdBox_->setEnabled(true);
    portList_->setEnabled(false);
    widthList_->setEnabled(false);
    stepList_->setEnabled(false);
}

void MainWindow::onSetup() {
    enableSetupControls();
    // The scan's pass in progress draws nothing more; the scan's end frame
    // and the port's close follow on the scan's thread.
    shownScan_ = -1;
    worker_->requestStop();
    ScanWorker* worker = worker_.get();
    worker->post([worker] { worker->setup(); });
    resetForm();
}

void MainWindow::onQuit() {
    // The settings are written, and the program ends, once the scan's thread
    // has sent the scan's end and closed the port.
    quitting_ = true;
    shownScan_ = -1;
    worker_->requestStop();
    ScanWorker* worker = worker_.get();
    worker->post([worker] { worker->quit(); });
}

void MainWindow::finishQuit(const QString& error) {
    if (ended_) return;
    // Quit always writes the settings and ends, even when the link failed on
    // the way out (a pulled cable): that is reported, then the rest goes on.
    if (!error.isEmpty()) messages_.show(error);
    const std::array<int16_t, 4> indices{
        static_cast<int16_t>(portList_->currentIndex()), static_cast<int16_t>(widthList_->currentIndex()),
        static_cast<int16_t>(stepList_->currentIndex()), static_cast<int16_t>(styleList_->currentIndex())};
    try {
        writeSettingsFile(QString::fromLatin1(kSettingsFile), settingsBytes(indices, ownerCall_, ownerCallLatin1_));
    } catch (const RuntimeError& e) {
        messages_.show(e.message());
    }
    endNow();
}

// ---------------------------------------------------------------- port probe

void MainWindow::onPortChosen() {
    // "Start scan" stays off until the radio has answered, also when the probe
    // fails half-way.
    startButton_->setEnabled(false);
    const int16_t n = toInt16(portList_->currentIndex() + 1.0);
    ScanWorker* worker = worker_.get();
    worker->post([worker, n] { worker->probeAndTell(n); });
}

void MainWindow::probeAtStartUp() {
    if (!loading_) {
        onPortChosen();
        return;
    }
    // The window is not shown yet: its message comes now, as the load's own.
    startButton_->setEnabled(false);
    const int16_t n = toInt16(portList_->currentIndex() + 1.0);
    ProbeOutcome outcome;
    ScanWorker* worker = worker_.get();
    QMetaObject::invokeMethod(
        worker, [worker, n, &outcome] { outcome = worker->probe(n); }, Qt::BlockingQueuedConnection);
    showProbe(outcome);
}

void MainWindow::showProbe(const ProbeOutcome& outcome) {
    if (ended_ || quitting_) return;
    using Result = ProbeOutcome::Result;
    startButton_->setEnabled(outcome.result == Result::Answered);
    if (outcome.result == Result::CannotConnect)
        messages_.show(QStringLiteral("Cannot connect through ") + portList_->currentText() + QLatin1Char('\r') +
                       QStringLiteral("Port already in use or NOT avaible"));
    if (outcome.result == Result::NoResponse)
        messages_.show(QStringLiteral("No response from Yaesu FT-1000MP on ") + portList_->currentText());
    if (outcome.result == Result::Failed) messages_.show(outcome.error);
    if (onProbed) onProbed();
}

// ---------------------------------------------------------------- display

void MainWindow::onWidthChosen() {
    scaleStrip_->surface().clear();
    paintPlot();
}

void MainWindow::onStyleChosen() {
    plot_->surface().clear();
    paintPlot();
}

void MainWindow::paintPlot() {
    paintGraticule(plot_->surface(), scaleStrip_->surface(), widthList_->currentText(),
                   static_cast<int16_t>(styleList_->currentIndex()), spanUnits_);
}

// ---------------------------------------------------------------- scan

void MainWindow::onStartScan() {
    // A second click before the scan has disabled the button finds it running.
    if (progress_.running_) return;
    ScanSettings settings;
    settings.port = toInt16(portList_->currentIndex() + 1.0);
    settings.stepText = stepList_->currentText();
    settings.spanUnits = spanUnits_;
    settings.plotWidth = plot_->surface().width();
    const int id = ++lastScan_;
    shownScan_ = id;
    progress_.running_ = true;
    progress_.window_ = SweepWindow{};
    ScanWorker* worker = worker_.get();
    worker->post([worker, id, settings] { worker->startScan(id, settings); });
}

// ---------------------------------------------------------------- beyond the scan

void MainWindow::onPlotClicked(double share) {
    // The window's low edge plus the click's share of its width, to the step.
    const SweepWindow& window = progress_.window_;
    if (!clickToTune_ || shownScan_ < 0 || window.step <= 0) return;
    const double offset = std::round(share * window.span / window.step) * window.step;
    tuneVfoA(int32_t(std::lround(window.low + offset)));
}

void MainWindow::connectCluster(const QString& hostPort) {
    watch_->setOwnerCall(ownerCall_);
    watch_->connectCluster(hostPort);
}

void MainWindow::tuneVfoA(int32_t units) {
    if (shownScan_ < 0) return;
    ScanWorker* worker = worker_.get();
    worker->post([worker, units] { worker->retuneVfoA(units); });
}

void MainWindow::setFastSweep(bool on) {
    fastSweep_ = on;
    ScanWorker* worker = worker_.get();
    worker->post([worker, on] { worker->setFast(on); });
}

void MainWindow::shareRadioWith(RigctlServer& server) { sharing_ = std::make_unique<RadioSharing>(server, *worker_); }

namespace {

QString cannotRecord(const QString& error) {
    return QStringLiteral("Cannot record the sweeps to %1; the scope goes on without recording.").arg(error);
}
}  // namespace

void MainWindow::recordTo(const QString& path) {
    try {
        recorder_.open(path);
    } catch (const RuntimeError& e) {
        messages_.show(cannotRecord(e.message()));
    }
}

void MainWindow::onSweepDone(const SweepResult& sweep) {
    lastSweep_ = sweep;
    extras_->sweepCompleted(sweep);
    watch_->sweepCompleted(sweep);
    if (!recorder_.isOpen()) return;
    try {
        recorder_.append(sweep);
    } catch (const RuntimeError& e) {
        messages_.show(cannotRecord(e.message()));
    }
}

void MainWindow::showPlotMenu(const QPoint& pos) {
    // Nothing here blocks: a running scan goes on behind the menu and the dialog.
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->addAction(QStringLiteral("Save picture\u2026"), this, [this] {
        // The plot with its scale strip, as the screen shows them now.
        const QImage picture = grab(plot_->geometry().united(scaleStrip_->geometry())).toImage();
        saveAs(QStringLiteral("Save picture"), QStringLiteral("png"),
               [picture](const QString& path) { savePicture(path, picture); });
    });
    QAction* saveSweepAction = menu->addAction(QStringLiteral("Save sweep\u2026"), this, [this] {
        saveAs(QStringLiteral("Save sweep"), QStringLiteral("csv"),
               [sweep = lastSweep_](const QString& path) { saveSweep(path, sweep); });
    });
    saveSweepAction->setEnabled(!lastSweep_.frequencies.empty());
    menu->addSeparator();
    QAction* clickToTune = menu->addAction(QStringLiteral("Click to tune"), this, [this](bool on) {
        clickToTune_ = on;
        preferences::writeFlag(preferences::kClickToTune, on);
    });
    clickToTune->setCheckable(true);
    clickToTune->setChecked(clickToTune_);
    QAction* fast = menu->addAction(QStringLiteral("Fast sweep"), this, [this](bool on) {
        setFastSweep(on);
        preferences::writeFlag(preferences::kFastSweep, on);
    });
    fast->setCheckable(true);
    fast->setChecked(fastSweep_);
    extras_->addMenuItems(menu);
    watch_->setOwnerCall(ownerCall_);
    watch_->addMenuItems(menu);
    menu->popup(plot_->mapToGlobal(pos));
}

void MainWindow::saveAs(const QString& title, const QString& suffix, const std::function<void(const QString&)>& save) {
    auto* dialog = new QFileDialog(this, title, QString(), QStringLiteral("*.") + suffix);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setDefaultSuffix(suffix);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QFileDialog::fileSelected, this, [this, save](const QString& path) {
        try {
            save(path);
        } catch (const RuntimeError& e) {
            messages_.show(QStringLiteral("Cannot save ") + e.message());
        }
    });
    dialog->open();
}

}  // namespace qv7m
