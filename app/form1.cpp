#include "app/form1.h"

#include "app/pictures.h"
#include "app/settingsfile.h"
#include "core/numeric.h"
#include "core/runtime_error.h"
#include "display/graticule.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFileInfo>
#include <QIcon>
#include <QPixmap>

namespace qv7m {

const char* const Form1::kSettingsFile = "qv-7m.ini";
const char* const Form1::kCaptionPrefix = "Yaesu FT-1000MP Bandscope QV-7M (";

int twipsToPixels(double twips) { return qRound(twips / 15.0); }

namespace {

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

const QStringList kPorts{QStringLiteral("COM1"), QStringLiteral("COM2"), QStringLiteral("COM3"), QStringLiteral("COM4")};
const QStringList kSteps{QStringLiteral("100"), QStringLiteral("250"), QStringLiteral("500"), QStringLiteral("1000")};
const QStringList kWidths{QStringLiteral("10"), QStringLiteral("20"), QStringLiteral("40"), QStringLiteral("80")};
const QStringList kStyles{QStringLiteral("Area Graph"), QStringLiteral("Line Graph"), QStringLiteral("Waterfall")};

}  // namespace

// The window as the scan sees it.
class Form1::Host : public SweepHost {
public:
    explicit Host(Form1& f) : f_(f) {}
    QString stepText() const override { return f_.step->currentText(); }
    int16_t styleIndex() const override { return static_cast<int16_t>(f_.style->currentIndex()); }
    int16_t holdValue() const override { return f_.stopscan->isChecked() ? 1 : 0; }
    double spanUnits() const override { return f_.spanUnits; }
    void setEnabled(Control c, bool enabled) override {
        QWidget* w = nullptr;
        switch (c) {
            case Control::style: w = f_.style; break;
            case Control::starten: w = f_.starten; break;
            case Control::setup: w = f_.setup; break;
            case Control::stopscan: w = f_.stopscan; break;
            case Control::comport: w = f_.comport; break;
            case Control::dis: w = f_.dis; break;
            case Control::step: w = f_.step; break;
        }
        w->setEnabled(enabled);
    }
    void setCaption(Label l, const QString& text) override {
        QLabel* w = nullptr;
        switch (l) {
            case Label::links: w = f_.links; break;
            case Label::mitte: w = f_.mitte; break;
            case Label::rechts: w = f_.rechts; break;
            case Label::info: w = f_.info; break;
        }
        w->setText(text);
    }
    void setSmeterWidth(double twips) override { f_.setSmeterWidth(twips); }
    DrawingSurface& picture1() override { return f_.Picture1->surface(); }
    void doEvents() override { f_.yieldToEvents(); }

private:
    Form1& f_;
};

Form1::Form1(MSComm& comm, MessagePresenter& messages, QWidget* parent)
    : QWidget(parent),
      MSComm1(comm),
      link(comm),
      host_(std::make_unique<Host>(*this)),
      sweep(link, *host_),
      messages_(messages) {
    endProgram = [] { QCoreApplication::exit(0); };
    buildControls();
    link.doEvents = [this] { yieldToEvents(); };
    MSComm1.onComm = [this] { guarded([this] { MSComm1_OnComm(); }); };
}

Form1::~Form1() { MSComm1.onComm = nullptr; }

void Form1::buildControls() {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Yaesu FT-1000MP Bandscope"));
    setWindowIcon(QIcon(QPixmap::fromImage(iconImage())));
    setFont(sansSerif(8.25));
    QPalette pal = palette();
    pal.setColor(QPalette::Window, oleToQColor(0x00C0C0C0));
    setPalette(pal);
    setAutoFillBackground(true);
    setFixedSize(twipsToPixels(8205), twipsToPixels(5010));
    move(twipsToPixels(2310), twipsToPixels(2490));

    Frame1 = new QGroupBox(this);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    Frame1->setTitle(QString());
    place(Frame1, 120, 0, 8000, 550);

    style = list(Frame1, "style", 2040, 160, 1215, 315);
    comport = list(Frame1, "comport", 3840, 160, 855, 315);
    dis = list(Frame1, "dis", 5400, 165, 615, 315);
    step = list(Frame1, "step", 6885, 160, 735, 315);
    setup = new QPushButton(QStringLiteral("Setup"), Frame1);
    setup->setObjectName(QStringLiteral("setup"));
    place(setup, 120, 180, 1335, 300);
    Label9 = label(Frame1, "Label9", QStringLiteral("Style:"), 1620, 240, 375, 255);
    Label8 = label(Frame1, "Label8", QStringLiteral("Hz"), 7665, 240, 255, 255);
    Label7 = label(Frame1, "Label7", QStringLiteral("Step:"), 6480, 240, 375, 255);
    Label6 = label(Frame1, "Label6", QStringLiteral("kHz"), 6045, 240, 615, 255);
    Label2 = label(Frame1, "Label2", QStringLiteral("Width:"), 4920, 240, 615, 255);
    Label1 = label(Frame1, "Label1", QStringLiteral("Port:"), 3480, 240, 495, 255);

    stopscan = new QCheckBox(QStringLiteral("Hold scan"), this);
    stopscan->setObjectName(QStringLiteral("stopscan"));
    place(stopscan, 1800, 720, 1575, 540);

    Picture3 = new QLabel(this);
    Picture3->setObjectName(QStringLiteral("Picture3"));
    Picture3->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Picture3->setPixmap(QPixmap::fromImage(smeterScaleImage()));
    {
        QPalette p = Picture3->palette();
        p.setColor(QPalette::Window, oleToQColor(0x00C0C0C0));
        p.setColor(QPalette::WindowText, palette().color(QPalette::WindowText));
        Picture3->setPalette(p);
        Picture3->setAutoFillBackground(true);
    }
    Picture3->setFocusPolicy(Qt::TabFocus);
    place(Picture3, 800, 1360, 2550, 375);

    smeter = new QFrame(Picture3);
    smeter->setObjectName(QStringLiteral("smeter"));
    smeter->setFrameShape(QFrame::NoFrame);
    {
        QPalette p = smeter->palette();
        p.setColor(QPalette::Window, oleToQColor(0x000000FF));
        smeter->setPalette(p);
        smeter->setAutoFillBackground(true);
    }
    place(smeter, 0, 190, 15, 90);

    Picture2 = new PictureBox(8000, 150, 0x00000000, 0x80000008, sansSerif(8.25), this);
    Picture2->setObjectName(QStringLiteral("Picture2"));
    Picture2->setFocusPolicy(Qt::TabFocus);
    place(Picture2, 120, 4680, 8000, 150);
    Picture1 = new PictureBox(8000, 2550, 0x00000000, 0x00E0E0E0, sansSerif(8.25), this);
    Picture1->setObjectName(QStringLiteral("Picture1"));
    Picture1->setFocusPolicy(Qt::TabFocus);
    place(Picture1, 120, 2160, 8000, 2550);

    starten = new QPushButton(QStringLiteral("Start scan"), this);
    starten->setObjectName(QStringLiteral("starten"));
    place(starten, 120, 720, 1575, 540);
    beenden = new QPushButton(QStringLiteral("Quit"), this);
    beenden->setObjectName(QStringLiteral("beenden"));
    place(beenden, 6720, 1390, 1395, 300);

    Label5 = label(this, "Label5", QStringLiteral("FT-1000MP"), 6720, 1080, 1395, 255, Qt::AlignHCenter | Qt::AlignTop);
    Label5->setFont(sansSerif(9.75));
    Label4 = label(this, "Label4", QStringLiteral("YAESU"), 6720, 795, 1395, 255, Qt::AlignHCenter | Qt::AlignTop);
    Label4->setFont(namedFont(QStringLiteral("Courier New"), QStringLiteral("Liberation Mono"), 15.75, true));

    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Image1->setPixmap(QPixmap::fromImage(frontPanelImage()));
    place(Image1, 3480, 720, 3135, 975);

    Label3 = label(this, "Label3", QStringLiteral("S-Meter"), 120, 1455, 1455, 195);
    info = label(this, "info", QString(), 120, 1800, 7995, 375, Qt::AlignHCenter | Qt::AlignTop);
    info->setFont(namedFont(QStringLiteral("Arial"), QStringLiteral("Liberation Sans"), 15.75, true));
    {
        QPalette p = info->palette();
        p.setColor(QPalette::Window, oleToQColor(0x00000000));
        p.setColor(QPalette::WindowText, oleToQColor(0x0000FF00));
        info->setPalette(p);
        info->setAutoFillBackground(true);
    }
    rechts = label(this, "rechts", QStringLiteral("Hz"), 6600, 4810, 1485, 255, Qt::AlignRight | Qt::AlignTop);
    links = label(this, "links", QStringLiteral("Hz"), 120, 4810, 1575, 255);
    mitte = label(this, "mitte", QStringLiteral("Hz"), 3120, 4810, 1995, 255, Qt::AlignHCenter | Qt::AlignTop);
    mitte->setFont(sansSerif(8.25, true));
    {
        QPalette p = mitte->palette();
        p.setColor(QPalette::WindowText, oleToQColor(0x00000000));
        mitte->setPalette(p);
    }

    // The scale strip lies over the plot's last 30 twips, as laid out.
    Picture2->raise();
    for (QLabel* l : {rechts, links, mitte}) l->raise();

    // Labels and the frame never take the focus; the rest follow the tab order
    // beenden, starten, Picture1, Picture2, Picture3, stopscan, setup, step, dis, comport, style.
    for (QWidget* w : std::initializer_list<QWidget*>{Frame1, Label1, Label2, Label3, Label4, Label5, Label6, Label7,
                                                      Label8, Label9, info, links, mitte, rechts, Image1, smeter})
        w->setFocusPolicy(Qt::NoFocus);
    const QWidget* order[] = {beenden, starten, Picture1, Picture2, Picture3, stopscan,
                              setup, step, dis, comport, style};
    for (size_t i = 0; i + 1 < std::size(order); ++i)
        QWidget::setTabOrder(const_cast<QWidget*>(order[i]), const_cast<QWidget*>(order[i + 1]));

    // While a scan runs, the lists and "Start scan" take no clicks; before the
    // scan disables them (during its first status read) a click is ignored
    // rather than run inside the scan.
    connect(comport, &QComboBox::activated, this, [this] {
        if (!sweep.running()) guarded([this] { comport_Click(); });
    });
    connect(dis, &QComboBox::activated, this, [this] {
        if (!sweep.running()) guarded([this] { dis_Click(); });
    });
    connect(style, &QComboBox::activated, this, [this] {
        if (!sweep.running()) guarded([this] { style_Click(); });
    });
    connect(starten, &QPushButton::clicked, this, [this] {
        if (!sweep.running()) guarded([this] { starten_Click(); });
    });
    connect(stopscan, &QCheckBox::clicked, this, [this] { guarded([this] { stopscan_Click(); }); });
    connect(setup, &QPushButton::clicked, this, [this] { guarded([this] { setup_Click(); }); });
    connect(beenden, &QPushButton::clicked, this, [this] { guarded([this] { beenden_Click(); }); });
    Picture1->onPaint = [this] { guarded([this] { Picture1_Paint(); }); };
}

void Form1::yieldToEvents() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    if (ended_) throw ProgramEnded{};
}

