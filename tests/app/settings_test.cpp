// Start-up, the settings file, "Setup", "Quit", closing the window, the port
// probe's messages and the error boundary, on the real form with a scripted
// serial control.

#include "app/form1.h"
#include "support/scripted_radio.h"

#include <QDir>
#include <QFile>
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
        {"saved selections", " 2 \r\n 1 \r\n 3 \r\n 0 \r\nDL1ABC\r\n", "COM3", "20", "1000", "Area Graph", "DL1ABC", true},
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
            EXPECT_EQ(form->windowTitle(), QStringLiteral("Yaesu FT-1000MP Bandscope QV-7M (%1)").arg(QString::fromLatin1(c.call)));
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
