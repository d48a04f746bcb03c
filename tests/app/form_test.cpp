// SPDX-License-Identifier: GPL-3.0-or-later
// The window as laid out, start-up, the settings file, "Setup", "Quit" and
// closing the window, on the real form with the simulated radio on a virtual clock.

#include "files/preferences.h"
#include "radio/aligned_link.h"
#include "support/virtual_radio.h"
#include "support/window.h"

#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QDir>
#include <QFontInfo>
#include <QMouseEvent>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QWindow>

#include <unistd.h>

using namespace qv7m;
using namespace qv7m::test;

namespace {

const QByteArray kScanEnd = QByteArray::fromHex("0000000085");

class Startup : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(QDir::setCurrent(dir.path()));
    }
    void TearDown() override { QDir::setCurrent(QDir::tempPath()); }
    void writeIni(const QByteArray& bytes) { ASSERT_TRUE(writeFile(ini, bytes)); }
    QByteArray readIni() { return fileBytes(ini); }
    // The window as the program starts it: loaded, then shown.
    std::unique_ptr<MainWindow> loaded() {
        auto form = std::make_unique<MainWindow>(comm, messages);
        form->endProgram = [this] { ++ends; };
        form->load();
        form->show();
        return form;
    }
    static QComboBox* list(const MainWindow& f, const char* name) { return child<QComboBox>(f, name); }
    static QStringList selections(const MainWindow& f) {
        return {list(f, "portList")->currentText(), list(f, "widthList")->currentText(),
                list(f, "stepList")->currentText(), list(f, "styleList")->currentText()};
    }
    // Once `steps` steps are drawn, does `act`, which ends the scan or the program.
    static bool scanThen(MainWindow& f, long long steps, const std::function<void()>& act) {
        return scanUntil(f, [&] {
            if (f.scan().stepsDrawn() < steps) return false;
            act();
            return true;
        });
    }
    // The frames and port changes the radio saw last.
    std::vector<QByteArray> lastSent(size_t n) const {
        const size_t from = radio.sent.size() > n ? radio.sent.size() - n : 0;
        return std::vector<QByteArray>(radio.sent.begin() + long(from), radio.sent.end());
    }
    // The caption as the window system is told it.
    static QString caption(const MainWindow& f) { return f.windowHandle()->title(); }
    static QString caption(const char* call) {
        return QStringLiteral("Yaesu FT-1000MP Bandscope QV-7M (%1)").arg(call);
    }

    QTemporaryDir dir;
    const QString ini = dir.filePath(QStringLiteral("qv-7m.ini"));
    AlignedLink comm{std::make_unique<VirtualRadio>()};
    VirtualRadio& radio = static_cast<VirtualRadio&>(comm.line());
    RecordingPresenter messages;
    int ends = 0;
};