void Form1::setSmeterWidth(double twips) {
    smeterTwips_ = twips;
    const int px = std::max(0, twipsToPixels(twips));
    smeter->setFixedSize(px, smeter->height());
    smeter->setVisible(px > 0);
}

// ---------------------------------------------------------------- boundary

void Form1::guarded(const std::function<void()>& f) {
    if (ended_) return;
    ++depth_;
    try {
        f();
    } catch (const ProgramEnded&) {
        // The program ended inside a yield of this handler: nothing more to do.
    } catch (const RuntimeError& e) {
        handleRuntimeError(e.message());
    } catch (const std::exception& e) {
        handleRuntimeError(QStringLiteral("Unexpected error: %1").arg(QString::fromLocal8Bit(e.what())));
    } catch (...) {
        handleRuntimeError(QStringLiteral("Unexpected error"));
    }
    --depth_;
    if (depth_ == 0) {
        if (pendingRecovery_ && !ended_) {
            pendingRecovery_ = false;
            recoverAfterError();
        }
    }
}

void Form1::handleRuntimeError(const QString& message) {
    if (ended_) return;
    // A running scan ends at its next stop test, and the link is closed, so
    // nothing more goes to a port that just failed.
    sweep.stopRequested = -1;
    try {
        if (MSComm1.portOpen()) MSComm1.setPortOpen(false);
    } catch (const RuntimeError&) {
    }
    if (sweep.running()) pendingRecovery_ = true;
    messages_.show(message);
}

