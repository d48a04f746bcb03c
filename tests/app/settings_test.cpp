// Start-up, the settings file, "Setup", "Quit", closing the window, the port
// probe's messages and the error boundary, on the real form with a scripted
// serial control.

#include "app/form1.h"
#include "app/settingsfile.h"
#include "fake_comm.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace qv7m;

namespace {

class Startup : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(QDir::setCurrent(dir.path()));
    }
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
    std::unique_ptr<Form1> makeForm() {
        auto form = std::make_unique<Form1>(comm, messages);
        form->endProgram = [this] { ++ends; };
        return form;
    }
    static void expectSelections(Form1& f, const char* port, const char* width, const char* step, const char* style) {
        EXPECT_EQ(f.comport->currentText(), QString::fromLatin1(port));
        EXPECT_EQ(f.dis->currentText(), QString::fromLatin1(width));
        EXPECT_EQ(f.step->currentText(), QString::fromLatin1(step));
        EXPECT_EQ(f.style->currentText(), QString::fromLatin1(style));
    }

    QTemporaryDir dir;
    FakeComm comm;
    RecordingPresenter messages;
    int ends = 0;
};

const QRegularExpression kWellFormed(QStringLiteral("^( \\d|-\\d)\\d* \\r\\n( \\d|-\\d)\\d* \\r\\n( \\d|-\\d)\\d* \\r\\n"
                                                    "( \\d|-\\d)\\d* \\r\\n[^\\r\\n]*\\r\\n$"));

}  // namespace

TEST_F(Startup, NoFileGivesTheDefaultsAndProbesCom1) {
    auto form = makeForm();
    form->load();
    expectSelections(*form, "COM1", "10", "100", "Area Graph");
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Yaesu FT-1000MP Bandscope QV-7M (N0CALL)"));
    EXPECT_EQ(form->comport->count(), 4);
    EXPECT_EQ(form->step->count(), 4);
    EXPECT_EQ(form->dis->count(), 4);
    EXPECT_EQ(form->style->count(), 3);
    // The probe ran on COM1 with the line already configured, and the radio answered.
    const int settingsAt = comm.calls.indexOf(QStringLiteral("Settings=4800,n,8,2"));
    const int probeAt = comm.calls.indexOf(QStringLiteral("CommPort=1"));
    ASSERT_GE(settingsAt, 0);
    ASSERT_GE(probeAt, 0);
    EXPECT_LT(settingsAt, probeAt);
    EXPECT_TRUE(form->starten->isEnabled());
    EXPECT_FALSE(comm.portOpen());
    EXPECT_TRUE(messages.shown.isEmpty());
    // The rest of the start state.
    EXPECT_EQ(form->link.centerFreq, 1425000);
    EXPECT_EQ(form->sweep.shade, 220);
    EXPECT_EQ(form->links->text(), QStringLiteral("Hz"));
    EXPECT_EQ(form->mitte->text(), QStringLiteral("Hz"));
    EXPECT_EQ(form->rechts->text(), QStringLiteral("Hz"));
    EXPECT_EQ(form->info->text(), QString());
    EXPECT_EQ(form->smeterWidth(), 0);
    EXPECT_DOUBLE_EQ(form->spanUnits, 1000);
    EXPECT_EQ(comm.commPort(), 1);
}

TEST_F(Startup, SavedSelectionsAndCallsignAreRestored) {
    writeIni(" 2 \r\n 1 \r\n 3 \r\n 0 \r\nDL1ABC\r\n");
    auto form = makeForm();
    form->load();
    expectSelections(*form, "COM3", "20", "1000", "Area Graph");
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Yaesu FT-1000MP Bandscope QV-7M (DL1ABC)"));
    EXPECT_EQ(comm.commPort(), 3);
    EXPECT_DOUBLE_EQ(form->spanUnits, 2000);
}

TEST_F(Startup, QuitWritesTheFileToTheByte) {
    auto form = makeForm();
    form->load();
    form->comport->setCurrentIndex(1);
    form->dis->setCurrentIndex(2);
    form->step->setCurrentIndex(1);
    form->style->setCurrentIndex(2);
    comm.frames.clear();
    form->beenden_Click();
    const QByteArray expected(" 1 \r\n 2 \r\n 1 \r\n 2 \r\nN0CALL\r\n");
    EXPECT_EQ(expected.size(), 28);
    EXPECT_EQ(readIni(), expected);
    EXPECT_EQ(ends, 1);
    EXPECT_TRUE(form->ended());
    EXPECT_TRUE(comm.frames.isEmpty()) << "the link was closed: nothing to send";
}

