// The window as laid out (every control's place, size, text, font, colours,
// enabled state and tab order, against one table of the layout), start-up,
// the settings file, "Setup", "Quit", closing the window and the port probe,
// on the real form with a scripted serial control.

#include "app/form1.h"
#include "support/scripted_radio.h"

#include <QDir>
#include <QFile>
#include <QFontInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace qv7m;

namespace {

const QByteArray kCommand4("\x00\x00\x00\x00\x85", 5);

class Startup : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid() && QDir::setCurrent(dir.path())); }
    void TearDown() override { QDir::setCurrent(QDir::tempPath()); }

    void writeIni(const QByteArray& bytes) {
        QFile f(dir.filePath(QStringLiteral("qv-7m.ini")));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    QByteArray readIni() {
        QFile f(dir.filePath(QStringLiteral("qv-7m.ini")));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    std::unique_ptr<Form1> loaded() {
        auto form = std::make_unique<Form1>(comm, messages);
        form->endProgram = [this] { ++ends; };
        form->load();
        return form;
    }
    static void expectSelections(Form1& f, const char* port, const char* width, const char* step, const char* style) {
        EXPECT_EQ(f.comport->currentText(), QString::fromLatin1(port));
        EXPECT_EQ(f.dis->currentText(), QString::fromLatin1(width));
        EXPECT_EQ(f.step->currentText(), QString::fromLatin1(step));
        EXPECT_EQ(f.style->currentText(), QString::fromLatin1(style));
    }

    QTemporaryDir dir;
    ScriptedRadio comm;
    RecordingPresenter messages;
    int ends = 0;
};

struct Expected {
    const char* name;
    const char* kind;       // Qt class
    const char* container;  // parent's object name
    const char* text;       // nullptr: no text to check
    int left, top, width, height;  // twips
    const char* font;       // family as named
    double points;
    bool bold;
    char align;  // 'L'eft, 'C'entred, 'R'ight; 0: not checked
};

// The layout's table, in creation order.
const Expected kLayout[] = {
    {"Frame1", "QGroupBox", "Form1", "", 120, 0, 8000, 550, "MS Sans Serif", 8.25, false, 0},
    {"style", "QComboBox", "Frame1", nullptr, 2040, 160, 1215, 315, "MS Sans Serif", 8.25, false, 0},
    {"comport", "QComboBox", "Frame1", nullptr, 3840, 160, 855, 315, "MS Sans Serif", 8.25, false, 0},
    {"dis", "QComboBox", "Frame1", nullptr, 5400, 165, 615, 315, "MS Sans Serif", 8.25, false, 0},
    {"step", "QComboBox", "Frame1", nullptr, 6885, 160, 735, 315, "MS Sans Serif", 8.25, false, 0},
    {"setup", "QPushButton", "Frame1", "Setup", 120, 180, 1335, 300, "MS Sans Serif", 8.25, false, 0},
    {"Label9", "QLabel", "Frame1", "Style:", 1620, 240, 375, 255, "MS Sans Serif", 8.25, false, 'L'},
    {"Label8", "QLabel", "Frame1", "Hz", 7665, 240, 255, 255, "MS Sans Serif", 8.25, false, 'L'},
    {"Label7", "QLabel", "Frame1", "Step:", 6480, 240, 375, 255, "MS Sans Serif", 8.25, false, 'L'},
    {"Label6", "QLabel", "Frame1", "kHz", 6045, 240, 615, 255, "MS Sans Serif", 8.25, false, 'L'},
    {"Label2", "QLabel", "Frame1", "Width:", 4920, 240, 615, 255, "MS Sans Serif", 8.25, false, 'L'},
    {"Label1", "QLabel", "Frame1", "Port:", 3480, 240, 495, 255, "MS Sans Serif", 8.25, false, 'L'},
    {"stopscan", "QCheckBox", "Form1", "Hold scan", 1800, 720, 1575, 540, "MS Sans Serif", 8.25, false, 0},
    {"Picture3", "QLabel", "Form1", nullptr, 800, 1360, 2550, 375, "MS Sans Serif", 8.25, false, 0},
    {"smeter", "QFrame", "Picture3", nullptr, 0, 190, 15, 90, nullptr, 0, false, 0},
    {"Picture2", "qv7m::PictureBox", "Form1", nullptr, 120, 4680, 8000, 150, nullptr, 0, false, 0},
    {"Picture1", "qv7m::PictureBox", "Form1", nullptr, 120, 2160, 8000, 2550, "MS Sans Serif", 8.25, false, 0},
    {"starten", "QPushButton", "Form1", "Start scan", 120, 720, 1575, 540, "MS Sans Serif", 8.25, false, 0},
    {"beenden", "QPushButton", "Form1", "Quit", 6720, 1390, 1395, 300, "MS Sans Serif", 8.25, false, 0},
    {"Label5", "QLabel", "Form1", "FT-1000MP", 6720, 1080, 1395, 255, "MS Sans Serif", 9.75, false, 'C'},
    {"Label4", "QLabel", "Form1", "YAESU", 6720, 795, 1395, 255, "Courier New", 15.75, true, 'C'},
    {"Image1", "QLabel", "Form1", nullptr, 3480, 720, 3135, 975, nullptr, 0, false, 0},
    {"Label3", "QLabel", "Form1", "S-Meter", 120, 1455, 1455, 195, "MS Sans Serif", 8.25, false, 'L'},
    {"info", "QLabel", "Form1", "", 120, 1800, 7995, 375, "Arial", 15.75, true, 'C'},
    {"rechts", "QLabel", "Form1", "Hz", 6600, 4810, 1485, 255, "MS Sans Serif", 8.25, false, 'R'},
    {"links", "QLabel", "Form1", "Hz", 120, 4810, 1575, 255, "MS Sans Serif", 8.25, false, 'L'},
    {"mitte", "QLabel", "Form1", "Hz", 3120, 4810, 1995, 255, "MS Sans Serif", 8.25, true, 'C'},
};

int px(int twips) { return qRound(twips / 15.0); }

QString textOf(QWidget* w) {
    if (auto* l = qobject_cast<QLabel*>(w)) return l->text();
    if (auto* b = qobject_cast<QAbstractButton*>(w)) return b->text();
    if (auto* g = qobject_cast<QGroupBox*>(w)) return g->title();
    return {};
}

QColor ole(uint32_t c) { return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF); }