void Form1::recoverAfterError() {
    // The window as "Setup" leaves it, without sending anything.
    enableSetupControls();
    guarded([this] { Form_Load(); });
}

void Form1::load() { guarded([this] { Form_Load(); }); }

void Form1::endNow() {
    ended_ = true;
    sweep.stopRequested = -1;
    hide();
    if (endProgram) endProgram();
}

void Form1::closeEvent(QCloseEvent* event) {
    // Closing the window writes nothing and sends nothing, but the program
    // ends, a running scan with it.
    event->accept();
    if (!ended_) endNow();
}

// ---------------------------------------------------------------- start-up

void Form1::Form_Load() {
    LoadSettings();
    InitControls();
    Picture1->surface().Cls();
    Picture2->surface().Cls();
    setSmeterWidth(0);
    link.centerFreq = 1425000;
    setup->setEnabled(false);
    stopscan->setEnabled(false);
    links->setText(QStringLiteral("Hz"));
    mitte->setText(QStringLiteral("Hz"));
    rechts->setText(QStringLiteral("Hz"));
    info->setText(QString());
    sweep.shade = 220;
}

void Form1::LoadSettings() {
    ownerCall = QStringLiteral("N0CALL");
    ownerCallLatin1 = false;
    const QString file = QString::fromLatin1(kSettingsFile);
    if (!FileExists(file)) return;
    SettingsText text;
    try {
        text = readSettingsFile(file);
    } catch (const RuntimeError& e) {
        // An unreadable file is reported, and the defaults apply.
        messages_.show(e.message());
        return;
    }
    // Missing lines read as empty; the callsign keeps its default.
    QString* targets[] = {&iniPort, &iniWidth, &iniStep, &iniStyle};
    for (int i = 0; i < 4; ++i) *targets[i] = i < text.lines.size() ? text.lines[i] : QString();
    if (text.lines.size() >= 5) {
        ownerCall = text.lines[4];
        ownerCallLatin1 = text.lastLineLatin1;
    }
}