TEST_F(Startup, QuitWithTheLinkOpenSendsCommand4AndClosesBeforeWriting) {
    auto form = makeForm();
    form->load();
    comm.setPortOpen(true);
    comm.frames.clear();
    comm.calls.clear();
    form->beenden_Click();
    ASSERT_EQ(comm.frames.size(), 1);
    EXPECT_EQ(comm.frames[0], QByteArray("\x00\x00\x00\x00\x85", 5));
    EXPECT_EQ(comm.calls.last(), QStringLiteral("close"));
    EXPECT_FALSE(comm.portOpen());
    EXPECT_TRUE(kWellFormed.match(QString::fromLatin1(readIni())).hasMatch());
}

TEST_F(Startup, RoundTripKeepsEverything) {
    const QByteArray saved(" 3 \r\n 3 \r\n 2 \r\n 1 \r\nOE3XYZ/p portable \xc3\xa4\r\n");
    writeIni(saved);
    {
        auto form = makeForm();
        form->load();
        expectSelections(*form, "COM4", "80", "500", "Line Graph");
        form->beenden_Click();
    }
    EXPECT_EQ(readIni(), saved);
    // A callsign that is not UTF-8 goes back byte for byte too.
    const QByteArray latin(" 0 \r\n 0 \r\n 0 \r\n 0 \r\nG\xe9RARD\r\n");
    writeIni(latin);
    auto form = makeForm();
    form->load();
    form->beenden_Click();
    EXPECT_EQ(readIni(), latin);
}

TEST_F(Startup, BadFilesFallBackAndQuitWritesAWellFormedFile) {
    QByteArray huge(30 * 1024 * 1024, 'x');
    // Sized by the compiler: the junk holds NUL bytes, so no length can be counted from it.
    static const char junk[] = "\x00\xff\x01\r\n\x80\x81\r\n\x1b[2J\r\n\xfe\r\n\x00\x01\x02\r\n";
    const struct {
        const char* why;
        QByteArray bytes;
        const char* port;
        const char* width;
        const char* step;
        const char* style;
        const char* call;
    } cases[] = {
        {"fewer than five lines", " 2 \r\n 1 \r\n", "COM3", "20", "100", "Area Graph", "N0CALL"},
        {"empty file", "", "COM1", "10", "100", "Area Graph", "N0CALL"},
        {"blank index lines", "\r\n  \r\n\r\n 2 \r\nK1ABC\r\n", "COM1", "10", "100", "Waterfall", "K1ABC"},
        {"not numbers", "two\r\n1x\r\n--\r\nabc\r\nK1ABC\r\n", "COM1", "10", "100", "Area Graph", "K1ABC"},
        {"outside the lists", " 4 \r\n-1 \r\n 99999 \r\n 3 \r\nK1ABC\r\n", "COM1", "10", "100", "Area Graph", "K1ABC"},
        {"port -1", "-1 \r\n 1 \r\n 1 \r\n 1 \r\nK1ABC\r\n", "COM1", "20", "250", "Line Graph", "K1ABC"},
        {"binary junk", QByteArray(junk, sizeof junk - 1), "COM1", "10",
         "100", "Area Graph", nullptr},
        {"CR-only line ends", " 1 \r 2 \r 3 \r 1 \rK1ABC\r", "COM2", "40", "1000", "Line Graph", "K1ABC"},
        {"LF-only line ends", " 1 \n 2 \n 3 \n 1 \nK1ABC\n", "COM2", "40", "1000", "Line Graph", "K1ABC"},
        {"no last line end", " 1 \r\n 2 \r\n 3 \r\n 1 \r\nK1ABC", "COM2", "40", "1000", "Line Graph", "K1ABC"},
        {"a very large file", huge, "COM1", "10", "100", "Area Graph", "N0CALL"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        writeIni(c.bytes);
        auto form = makeForm();
        form->load();
        expectSelections(*form, c.port, c.width, c.step, c.style);
        if (c.call) {
            EXPECT_EQ(form->ownerCall, QString::fromLatin1(c.call));
        }
        EXPECT_TRUE(form->spanUnits >= 1000);
        form->beenden_Click();
        const QByteArray written = readIni();
        EXPECT_TRUE(kWellFormed.match(QString::fromLatin1(written)).hasMatch()) << written.left(80).toStdString();
        EXPECT_TRUE(written.startsWith(QByteArray(" ") + QByteArray::number(form->comport->currentIndex())));
    }
}

TEST_F(Startup, QuitThatCannotWriteSaysWhichFileAndStillEnds) {
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("qv-7m.ini")));  // a folder in the file's place
    auto form = makeForm();
    form->load();
    EXPECT_EQ(form->ownerCall, QStringLiteral("N0CALL")) << "a folder is no settings file";
    form->beenden_Click();
    ASSERT_EQ(messages.shown.size(), 1);
    EXPECT_TRUE(messages.shown[0].contains(QStringLiteral("qv-7m.ini"))) << messages.shown[0].toStdString();
    EXPECT_EQ(ends, 1);
}