// The form as built, before it is loaded.
class Window : public Startup {
protected:
    Form1 form{comm, messages};
};

const QRegularExpression kWellFormed(QStringLiteral("^(( \\d|-\\d)\\d* \\r\\n){4}[^\\r\\n]*\\r\\n$"));

}  // namespace

TEST_F(Startup, NoFileGivesTheDefaultsAndProbesCom1) {
    auto form = loaded();
    expectSelections(*form, "COM1", "10", "100", "Area Graph");
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Yaesu FT-1000MP Bandscope QV-7M (N0CALL)"));
    for (QComboBox* c : {form->comport, form->step, form->dis}) EXPECT_EQ(c->count(), 4);
    EXPECT_EQ(form->style->count(), 3);
    // The probe ran on COM1 with the line already configured, and the radio answered.
    const int settingsAt = comm.events.indexOf(QStringLiteral("Settings=4800,n,8,2"));
    ASSERT_GE(settingsAt, 0);
    EXPECT_LT(settingsAt, comm.events.indexOf(QStringLiteral("CommPort=1")));
    EXPECT_TRUE(form->starten->isEnabled());
    EXPECT_FALSE(comm.portOpen());
    EXPECT_TRUE(messages.shown.isEmpty());
    EXPECT_EQ(form->link.centerFreq, 1425000);
    EXPECT_EQ(form->smeterWidth(), 0);
}

