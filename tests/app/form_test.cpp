// The window as laid out, start-up, the settings file, "Setup", "Quit",
// closing the window and the port probe, on the real form with a scripted
// serial control.

#include "app/form1.h"
#include "support/scripted_radio.h"

#include <QDir>
#include <QFile>
#include <QFontInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

using namespace qv7m;

namespace {

const QByteArray kCommand4("\x00\x00\x00\x00\x85", 5);

class Startup : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid() && QDir::setCurrent(dir.path())); }
    void TearDown() override { QDir::setCurrent(QDir::tempPath()); }

    void writeIni(const QByteArray& bytes) {
        QFile f(ini);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    QByteArray readIni() {
        QFile f(ini);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(none)");
    }
    std::unique_ptr<Form1> loaded() {
        auto form = std::make_unique<Form1>(comm, messages);
        form->endProgram = [this] { ++ends; };
        form->load();
        return form;
    }
    static QStringList selections(Form1& f) {
        return {f.comport->currentText(), f.dis->currentText(), f.step->currentText(), f.style->currentText()};
    }

    QTemporaryDir dir;
    const QString ini = dir.filePath(QStringLiteral("qv-7m.ini"));
    ScriptedRadio comm;
    RecordingPresenter messages;
    int ends = 0;
};

// Twips; nullptr or 0: not checked.
struct Expected {
    const char *name, *kind, *container, *text;
    int left, top, width, height;
    const char* font;
    double points;
    bool bold;
    char align;  // 'L', 'C' or 'R'
};
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
QColor ole(uint32_t c) { return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF); }

}  // namespace

TEST_F(Startup, EveryControlAsLaidOut) {
    Form1 form(comm, messages);
    EXPECT_EQ(form.size(), QSize(px(8205), px(5010)));
    EXPECT_EQ(form.minimumSize(), form.maximumSize()) << "the client area is fixed";
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Yaesu FT-1000MP Bandscope"));
    EXPECT_FALSE(form.windowIcon().isNull());
    for (const Expected& e : kLayout) {
        SCOPED_TRACE(e.name);
        auto* w = form.findChild<QWidget*>(QString::fromLatin1(e.name));
        ASSERT_NE(w, nullptr);
        EXPECT_STREQ(w->metaObject()->className(), e.kind);
        EXPECT_EQ(w->parentWidget()->objectName(), QString::fromLatin1(e.container));
        EXPECT_EQ(w->geometry(), QRect(px(e.left), px(e.top), px(e.width), px(e.height)));
        EXPECT_TRUE(w->isEnabled());
        EXPECT_TRUE(w->isVisibleTo(&form) || w == form.smeter);
        const auto* label = qobject_cast<QLabel*>(w);
        const auto* button = qobject_cast<QAbstractButton*>(w);
        const auto* group = qobject_cast<QGroupBox*>(w);
        const QString text = label ? label->text() : button ? button->text() : group ? group->title() : QString();
        EXPECT_TRUE(!e.text || text == QString::fromLatin1(e.text)) << text.toStdString();
        if (e.font) {
            EXPECT_EQ(w->font().families().value(0), QString::fromLatin1(e.font));
            EXPECT_DOUBLE_EQ(w->font().pointSizeF(), e.points);
            EXPECT_EQ(w->font().bold(), e.bold);
            // Where the named font is missing, its Liberation stand-in is drawn.
            const QString drawn = QFontInfo(w->font()).family();
            EXPECT_TRUE(drawn == QString::fromLatin1(e.font) || drawn.startsWith(QStringLiteral("Liberation")))
                << drawn.toStdString();
        }
        const auto align = e.align == 'L' ? Qt::AlignLeft : e.align == 'C' ? Qt::AlignHCenter : Qt::AlignRight;
        EXPECT_TRUE(!e.align || label->alignment() & align);
    }
    EXPECT_EQ(form.palette().color(QPalette::Window), ole(0xC0C0C0));
    EXPECT_EQ(form.info->palette().color(QPalette::WindowText), ole(0x00FF00));
    EXPECT_EQ(form.info->palette().color(QPalette::Window), ole(0));
    EXPECT_TRUE(form.info->autoFillBackground());
    EXPECT_EQ(form.Picture3->palette().color(QPalette::Window), ole(0xC0C0C0));
    EXPECT_EQ(form.smeter->palette().color(QPalette::Window), ole(0x0000FF));
    EXPECT_EQ(form.Picture1->surface().BackColor(), 0u);
    EXPECT_EQ(form.Picture1->surface().ForeColor(), 0xE0E0E0u);
    EXPECT_EQ(form.Picture2->surface().BackColor(), 0u);
    EXPECT_EQ(form.Picture3->pixmap().size(), QSize(168, 19));
    EXPECT_EQ(form.Image1->pixmap().size(), QSize(200, 64));
    form.setSmeterWidth(10 * 255);
    EXPECT_EQ(form.smeter->width(), form.Picture3->width()) << "a full reading spans the scale";
    for (QComboBox* c : {form.style, form.comport, form.dis, form.step}) EXPECT_FALSE(c->isEditable());

    // The whole tab cycle: labels, the frame and the image never take the focus.
    QStringList chain;
    QWidget* w = form.beenden;
    do {
        if (w->focusPolicy() & Qt::TabFocus) chain << w->objectName();
    } while ((w = w->nextInFocusChain()) != form.beenden && chain.size() < 50);
    EXPECT_EQ(chain, QStringList({"beenden", "starten", "Picture1", "Picture2", "Picture3", "stopscan", "setup",
                                  "step", "dis", "comport", "style"}));
}