void Form1::setListIndex(QComboBox* list, int16_t index) {
    list->setCurrentIndex(index);
}

void Form1::InitControls() {
    setWindowTitle(QString::fromLatin1(kCaptionPrefix) + ownerCall + QStringLiteral(")"));

    // Configure the line first, so that the probe raised below already runs
    // with it; the port number follows once the port list is restored.
    MSComm1.setSettings(QStringLiteral("4800,n,8,2"));
    MSComm1.setRThreshold(1);
    MSComm1.setSThreshold(1);
    MSComm1.setInputLen(1);

    struct Entry {
        QComboBox* list;
        const QStringList* items;
        const QString* ini;
        void (Form1::*handler)();
    };
    const Entry entries[] = {
        {comport, &kPorts, &iniPort, &Form1::comport_Click},
        {step, &kSteps, &iniStep, nullptr},
        {dis, &kWidths, &iniWidth, &Form1::dis_Click},
        {style, &kStyles, &iniStyle, &Form1::style_Click},
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
        setListIndex(e.list, index);
        // Restoring a selection raises the list's handler, each behind the
        // boundary so that a failing probe leaves the other lists filled.
        if (e.handler) {
            auto handler = e.handler;
            guarded([this, handler] { (this->*handler)(); });
        }
        if (ended_) return;
    }

    MSComm1.setCommPort(toInt16(comport->currentIndex() + 1.0));
    MSComm1.setSettings(QStringLiteral("4800,n,8,2"));
    MSComm1.setRThreshold(1);
    MSComm1.setSThreshold(1);
    MSComm1.setInputLen(1);
}