// Each file is loaded, then "Quit" writes a well-formed file for what was
// chosen; a sound file comes back byte for byte.
TEST_F(Startup, FilesAreRestoredOrFallBackAndQuitWritesAWellFormedFile) {
    QByteArray huge(30 * 1024 * 1024, 'x');
    // Sized by the compiler: the junk holds NUL bytes.
    static const char junk[] = "\x00\xff\x01\r\n\x80\x81\r\n\x1b[2J\r\n\xfe\r\n\x00\x01\x02\r\n";
    const struct {
        const char* why;
        QByteArray bytes;
        const char *port, *width, *step, *style, *call;  // call nullptr: not checked
        bool keptAsIs;
    } cases[] = {
        {"saved selections", " 2 \r\n 1 \r\n 3 \r\n 0 \r\nDL1ABC\r\n", "COM3", "20", "1000", "Area Graph", "DL1ABC",
         true},
        {"round trip", " 3 \r\n 3 \r\n 2 \r\n 1 \r\nOE3XYZ/p portable \xc3\xa4\r\n", "COM4", "80", "500", "Line Graph",
         nullptr, true},
        {"callsign not UTF-8", " 0 \r\n 0 \r\n 0 \r\n 0 \r\nG\xe9RARD\r\n", "COM1", "10", "100", "Area Graph", nullptr,
         true},
        {"fewer than five lines", " 2 \r\n 1 \r\n", "COM3", "20", "100", "Area Graph", "N0CALL", false},
        {"empty file", "", "COM1", "10", "100", "Area Graph", "N0CALL", false},
        {"blank index lines", "\r\n  \r\n\r\n 2 \r\nK1ABC\r\n", "COM1", "10", "100", "Waterfall", "K1ABC", false},
        {"not numbers", "two\r\n1x\r\n--\r\nabc\r\nK1ABC\r\n", "COM1", "10", "100", "Area Graph", "K1ABC", false},
        {"outside the lists", " 4 \r\n-1 \r\n 99999 \r\n 3 \r\nK1ABC\r\n", "COM1", "10", "100", "Area Graph", "K1ABC",
         false},
        {"port -1", "-1 \r\n 1 \r\n 1 \r\n 1 \r\nK1ABC\r\n", "COM1", "20", "250", "Line Graph", "K1ABC", false},
        {"binary junk", QByteArray(junk, sizeof junk - 1), "COM1", "10", "100", "Area Graph", nullptr, false},
        {"CR-only line ends", " 1 \r 2 \r 3 \r 1 \rK1ABC\r", "COM2", "40", "1000", "Line Graph", "K1ABC", false},
        {"LF-only line ends", " 1 \n 2 \n 3 \n 1 \nK1ABC\n", "COM2", "40", "1000", "Line Graph", "K1ABC", false},
        {"no last line end", " 1 \r\n 2 \r\n 3 \r\n 1 \r\nK1ABC", "COM2", "40", "1000", "Line Graph", "K1ABC", false},
        {"a very large file", huge, "COM1", "10", "100", "Area Graph", "N0CALL", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        writeIni(c.bytes);
        auto form = loaded();
        expectSelections(*form, c.port, c.width, c.step, c.style);
        if (c.call) {
            EXPECT_EQ(form->ownerCall, QString::fromLatin1(c.call));
        }
        EXPECT_EQ(comm.commPort(), form->comport->currentIndex() + 1);
        EXPECT_DOUBLE_EQ(form->spanUnits, 100 * form->dis->currentText().toDouble());
        form->beenden_Click();
        const QByteArray written = readIni();
        EXPECT_TRUE(kWellFormed.match(QString::fromLatin1(written)).hasMatch()) << written.left(80).toStdString();
        EXPECT_TRUE(written.startsWith(QByteArray(" ") + QByteArray::number(form->comport->currentIndex())));
        if (c.keptAsIs) {
            EXPECT_EQ(written, c.bytes);
        }
    }
}

TEST_F(Startup, QuitWritesTheFileToTheByteAndSendsCommand4OnlyOnAnOpenLink) {
    for (const bool linkOpen : {false, true}) {
        SCOPED_TRACE(linkOpen);
        auto form = loaded();
        form->comport->setCurrentIndex(1);
        form->dis->setCurrentIndex(2);
        form->step->setCurrentIndex(1);
        form->style->setCurrentIndex(2);
        comm.setPortOpen(linkOpen);
        comm.frames.clear();
        comm.events.clear();
        form->beenden_Click();
        EXPECT_EQ(readIni(), QByteArray(" 1 \r\n 2 \r\n 1 \r\n 2 \r\nN0CALL\r\n"));  // 28 bytes
        EXPECT_EQ(ends, linkOpen ? 2 : 1);
        EXPECT_TRUE(form->ended());
        EXPECT_EQ(comm.frames, linkOpen ? QList<QByteArray>{kCommand4} : QList<QByteArray>{});
        EXPECT_FALSE(comm.portOpen());
        if (linkOpen) {
            EXPECT_EQ(comm.events.last(), QStringLiteral("close"));
        }
        QFile::remove(dir.filePath(QStringLiteral("qv-7m.ini")));
    }
}

TEST_F(Startup, QuitThatCannotWriteSaysWhichFileAndStillEnds) {
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("qv-7m.ini")));  // a folder in the file's place
    auto form = loaded();
    EXPECT_EQ(form->ownerCall, QStringLiteral("N0CALL")) << "a folder is no settings file";
    form->beenden_Click();
    ASSERT_EQ(messages.shown.size(), 1);
    EXPECT_TRUE(messages.shown[0].contains(QStringLiteral("qv-7m.ini"))) << messages.shown[0].toStdString();
    EXPECT_EQ(ends, 1);
}