// Each file is loaded, with the line configured before the port is probed,
// then "Quit" writes a well-formed file for what was chosen; a sound file
// comes back byte for byte.
TEST_F(Startup, FilesAreRestoredOrFallBackAndQuitWritesAWellFormedFile) {
    static const char junk[] = "\x00\xff\x01\r\n\x80\x81\r\n\x1b[2J\r\n\xfe\r\n\x00\x01\x02\r\n";  // holds NULs
    const QRegularExpression wellFormed(QStringLiteral("^(( \\d|-\\d)\\d* \\r\\n){4}[^\\r\\n]*\\r\\n$"));
    const struct {
        const char* why;
        QByteArray bytes;  // null: no file
        QStringList chosen;
        const char* call;  // nullptr: not checked
        bool keptAsIs;
    } cases[] = {
        {"no file", {}, {"COM1", "10", "100", "Area Graph"}, "N0CALL", false},
        {"saved", " 2 \r\n 1 \r\n 3 \r\n 0 \r\nDL1ABC\r\n", {"COM3", "20", "1000", "Area Graph"}, "DL1ABC", true},
        {"round trip", " 3 \r\n 3 \r\n 2 \r\n 1 \r\nOE3XYZ/p portable \xc3\xa4\r\n",
         {"COM4", "80", "500", "Line Graph"}, nullptr, true},
        {"call not UTF-8", " 0 \r\n 0 \r\n 0 \r\n 0 \r\nG\xe9RARD\r\n", {"COM1", "10", "100", "Area Graph"}, 0, true},
        {"two lines", " 2 \r\n 1 \r\n", {"COM3", "20", "100", "Area Graph"}, "N0CALL", false},
        {"empty", "", {"COM1", "10", "100", "Area Graph"}, "N0CALL", false},
        {"blank indices", "\r\n  \r\n\r\n 2 \r\nK1ABC\r\n", {"COM1", "10", "100", "Waterfall"}, "K1ABC", false},
        {"not numbers", "two\r\n1x\r\n--\r\nabc\r\nK1ABC\r\n", {"COM1", "10", "100", "Area Graph"}, "K1ABC", false},
        {"off the lists", " 4 \r\n-1 \r\n 99999 \r\n 3 \r\nK1ABC\r\n", {"COM1", "10", "100", "Area Graph"}, "K1ABC",
         false},
        {"port -1", "-1 \r\n 1 \r\n 1 \r\n 1 \r\nK1ABC\r\n", {"COM1", "20", "250", "Line Graph"}, "K1ABC", false},
        {"binary junk", QByteArray(junk, sizeof junk - 1), {"COM1", "10", "100", "Area Graph"}, nullptr, false},
        {"CR only", " 1 \r 2 \r 3 \r 1 \rK1ABC\r", {"COM2", "40", "1000", "Line Graph"}, "K1ABC", false},
        {"LF only", " 1 \n 2 \n 3 \n 1 \nK1ABC\n", {"COM2", "40", "1000", "Line Graph"}, "K1ABC", false},
        {"no last line end", " 1 \r\n 2 \r\n 3 \r\n 1 \r\nK1ABC", {"COM2", "40", "1000", "Line Graph"}, "K1ABC", false},
        {"30 MB", QByteArray(30 << 20, 'x'), {"COM1", "10", "100", "Area Graph"}, "N0CALL", false},
    };
    comm.meterAt = [](int32_t) { return 0; };  // a zero reading is an answer
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        c.bytes.isNull() ? void(QFile::remove(ini)) : writeIni(c.bytes);
        comm.events.clear();
        auto form = loaded();
        EXPECT_EQ(comm.events.value(0), QStringLiteral("Settings=4800,n,8,2"));
        EXPECT_TRUE(form->starten->isEnabled());
        EXPECT_EQ(selections(*form), c.chosen);
        const QString title = QStringLiteral("Yaesu FT-1000MP Bandscope QV-7M (%1)").arg(c.call);
        EXPECT_TRUE(!c.call || form->windowTitle() == title) << form->windowTitle().toStdString();
        // Restoring a selection runs its list's handler.
        EXPECT_EQ(comm.commPort(), form->comport->currentIndex() + 1);
        EXPECT_DOUBLE_EQ(form->spanUnits, 100 * form->dis->currentText().toDouble());
        form->beenden_Click();
        const QByteArray written = readIni();
        EXPECT_TRUE(wellFormed.match(QString::fromLatin1(written)).hasMatch()) << written.left(80).toStdString();
        EXPECT_TRUE(written.startsWith(" " + QByteArray::number(form->comport->currentIndex())));
        EXPECT_TRUE(!c.keptAsIs || written == c.bytes) << written.left(80).toStdString();
    }
}