// Where each control stands, in twips; nullptr or 0: not checked.
struct Expected {
    const char* name;
    const char* container;
    const char* text;
    QRect twips;
    const char* font;
    double points;
    bool bold;
    char align;
};
const Expected kLayout[] = {
    {"settingsFrame", "MainWindow", "", {120, 0, 8000, 550}, "MS Sans Serif", 8.25, false, 0},
    {"styleList", "settingsFrame", nullptr, {2040, 160, 1215, 315}, "MS Sans Serif", 8.25, false, 0},
    {"portList", "settingsFrame", nullptr, {3840, 160, 855, 315}, "MS Sans Serif", 8.25, false, 0},
    {"widthList", "settingsFrame", nullptr, {5400, 165, 615, 315}, "MS Sans Serif", 8.25, false, 0},
    {"stepList", "settingsFrame", nullptr, {6885, 160, 735, 315}, "MS Sans Serif", 8.25, false, 0},
    {"setupButton", "settingsFrame", "Setup", {120, 180, 1335, 300}, "MS Sans Serif", 8.25, false, 0},
    {"styleLabel", "settingsFrame", "Style:", {1620, 240, 375, 255}, "MS Sans Serif", 8.25, false, 'L'},
    {"stepUnitLabel", "settingsFrame", "Hz", {7665, 240, 255, 255}, "MS Sans Serif", 8.25, false, 'L'},
    {"stepLabel", "settingsFrame", "Step:", {6480, 240, 375, 255}, "MS Sans Serif", 8.25, false, 'L'},
    {"widthUnitLabel", "settingsFrame", "kHz", {6045, 240, 615, 255}, "MS Sans Serif", 8.25, false, 'L'},
    {"widthLabel", "settingsFrame", "Width:", {4920, 240, 615, 255}, "MS Sans Serif", 8.25, false, 'L'},
    {"portLabel", "settingsFrame", "Port:", {3480, 240, 495, 255}, "MS Sans Serif", 8.25, false, 'L'},
    {"holdBox", "MainWindow", "Hold scan", {1800, 720, 1575, 540}, "MS Sans Serif", 8.25, false, 0},
    {"meterScale", "MainWindow", nullptr, {800, 1360, 2550, 375}, "MS Sans Serif", 8.25, false, 0},
    {"meterBar", "meterScale", nullptr, {0, 190, 15, 90}, nullptr, 0, false, 0},
    {"scaleStrip", "MainWindow", nullptr, {120, 4680, 8000, 150}, nullptr, 0, false, 0},
    {"plot", "MainWindow", nullptr, {120, 2160, 8000, 2550}, "MS Sans Serif", 8.25, false, 0},
    {"startButton", "MainWindow", "Start scan", {120, 720, 1575, 540}, "MS Sans Serif", 8.25, false, 0},
    {"quitButton", "MainWindow", "Quit", {6720, 1390, 1395, 300}, "MS Sans Serif", 8.25, false, 0},
    {"modelLabel", "MainWindow", "FT-1000MP", {6720, 1080, 1395, 255}, "MS Sans Serif", 9.75, false, 'C'},
    {"makerLabel", "MainWindow", "YAESU", {6720, 795, 1395, 255}, "Courier New", 15.75, true, 'C'},
    {"frontPanel", "MainWindow", nullptr, {3480, 720, 3135, 975}, nullptr, 0, false, 0},
    {"meterLabel", "MainWindow", "S-Meter", {120, 1455, 1455, 195}, "MS Sans Serif", 8.25, false, 'L'},
    {"tuningLabel", "MainWindow", "", {120, 1800, 7995, 375}, "Arial", 15.75, true, 'C'},
    {"highEdgeLabel", "MainWindow", "Hz", {6600, 4810, 1485, 255}, "MS Sans Serif", 8.25, false, 'R'},
    {"lowEdgeLabel", "MainWindow", "Hz", {120, 4810, 1575, 255}, "MS Sans Serif", 8.25, false, 'L'},
    {"centreLabel", "MainWindow", "Hz", {3120, 4810, 1995, 255}, "MS Sans Serif", 8.25, true, 'C'},
};

int px(int twips) { return qRound(twips / 15.0); }
QColor ole(uint32_t c) { return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF); }
QColor colour(const MainWindow& f, const char* name, QPalette::ColorRole role) {
    return child(f, name)->palette().color(role);
}

}  // namespace

