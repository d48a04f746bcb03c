// SPDX-License-Identifier: GPL-3.0-or-later
// The band over time and the spots on it, the whole program against the
// simulator and a DX cluster on loopback: the history's colours are the
// radio's readings sweep by sweep, the spots in the window show at their
// frequencies, a click on a spot's call tunes VFO-A there, and after that
// retune the older rows stay where they were in Hz.

#include "faults/fault_harness.h"
#include "history/history_window.h"
#include "radio/cat_codec.h"

#include <QTcpServer>
#include <QTcpSocket>

using namespace faults;

namespace {

// A DX cluster on loopback: it offers to echo (telnet's WILL ECHO, which the
// client turns down before logging in), prompts for a call sign without a line
// end, and answers the login with its spots.
struct LoopbackCluster {
    explicit LoopbackCluster(QByteArray spots) : lines(std::move(spots)) {
        server.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&server, &QTcpServer::newConnection, [this] {
            QTcpSocket* socket = server.nextPendingConnection();
            socket->write("Welcome to the test node\r\n\r\n\xff\xfb\x01login: ");
            QObject::connect(socket, &QTcpSocket::readyRead, [this, socket] {
                if (!socket->canReadLine()) return;
                logins << socket->readLine();
                if (logins.size() == 1) socket->write(lines);
            });
        });
    }
    QString address() const { return QStringLiteral("127.0.0.1:%1").arg(server.serverPort()); }

    QByteArray lines;
    QList<QByteArray> logins;
    QTcpServer server;
};

int readingOfColour(QRgb pixel) {
    for (int v = 0; v < 256; ++v) {
        if (qv7m::historyColour(v / 255.0) == pixel) return v;
    }
    return -1;
}

class BandWatchE2e : public Program {
protected:
    bool radioTunedVfoA(const simtest::Sim& radio, int64_t units) {
        const auto frame = qv7m::cat::setVfoA(*qv7m::cat::vfoADigits(units));
        const QByteArray bytes(reinterpret_cast<const char*>(frame.data()), int(frame.size()));
        const auto log = logOf(radio);
        return std::any_of(log.begin(), log.end(), [&](const simlog::Frame& f) { return f.bytes == bytes; });
    }
};

}  // namespace

TEST_F(BandWatchE2e, TheHistoryIsTheRadiosAndTheSpotsShowWhereTheyAre) {
    writeIni("0\r\n0\r\n1\r\n0\r\nDL1ABC\r\n");  // 10 kHz, 250 Hz, area graph
    simtest::Sim radio({"--vfoa", "14252470", "--fading", "20"});
    linkTo(radio);
    LoopbackCluster cluster(
        "DX de K1ABC:     14251.0  DL1XYZ       cq cq                          1234Z\r\n"
        "DX de W3LPL-#:   14255.5  OH2XX        CW 12 dB 22 WPM CQ             1235Z FN20\r\n"
        "DX de G4ABC:      7010.0  JA1AAA       outside the window             1236Z\r\n"
        "DX de G4ABC:     14252.x  VK2BBB       damaged                        1236Z\r\n");
    start();
    chooseFromMenu(QStringLiteral("Band history\u2026"));
    qv7m::HistoryWindow* history = form->bandWatch().historyWindow();
    ASSERT_NE(history, nullptr);

    QImage rows;
    QImage afterRetune;
    int rowsThen = 0;
    int rowsAtFour = 0;
    std::optional<QPoint> where[3][41];
    long long drawn = 0;
    std::vector<qv7m::SpotLabel> labels;
    QString centre;
    sweep().onSweepStarted = [&] {
        // Once a sweep at the spot's frequency is in the history, as it is shown.
        if (centre == QStringLiteral("14251000 Hz") && afterRetune.isNull()) {
            afterRetune = history->grab().toImage();
            rowsThen = form->bandWatch().history().rowCount();
        }
        centre = text(*form, "centreLabel");
        if (sweep().sweepsStarted() != 4) return;
        rows = history->grab().toImage();
        drawn = sweep().stepsDrawn();
        rowsAtFour = form->bandWatch().history().rowCount();
        // Where each step of each row lies in that picture.
        for (int row = 0; row < 3; ++row) {
            for (int i = 0; i < 41; ++i) where[row][i] = history->pointOf(row, 14247470 + 250.0 * i);
        }
        // The spots come now, so that their marks lie over none of the rows read.
        form->connectCluster(cluster.address());
    };
    ASSERT_TRUE(scanUntil(
        [&] {
            if (labels.empty() && form->extras().spotLabels().size() >= 2) {
                labels = form->extras().spotLabels();
                // A click on the first call, with click to tune off.
                mouseOnPlot(QEvent::MouseButtonPress, labels.front().box.center());
            }
            if (!radioTunedVfoA(radio, 1425100)) return false;
            // The spots' marks would lie over the rows read after the retune.
            form->bandWatch().disconnectCluster();
            if (afterRetune.isNull()) return false;
            click(*form, "setupButton");
            return true;
        },
        60));
    EXPECT_EQ(cluster.logins.value(0), QByteArray("\xff\xfe\x01") + "DL1ABC\r\n");

    // Three rows, the newest on top: each step's colour is its reading in that sweep.
    const std::map<int32_t, std::vector<int>> readings = readingsOf(radio, drawn);
    ASSERT_EQ(readings.size(), 41u);
    ASSERT_EQ(rowsAtFour, 3);
    for (int row = 0; row < 3; ++row) {
        int i = 0;
        for (const auto& [units, sweeps] : readings) {
            const std::optional<QPoint> at = where[row][i++];
            ASSERT_TRUE(at.has_value()) << units;
            EXPECT_EQ(readingOfColour(rows.pixel(*at)), sweeps.at(size_t(2 - row))) << "row " << row << " at " << units;
        }
    }

    // The two spots in the window, each over its frequency; not the one
    // outside it, nor the damaged line.
    ASSERT_EQ(labels.size(), 2u);
    const int width = child(*form, "plot")->width();
    EXPECT_EQ(labels[0].text, QStringLiteral("DL1XYZ"));
    EXPECT_EQ(labels[0].markX, int((14251000 - 14247470) * width / 10000.0));
    EXPECT_EQ(labels[1].text, QStringLiteral("OH2XX"));
    EXPECT_EQ(labels[1].markX, int((14255500 - 14247470) * width / 10000.0));
    EXPECT_FALSE(labels[0].box.intersects(labels[1].box));

    // After the retune the rows from before stay at their frequencies: where
    // the new window still covers them, their readings; beyond it, nothing.
    const qv7m::BandHistory& kept = form->bandWatch().history();
    int oldRows = 0;
    // Rows that came after the picture push the older ones down.
    const int since = kept.rowCount() - rowsThen;
    for (int row = since; row < kept.rowCount(); ++row) {
        if (kept.rowLowHz(row) != 14247470) continue;
        ++oldRows;
        for (int i = 0; i < kept.rowSize(row); ++i) {
            const double hz = 14247470 + 250.0 * i;
            const std::optional<QPoint> at = history->pointOf(row - since, hz);
            if (hz > 14256125) {
                EXPECT_FALSE(at.has_value()) << hz << " Hz lies beyond the window now";
                continue;
            }
            ASSERT_TRUE(at.has_value()) << hz;
            EXPECT_EQ(readingOfColour(afterRetune.pixel(*at)), int(kept.value(row, i)))
                << "row " << row << " at " << hz;
        }
    }
    EXPECT_GE(oldRows, 3);
}
