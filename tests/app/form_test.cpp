// SPDX-License-Identifier: GPL-3.0-or-later
// Start-up, the settings file, "Setup", "Quit" and closing the window, on the
// real form with the simulated radio on a virtual clock.

#include "radio/aligned_link.h"
#include "support/virtual_radio.h"
#include "support/window.h"

#include <gtest/gtest.h>
#include <QDir>
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

}  // namespace

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