TEST_F(Startup, EveryControlAsLaidOut) {
    MainWindow form(comm, messages);
    EXPECT_EQ(form.size(), QSize(px(8205), px(5010))) << "a fixed client area";
    EXPECT_EQ(form.minimumSize(), form.maximumSize()) << "a fixed client area";
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Yaesu FT-1000MP Bandscope"));
    EXPECT_FALSE(form.windowIcon().isNull());
    for (const Expected& e : kLayout) {
        SCOPED_TRACE(e.name);
        auto* w = child(form, e.name);
        EXPECT_EQ(w->parentWidget()->objectName(), QString::fromLatin1(e.container));
        EXPECT_EQ(w->geometry(), QRect(px(e.twips.x()), px(e.twips.y()), px(e.twips.width()), px(e.twips.height())));
        EXPECT_TRUE(w->isEnabled());
        EXPECT_TRUE(w->isVisibleTo(&form));
        const auto* label = qobject_cast<QLabel*>(w);
        const QString text = w->property(qobject_cast<QGroupBox*>(w) ? "title" : "text").toString();
        if (e.text) {
            EXPECT_EQ(text, QString::fromLatin1(e.text)) << text.toStdString();
        }
        if (e.font) {
            EXPECT_EQ(w->font().families().value(0), QString::fromLatin1(e.font));
            EXPECT_EQ(w->font().pointSizeF(), e.points);
            EXPECT_EQ(w->font().bold(), e.bold);
            const QString drawn = QFontInfo(w->font()).family();  // where the named font is missing, its stand-in
            EXPECT_TRUE(drawn == QString::fromLatin1(e.font) || drawn.startsWith(QStringLiteral("Liberation")))
                << drawn.toStdString();
        }
        const auto align = e.align == 'L' ? Qt::AlignLeft : e.align == 'C' ? Qt::AlignHCenter : Qt::AlignRight;
        if (e.align) {
            EXPECT_TRUE(label->alignment() & align);
        }
    }
    EXPECT_EQ(form.palette().color(QPalette::Window), ole(0xC0C0C0));
    EXPECT_EQ(colour(form, "meterScale", QPalette::Window), ole(0xC0C0C0));
    EXPECT_EQ(colour(form, "tuningLabel", QPalette::WindowText), ole(0x00FF00));
    EXPECT_EQ(colour(form, "tuningLabel", QPalette::Window), ole(0));
    EXPECT_TRUE(child(form, "tuningLabel")->autoFillBackground());
    EXPECT_EQ(colour(form, "meterBar", QPalette::Window), ole(0x0000FF));
    const ImageSurface& plot = child<PictureBox>(form, "plot")->surface();
    EXPECT_EQ(plot.backColor(), 0u);
    EXPECT_EQ(plot.foreColor(), 0xE0E0E0u);
    EXPECT_EQ(child<PictureBox>(form, "scaleStrip")->surface().backColor(), 0u);
    EXPECT_EQ(child<QLabel>(form, "meterScale")->pixmap().size(), QSize(168, 19));
    EXPECT_EQ(child<QLabel>(form, "frontPanel")->pixmap().size(), QSize(200, 64));
    form.setSmeterWidth(10 * 255);
    EXPECT_EQ(child(form, "meterBar")->width(), child(form, "meterScale")->width()) << "a full reading spans the scale";
    form.setSmeterWidth(0);
    EXPECT_FALSE(child(form, "meterBar")->isVisibleTo(&form)) << "no reading, no bar";
    for (const char* l : {"styleList", "portList", "widthList", "stepList"}) EXPECT_FALSE(list(form, l)->isEditable());

    // The whole tab cycle: labels, the frame and the image never take the focus.
    QStringList chain;
    QWidget* first = child(form, "quitButton");
    QWidget* w = first;
    do {
        if (w->focusPolicy() & Qt::TabFocus) chain << w->objectName();
    } while ((w = w->nextInFocusChain()) != first && chain.size() < 50);
    EXPECT_EQ(chain, QStringList({"quitButton", "startButton", "plot", "scaleStrip", "meterScale", "holdBox",
                                  "setupButton", "stepList", "widthList", "portList", "styleList"}));
}