// During a scan, "Quit" sends command 4, closes the link and writes the file;
// closing the window sends and writes nothing. Either ends the program and the
// scan with it, and no handler runs after that.
TEST_F(Startup, QuitOrCloseDuringAScanEndTheProgram) {
    for (const bool quit : {true, false}) {
        SCOPED_TRACE(quit ? "Quit" : "close");
        QFile::remove(ini);
        ends = 0;
        auto form = loaded();
        form->show();
        form->comport->setCurrentIndex(1);
        form->dis->setCurrentIndex(2);
        form->step->setCurrentIndex(1);
        form->style->setCurrentIndex(2);
        QTimer tick;
        QObject::connect(&tick, &QTimer::timeout, [&] {
            if (form->sweep.fullSteps < 10 || form->ended()) return;
            comm.frames.clear();
            quit ? form->beenden->click() : void(form->close());
        });
        tick.start(0);
        form->starten->click();
        form->guarded([&] { form->setup_Click(); });
        EXPECT_EQ(ends, 1);
        EXPECT_TRUE(form->ended());
        EXPECT_EQ(comm.frames, quit ? QList<QByteArray>{kCommand4} : QList<QByteArray>{});
        EXPECT_TRUE(!quit || !comm.portOpen());
        EXPECT_EQ(readIni(), quit ? QByteArray(" 1 \r\n 2 \r\n 1 \r\n 2 \r\nN0CALL\r\n") : QByteArray("(none)"));
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

TEST_F(Startup, SetupKeepsTheSelectionsAndShowsTheCallsignNowInTheFile) {
    writeIni(" 1 \r\n 2 \r\n 1 \r\n 1 \r\nK1ABC\r\n");
    auto form = loaded();
    form->step->setCurrentIndex(3);  // a choice made since start-up
    writeIni(" 3 \r\n 3 \r\n 3 \r\n 2 \r\nW1XYZ\r\n");
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Yaesu FT-1000MP Bandscope QV-7M (K1ABC)")) << "not until Setup";
    comm.setPortOpen(true);
    comm.frames.clear();
    form->stopscan->setChecked(true);
    form->setup_Click();
    EXPECT_FALSE(form->stopscan->isChecked());
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Yaesu FT-1000MP Bandscope QV-7M (W1XYZ)"));
    EXPECT_EQ(selections(*form), QStringList({"COM2", "40", "1000", "Line Graph"}));
    for (QComboBox* c : {form->comport, form->step, form->dis}) EXPECT_EQ(c->count(), 4);
    EXPECT_EQ(form->style->count(), 3);
    EXPECT_EQ(comm.frames, QList<QByteArray>{kCommand4});
    EXPECT_FALSE(comm.portOpen());
    EXPECT_EQ(comm.commPort(), 2) << "configured again for the port now selected";
}