TEST_F(Startup, ClosingTheWindowWritesNothingSendsNothingAndEnds) {
    auto form = loaded();
    comm.setPortOpen(true);
    comm.frames.clear();
    form->show();
    form->close();
    EXPECT_EQ(ends, 1);
    EXPECT_TRUE(form->ended());
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("qv-7m.ini"))));
    form->guarded([&] { form->setup_Click(); });  // no handler runs after the end
    EXPECT_TRUE(comm.frames.isEmpty());
}

TEST_F(Startup, SetupReloadsWithoutDuplicatesAndShowsTheCallsignNowInTheFile) {
    writeIni(" 1 \r\n 2 \r\n 1 \r\n 1 \r\nK1ABC\r\n");
    auto form = loaded();
    form->step->setCurrentIndex(3);  // a choice made since start-up
    // The file is edited while the program runs: nothing changes until "Setup".
    writeIni(" 3 \r\n 3 \r\n 3 \r\n 2 \r\nW1XYZ\r\n");
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Yaesu FT-1000MP Bandscope QV-7M (K1ABC)"));
    // The other controls as "Setup" leaves them are shown end to end, after a scan.
    comm.setPortOpen(true);
    comm.frames.clear();
    form->stopscan->setChecked(true);
    form->setup_Click();
    EXPECT_FALSE(form->stopscan->isChecked());
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Yaesu FT-1000MP Bandscope QV-7M (W1XYZ)"));
    expectSelections(*form, "COM2", "40", "1000", "Line Graph");
    EXPECT_EQ(form->comport->count(), 4);
    EXPECT_EQ(form->style->count(), 3);
    EXPECT_EQ(form->sweep.stopRequested, -1);
    EXPECT_EQ(comm.frames, QList<QByteArray>{kCommand4});
    EXPECT_FALSE(comm.portOpen());
    EXPECT_EQ(comm.commPort(), 2) << "configured again for the port now selected";
}

// The texts of the probe's failures, and the pulled cable behind the error
// boundary, are shown end to end by the fault suite.
TEST_F(Startup, APortThatFailsItsTestGetsNoByteAndAZeroReadingIsAnAnswer) {
    comm.badPorts.insert(3);
    writeIni(" 2 \r\n 0 \r\n 0 \r\n 0 \r\nK1ABC\r\n");
    auto form = loaded();
    ASSERT_EQ(messages.shown.size(), 1);
    EXPECT_EQ(messages.shown[0], QStringLiteral("Cannot connect through COM3\rPort already in use or NOT avaible"));
    EXPECT_FALSE(form->starten->isEnabled());
    EXPECT_TRUE(comm.frames.isEmpty()) << "no byte sent to a port that failed its test";
    EXPECT_EQ(comm.commPort(), 3);

    comm.meterAt = [](int32_t) { return 0; };
    form->comport->setCurrentIndex(0);
    form->guarded([&] { form->comport_Click(); });
    EXPECT_EQ(messages.shown.size(), 1);
    EXPECT_TRUE(form->starten->isEnabled());
    EXPECT_FALSE(comm.portOpen());
    EXPECT_EQ(form->link.meterValue, 0);
}

TEST_F(Window, EveryControlAsLaidOut) {
    EXPECT_EQ(form.size(), QSize(px(8205), px(5010)));
    EXPECT_EQ(form.minimumSize(), form.maximumSize()) << "the client area is fixed";
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Yaesu FT-1000MP Bandscope"));
    EXPECT_EQ(form.palette().color(QPalette::Window), ole(0x00C0C0C0));
    EXPECT_FALSE(form.windowIcon().isNull());
    EXPECT_EQ(form.windowIcon().pixmap(32, 32).size(), QSize(32, 32));

    for (const Expected& e : kLayout) {
        SCOPED_TRACE(e.name);
        auto* w = form.findChild<QWidget*>(QString::fromLatin1(e.name));
        ASSERT_NE(w, nullptr);
        EXPECT_STREQ(w->metaObject()->className(), e.kind);
        ASSERT_NE(w->parentWidget(), nullptr);
        EXPECT_EQ(w->parentWidget()->objectName(), QString::fromLatin1(e.container));
        EXPECT_EQ(w->geometry(), QRect(px(e.left), px(e.top), px(e.width), px(e.height)));
        if (e.text) {
            EXPECT_EQ(textOf(w), QString::fromLatin1(e.text));
        }
        if (e.font) {
            EXPECT_EQ(w->font().families().value(0), QString::fromLatin1(e.font));
            EXPECT_DOUBLE_EQ(w->font().pointSizeF(), e.points);
            EXPECT_EQ(w->font().bold(), e.bold);
            // Where the named font is missing, its Liberation stand-in is drawn.
            const QString drawn = QFontInfo(w->font()).family();
            EXPECT_TRUE(drawn == QString::fromLatin1(e.font) || drawn.startsWith(QStringLiteral("Liberation")))
                << drawn.toStdString();
        }
        if (e.align) {
            const auto want = e.align == 'L' ? Qt::AlignLeft : e.align == 'C' ? Qt::AlignHCenter : Qt::AlignRight;
            EXPECT_TRUE(qobject_cast<QLabel*>(w)->alignment() & want);
        }
        EXPECT_TRUE(w->isVisibleTo(&form) || QString::fromLatin1(e.name) == QStringLiteral("smeter"));
    }
}