// Each file is loaded and the port probed, then "Quit" writes a well-formed
// file for what was chosen; a sound file comes back byte for byte.
TEST_F(Startup, FilesAreRestoredOrFallBackAndQuitWritesAWellFormedFile) {
    const QRegularExpression wellFormed(QStringLiteral("^(( \\d|-\\d)\\d* \\r\\n){4}[^\\r\\n]*\\r\\n$"));
    // The file (null: none), the lists' choices, the callsign shown, whether "Quit" writes it back as it was.
    const struct {
        const char* why;
        QByteArray bytes;
        QStringList chosen;
        const char* call;
        bool keptAsIs;
    } cases[] = {
        {"no file", {}, {"COM1", "10", "100", "Area Graph"}, "N0CALL", false},
        {"saved", " 2 \r\n 1 \r\n 3 \r\n 0 \r\nDL1ABC\r\n", {"COM3", "20", "1000", "Area Graph"}, "DL1ABC", true},
        {"UTF-8, [*]",
         " 3 \r\n 3 \r\n 2 \r\n 1 \r\nOE3XYZ/p [*] & co \xc3\xa4\r\n",
         {"COM4", "80", "500", "Line Graph"},
         "OE3XYZ/p [*] & co \u00e4",
         true},
        {"call not UTF-8",
         " 0 \r\n 0 \r\n 0 \r\n 0 \r\nG\xe9RARD\r\n",
         {"COM1", "10", "100", "Area Graph"},
         "G\u00e9RARD",
         true},
        {"off the lists",
         " 4 \r\n-1 \r\n 99999 \r\n 3 \r\nK1ABC\r\n",
         {"COM1", "10", "100", "Area Graph"},
         "K1ABC",
         false},
        {"CR only, no last end", " 1 \r 2 \r 3 \r 1 \rK1ABC", {"COM2", "40", "1000", "Line Graph"}, "K1ABC", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        if (c.bytes.isNull())
            QFile::remove(ini);
        else
            writeIni(c.bytes);
        auto form = loaded();
        EXPECT_TRUE(child(*form, "startButton")->isEnabled()) << "the restored port probed, and the radio found";
        EXPECT_EQ(radio.port, list(*form, "portList")->currentIndex() + 1) << "the restored port probed";
        EXPECT_EQ(selections(*form), c.chosen);
        EXPECT_EQ(caption(*form), caption(c.call));
        EXPECT_TRUE(quit(*form));
        const QByteArray written = readIni();
        EXPECT_TRUE(wellFormed.match(QString::fromLatin1(written)).hasMatch()) << written.left(80).toStdString();
        EXPECT_TRUE(written.startsWith(" " + QByteArray::number(list(*form, "portList")->currentIndex())));
        if (c.keptAsIs) {
            EXPECT_EQ(written, c.bytes) << written.left(80).toStdString();
        }
    }
    EXPECT_TRUE(messages.shown.isEmpty());
}

// During a scan, "Quit" sends the scan's end, closes the link and writes the
// file; closing the window sends and writes nothing. Either ends the program
// and the scan with it.
TEST_F(Startup, QuitOrCloseDuringAScanEndTheProgram) {
    for (const bool quit : {true, false}) {
        SCOPED_TRACE(quit ? "Quit" : "close");
        QFile::remove(ini);
        const long before = long(radio.sent.size());
        auto form = loaded();
        // The first control of the tab order: Space at start-up presses "Quit" and opens no list.
        EXPECT_EQ(form->focusWidget(), child(*form, "quitButton"));
        const std::pair<const char*, int> picks[] = {
            {"portList", 1}, {"widthList", 2}, {"stepList", 1}, {"styleList", 2}};
        for (const auto& [l, i] : picks) list(*form, l)->setCurrentIndex(i);
        EXPECT_TRUE(scanThen(*form, 10, [&] {
            if (quit)
                click(*form, "quitButton");
            else
                form->close();
        }));
        click(*form, "setupButton");  // no handler runs any more
        EXPECT_TRUE(form->ended());
        EXPECT_EQ(ends, quit ? 1 : 2);
        form.reset();  // the scan's thread has ended: what it sent is all there is
        if (quit) {
            EXPECT_EQ(lastSent(2), (std::vector<QByteArray>{kScanEnd, "close"}));
        }
        EXPECT_EQ(std::count(radio.sent.begin() + before, radio.sent.end(), kScanEnd), quit ? 1 : 0);
        EXPECT_EQ(readIni(), quit ? QByteArray(" 1 \r\n 2 \r\n 1 \r\n 2 \r\nN0CALL\r\n") : QByteArray("(none)"));
    }
}

// Where the folder takes no new file, the file is written in place; a file
// that cannot be written or read is reported by name and reason, and a
// folder in its place is no settings file.
TEST_F(Startup, QuitWritesInPlaceInAReadOnlyFolderAndTheFilesFailuresAreReported) {
    writeIni(" 0 \r\n 0 \r\n 0 \r\n 0 \r\nK1ABC\r\n");
    auto form = loaded();
    list(*form, "styleList")->setCurrentIndex(2);
    QFile::setPermissions(ini, QFileDevice::Permissions(0x2222));  // write-only for all: also for the user below
    ASSERT_TRUE(QFile::setPermissions(dir.path(), QFileDevice::Permissions(0x5555)));  // r-x for all
    const bool root = geteuid() == 0;  // permissions bind root only through another user
    if (root) {
        ASSERT_EQ(seteuid(65534), 0);
    }
    const bool folderTakesFiles = QFile(dir.filePath(QStringLiteral("new"))).open(QIODevice::WriteOnly);
    EXPECT_TRUE(quit(*form));
    form = loaded();
    if (root) {
        ASSERT_EQ(seteuid(0), 0);
    }
    EXPECT_FALSE(folderTakesFiles);
    QFile::setPermissions(dir.path(), QFileDevice::Permissions(0x7555));
    const QString absolute = QDir::toNativeSeparators(QFileInfo(ini).absoluteFilePath());
    ASSERT_EQ(messages.shown.size(), 1);
    EXPECT_TRUE(messages.shown[0].startsWith("Cannot read the settings file " + absolute + ": "))
        << messages.shown[0].toStdString();
    EXPECT_EQ(caption(*form), caption("N0CALL")) << "the defaults apply";
    QFile::setPermissions(ini, QFileDevice::Permissions(0x6666));
    EXPECT_EQ(readIni(), " 0 \r\n 0 \r\n 0 \r\n 2 \r\nK1ABC\r\n");
    EXPECT_EQ(ends, 1);

    ASSERT_TRUE(QFile::remove(ini));
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("qv-7m.ini")));
    form = loaded();
    EXPECT_EQ(caption(*form), caption("N0CALL")) << "a folder is no settings file";
    EXPECT_TRUE(quit(*form));
    ASSERT_EQ(messages.shown.size(), 2);
    const QString written = messages.shown[1];
    EXPECT_TRUE(written.startsWith("Cannot write the settings file " + absolute + ": ")) << written.toStdString();
    EXPECT_GT(written.size(), absolute.size() + 33) << "the system's reason";
    EXPECT_EQ(ends, 2);
}