TEST_F(Startup, ClosingTheWindowWritesNothingSendsNothingAndEnds) {
    auto form = makeForm();
    form->load();
    comm.setPortOpen(true);
    comm.frames.clear();
    form->show();
    form->close();
    EXPECT_EQ(ends, 1);
    EXPECT_TRUE(form->ended());
    EXPECT_TRUE(comm.frames.isEmpty());
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("qv-7m.ini"))));
    // No handler runs after the end.
    form->guarded([&] { form->setup_Click(); });
    EXPECT_TRUE(comm.frames.isEmpty());
}

TEST_F(Startup, SetupReloadsWithoutDuplicatesAndShowsTheCallsignNowInTheFile) {
    writeIni(" 1 \r\n 2 \r\n 1 \r\n 1 \r\nK1ABC\r\n");
    auto form = makeForm();
    form->load();
    form->step->setCurrentIndex(3);  // a choice made since start-up
    // The file is edited while the program runs: nothing changes until "Setup".
    writeIni(" 3 \r\n 3 \r\n 3 \r\n 2 \r\nW1XYZ\r\n");
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Yaesu FT-1000MP Bandscope QV-7M (K1ABC)"));
    comm.setPortOpen(true);
    comm.frames.clear();
    form->starten->setEnabled(false);
    form->stopscan->setEnabled(true);
    form->stopscan->setChecked(true);
    for (QWidget* w : std::initializer_list<QWidget*>{form->style, form->dis, form->step, form->comport})
        w->setEnabled(false);
    form->setup_Click();
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Yaesu FT-1000MP Bandscope QV-7M (W1XYZ)"));
    expectSelections(*form, "COM2", "40", "1000", "Line Graph");
    EXPECT_EQ(form->comport->count(), 4);
    EXPECT_EQ(form->style->count(), 3);
    EXPECT_EQ(form->sweep.stopRequested, -1);
    ASSERT_EQ(comm.frames.size(), 1);
    EXPECT_EQ(comm.frames[0], QByteArray("\x00\x00\x00\x00\x85", 5));
    EXPECT_FALSE(comm.portOpen());
    EXPECT_TRUE(form->starten->isEnabled());
    EXPECT_FALSE(form->stopscan->isEnabled());
    EXPECT_EQ(form->stopscan->checkState(), Qt::Unchecked);
    EXPECT_FALSE(form->setup->isEnabled());
    for (QWidget* w : std::initializer_list<QWidget*>{form->style, form->dis, form->step, form->comport})
        EXPECT_TRUE(w->isEnabled()) << w->objectName().toStdString();
    EXPECT_EQ(comm.commPort(), 2) << "configured again for the port now selected";
}

TEST_F(Startup, ProbeMessages) {
    comm.badPorts.insert(3);
    writeIni(" 2 \r\n 0 \r\n 0 \r\n 0 \r\nK1ABC\r\n");
    auto form = makeForm();
    form->load();
    ASSERT_EQ(messages.shown.size(), 1);
    EXPECT_EQ(messages.shown[0], QStringLiteral("Cannot connect through COM3\rPort already in use or NOT avaible"));
    EXPECT_FALSE(form->starten->isEnabled());
    EXPECT_TRUE(comm.frames.isEmpty()) << "no byte sent to a port that failed its test";
    EXPECT_EQ(comm.commPort(), 3);

    // A free port with no radio behind it.
    comm.answering = false;
    form->comport->setCurrentIndex(0);
    form->guarded([&] { form->comport_Click(); });
    ASSERT_EQ(messages.shown.size(), 2);
    EXPECT_EQ(messages.shown[1], QStringLiteral("No response from Yaesu FT-1000MP on COM1"));
    EXPECT_FALSE(form->starten->isEnabled());
    EXPECT_FALSE(comm.portOpen());
    EXPECT_EQ(form->link.meterValue, -1);

    // The radio answers: no message, "Start scan" enabled, port closed.
    comm.answering = true;
    comm.meter = 0;
    form->guarded([&] { form->comport_Click(); });
    EXPECT_EQ(messages.shown.size(), 2);
    EXPECT_TRUE(form->starten->isEnabled());
    EXPECT_FALSE(comm.portOpen());
    EXPECT_EQ(form->link.meterValue, 0) << "a zero byte is an answer";
}

TEST_F(Startup, ARunTimeErrorIsShownAndTheProgramGoesOn) {
    auto form = makeForm();
    form->load();
    // The probe's link fails after a passed port test (a cable pulled at that moment).
    comm.failOutputs = 1;
    form->guarded([&] { form->comport_Click(); });
    ASSERT_EQ(messages.shown.size(), 1);
    EXPECT_TRUE(messages.shown[0].contains(QStringLiteral("COM1"))) << messages.shown[0].toStdString();
    EXPECT_FALSE(comm.portOpen()) << "the boundary closes the link";
    EXPECT_FALSE(form->starten->isEnabled());
    EXPECT_FALSE(form->ended());
    // And the next choice of the port works again.
    form->guarded([&] { form->comport_Click(); });
    EXPECT_TRUE(form->starten->isEnabled());
    EXPECT_EQ(messages.shown.size(), 1);
}