bool Form1::FileExists(const QString& filename) {
    const QFileInfo fi(filename);
    return fi.exists() && fi.isFile();
}

// ---------------------------------------------------------------- Setup and Quit

// "Start scan" and the lists on, "Hold scan" off and cleared, in this order.
void Form1::enableSetupControls() {
    style->setEnabled(true);
    starten->setEnabled(true);
    stopscan->setEnabled(false);
    stopscan->setChecked(false);
    dis->setEnabled(true);
    step->setEnabled(true);
    comport->setEnabled(true);
}

void Form1::setup_Click() {
    enableSetupControls();
    sweep.stopRequested = -1;
    if (MSComm1.portOpen()) {
        link.Befehl(4);
        link.Befehl(10);
    }
    Form_Load();
}

void Form1::beenden_Click() {
    // Quit always writes the settings and ends, even when the link fails on
    // the way out (a pulled cable): that is reported, then the rest goes on.
    try {
        if (MSComm1.portOpen()) {
            link.Befehl(4);
            link.Befehl(10);
        }
    } catch (const RuntimeError& e) {
        try {
            if (MSComm1.portOpen()) MSComm1.setPortOpen(false);
        } catch (const RuntimeError&) {
        }
        messages_.show(e.message());
    }
    const std::array<int16_t, 4> indices{static_cast<int16_t>(comport->currentIndex()),
                                         static_cast<int16_t>(dis->currentIndex()),
                                         static_cast<int16_t>(step->currentIndex()),
                                         static_cast<int16_t>(style->currentIndex())};
    try {
        writeSettingsFile(QString::fromLatin1(kSettingsFile), settingsBytes(indices, ownerCall, ownerCallLatin1));
    } catch (const RuntimeError& e) {
        messages_.show(e.message());
    }
    endNow();
}

// ---------------------------------------------------------------- port probe

void Form1::comport_Click() {
    link.meterValue = -1;
    const int16_t n = toInt16(comport->currentIndex() + 1.0);
    // "Start scan" stays off until the radio has answered, also when the probe
    // fails half-way.
    starten->setEnabled(false);
    if (!link.PortTest(n)) {
        messages_.show(QStringLiteral("Cannot connect through ") + comport->currentText() + QLatin1Char('\r') +
                       QStringLiteral("Port already in use or NOT avaible"));
        starten->setEnabled(false);
        return;
    }
    link.Befehl(11);
    link.lesemeter();
    link.Befehl(10);
    if (link.meterValue == -1) {
        messages_.show(QStringLiteral("No response from Yaesu FT-1000MP on ") + comport->currentText());
        starten->setEnabled(false);
    } else {
        starten->setEnabled(true);
    }
}

void Form1::MSComm1_OnComm() { (void)MSComm1.commEvent(); }

// ---------------------------------------------------------------- display

void Form1::dis_Click() {
    Picture2->surface().Cls();
    Picture1_Paint();
}

void Form1::style_Click() {
    Picture1->surface().Cls();
    Picture1_Paint();
}

void Form1::Picture1_Paint() {
    paintGraticule(Picture1->surface(), Picture2->surface(), dis->currentText(),
                   static_cast<int16_t>(style->currentIndex()), spanUnits);
}

// ---------------------------------------------------------------- sweep

void Form1::starten_Click() {
    try {
        sweep.starten_Click();
    } catch (const RuntimeError&) {
        // The scan failed: once the message is shown, the window goes back to
        // its set-up state.
        pendingRecovery_ = true;
        throw;
    }
}

void Form1::stopscan_Click() {}

}  // namespace qv7m