TEST_F(Window, Colours) {
    EXPECT_EQ(form.info->palette().color(QPalette::WindowText), ole(0x0000FF00));
    EXPECT_EQ(form.info->palette().color(QPalette::Window), ole(0));
    EXPECT_TRUE(form.info->autoFillBackground());
    EXPECT_EQ(form.mitte->palette().color(QPalette::WindowText), ole(0));
    EXPECT_EQ(form.Picture3->palette().color(QPalette::Window), ole(0x00C0C0C0));
    EXPECT_EQ(form.smeter->palette().color(QPalette::Window), ole(0x000000FF));
    EXPECT_EQ(form.Picture1->surface().BackColor(), 0u);
    EXPECT_EQ(form.Picture1->surface().ForeColor(), 0x00E0E0E0u);
    EXPECT_EQ(form.Picture2->surface().BackColor(), 0u);
    EXPECT_DOUBLE_EQ(form.Picture1->surface().Width(), 8000);
    EXPECT_DOUBLE_EQ(form.Picture1->surface().Height(), 2550);
    EXPECT_DOUBLE_EQ(form.Picture2->surface().Width(), 8000);
    EXPECT_DOUBLE_EQ(form.Picture2->surface().Height(), 150);
}

TEST_F(Window, PicturesSmeterListsAndEnabledStatesBeforeAndAfterLoad) {
    EXPECT_EQ(form.Picture3->pixmap().size(), QSize(168, 19));
    EXPECT_EQ(form.Image1->pixmap().size(), QSize(200, 64));
    form.setSmeterWidth(0);
    EXPECT_FALSE(form.smeter->isVisibleTo(form.Picture3));
    form.setSmeterWidth(10 * 255);
    EXPECT_TRUE(form.smeter->isVisibleTo(form.Picture3));
    EXPECT_EQ(form.smeter->width(), form.Picture3->width()) << "full reading spans the scale";
    for (QComboBox* c : {form.style, form.comport, form.dis, form.step}) {
        EXPECT_FALSE(c->isEditable()) << c->objectName().toStdString();
        EXPECT_EQ(c->count(), 0) << "empty until loaded";
    }
    for (QWidget* w : std::initializer_list<QWidget*>{form.starten, form.beenden, form.setup, form.stopscan,
                                                      form.comport, form.style})
        EXPECT_TRUE(w->isEnabled()) << w->objectName().toStdString();
    EXPECT_EQ(form.stopscan->checkState(), Qt::Unchecked);
    form.load();
    EXPECT_FALSE(form.setup->isEnabled());
    EXPECT_FALSE(form.stopscan->isEnabled());
    EXPECT_TRUE(form.beenden->isEnabled());
}

TEST_F(Window, TabOrder) {
    // beenden 0, starten 1, Picture1 2, Picture2 4, Picture3 8, stopscan 10,
    // setup 14, step 15, dis 16, comport 17, style 23; labels, the frame and
    // the image never take the focus.
    const QStringList expected{"beenden", "starten", "Picture1", "Picture2", "Picture3", "stopscan",
                               "setup",   "step",    "dis",      "comport",  "style"};
    QStringList chain;
    QWidget* w = form.beenden;
    for (int i = 0; i < 200 && chain.size() < expected.size(); ++i) {
        if (w->focusPolicy() & Qt::TabFocus) chain << w->objectName();
        w = w->nextInFocusChain();
    }
    EXPECT_EQ(chain, expected);
    for (QWidget* l : std::initializer_list<QWidget*>{form.Frame1, form.Label1, form.Label3, form.Label4, form.info,
                                                      form.mitte, form.Image1})
        EXPECT_EQ(l->focusPolicy(), Qt::NoFocus) << l->objectName().toStdString();
}