TEST_F(Startup, SetupKeepsTheSelectionsAndShowsTheCallsignNowInTheFile) {
    writeIni(" 1 \r\n 2 \r\n 1 \r\n 1 \r\nK1ABC\r\n");
    auto form = loaded();
    list(*form, "stepList")->setCurrentIndex(3);  // a choice made since start-up
    writeIni(" 3 \r\n 3 \r\n 3 \r\n 2 \r\nW1XYZ\r\n");
    EXPECT_EQ(caption(*form), caption("K1ABC")) << "not until Setup";
    EXPECT_TRUE(scanThen(*form, 3, [&] {
        child<QCheckBox>(*form, "holdBox")->setChecked(true);
        click(*form, "setupButton");
    }));
    EXPECT_EQ(caption(*form), caption("W1XYZ"));
    EXPECT_FALSE(child<QCheckBox>(*form, "holdBox")->isChecked());
    EXPECT_EQ(selections(*form), QStringList({"COM2", "40", "1000", "Line Graph"}));
    for (const char* l : {"portList", "stepList", "widthList", "styleList"})
        EXPECT_EQ(list(*form, l)->count(), QLatin1String(l) == "styleList" ? 3 : 4);
    EXPECT_EQ(lastSent(2), (std::vector<QByteArray>{kScanEnd, "close"}));
}

// A left click on the plot during a scan tunes VFO-A only when the user has turned click to tune on;
// the choice is kept in the program's own settings store, never in the settings file.
TEST_F(Startup, ALeftClickTunesVfoAOnlyWithClickToTuneOn) {
    for (const bool on : {false, true}) {
        SCOPED_TRACE(on ? "on" : "off");
        preferences::writeFlag(preferences::kClickToTune, on);
        const long before = long(radio.sent.size());
        auto form = loaded();
        long long drawn = 0;
        EXPECT_TRUE(scanUntil(*form, [&] {
            if (form->scan().stepsDrawn() < 45) return false;
            if (drawn == 0) {
                // Half-way across the 10 kHz window around 14.250 MHz, at 100 Hz steps.
                QWidget* plot = child(*form, "plot");
                const QPointF at(plot->width() / 2.0, 20);
                QMouseEvent press(QEvent::MouseButtonPress, at, plot->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                                  {});
                QCoreApplication::sendEvent(plot, &press);
                drawn = form->scan().stepsDrawn();
            }
            if (form->scan().stepsDrawn() <= drawn + 5) return false;
            click(*form, "setupButton");
            return true;
        }));
        form.reset();
        std::vector<QByteArray> tunings;
        for (auto f = radio.sent.begin() + before; f != radio.sent.end(); ++f) {
            if (f->size() == 5 && f->endsWith(char(0x0A))) tunings.push_back(*f);
        }
        EXPECT_EQ(tunings, on ? std::vector<QByteArray>{QByteArray::fromHex("005042010A")} : std::vector<QByteArray>{});
        EXPECT_FALSE(readIni().contains("clickToTune"));
    }
    preferences::writeFlag(preferences::kClickToTune, false);
}
