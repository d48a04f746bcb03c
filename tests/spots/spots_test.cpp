// SPDX-License-Identifier: GPL-3.0-or-later
// DX-cluster spots: the lines read as spots, the spots kept, and a cluster on
// loopback that logs the program in, sends its lines and drops it.
#include "spots/dx_cluster.h"
#include "spots/spot_book.h"
#include "support/loopback_cluster.h"
#include "support/wait_for.h"

#include <gtest/gtest.h>

namespace qv7m {
namespace {

const QDateTime kNow = QDateTime::fromString("2024-05-01T12:00:00Z", Qt::ISODate);

// DXSpider with a locator, AR-Cluster without, BEL, a skimmer, portable calls; markup stays text.
TEST(SpotLine, EachClusterStyleGivesItsFrequencyCallAndComment) {
    struct Case {
        const char* line;
        qint64 hz;
        const char* call;
        const char* spotter;
        const char* comment;
    };
    const Case cases[] = {
        {"DX de G4ABC:     14025.0  DL1XYZ       CQ CQ                        1234Z JO01", 14025000, "DL1XYZ", "G4ABC",
         "CQ CQ"},
        {"DX de K3LR:       7003.5  ja1abc       up 2                           0302Z\r\n", 7003500, "JA1ABC", "K3LR",
         "up 2"},
        {"\a\aDX de N6DW:    3586.4  KE0L   WW\aRTTY  0306Z\a", 3586400, "KE0L", "N6DW", "WWRTTY"},
        {"DX de W3LPL-#:   21025.1  VK2ABC   CW  24 dB  28 WPM  CQ  0310Z", 21025100, "VK2ABC", "W3LPL-#",
         "CW  24 dB  28 WPM  CQ"},
        {"DX de EA8/DL1AB-2: 144300.05 OH0/K1ABC 1959Z", 144300050, "OH0/K1ABC", "EA8/DL1AB-2", ""},
        {"DX de F5XYZ: 28074.0 F6ABC <b>caf\xc3\xa9</b> 1200Z", 28074000, "F6ABC", "F5XYZ", "<b>caf\u00e9</b>"},
        {"DX de F5XYZ: 28074.0 F6ABC caf\xe9 1200Z IL", 28074000, "F6ABC", "F5XYZ", "caf\u00e9"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        const std::optional<Spot> spot = parseSpotLine(c.line, kNow);
        ASSERT_TRUE(spot.has_value());
        EXPECT_EQ(spot->hz, c.hz);
        EXPECT_EQ(spot->call, QString(c.call));
        EXPECT_EQ(spot->spotter, QString(c.spotter));
        EXPECT_EQ(spot->comment, QString::fromUtf8(c.comment));
        EXPECT_EQ(spot->skimmer, spot->spotter.endsWith("-#"));
        EXPECT_EQ(spot->received, kNow);
    }
    EXPECT_EQ(parseSpotLine(cases[0].line, kNow)->utc, QTime(12, 34));
}

TEST(SpotLine, AnythingElseIsNoSpot) {
    const char* lines[] = {
        "DX de G4ABC:  abc  DL1XYZ  test 1234Z",
        "DX de G4ABC:  0.0  DL1XYZ  test 1234Z",
        "DX de G4ABC:  -7003.5  DL1XYZ  1234Z",
        "DX de G4ABC:  999999999.0  DL1XYZ  1234Z",
        "DX de G4ABC:  14025.0  DL1XYZ  no time",
        "DX de G4ABC:  14025.0  DL1XYZ  test 2460Z",
        "DX de G4ABC:  14025.0  <script>  test 1234Z",
        "DX de G4 ABC:  14025.0  DL1XYZ  1234Z",
        "DX de G4ABC:  14025.0  1234Z",
        "WWV de W0MU <18>:   SFI=70, A=5, K=1",
        "To ALL de G4ABC: 14025.0 DL1XYZ 1234Z",
        "",
    };
    for (const char* line : lines) EXPECT_FALSE(parseSpotLine(line, kNow).has_value()) << line;
}

Spot spotOf(const char* call, qint64 hz, int secondsAfter, bool skimmer = false) {
    return Spot{"G4ABC", hz, call, "", QTime(12, 0), skimmer, kNow.addSecs(secondsAfter)};
}

TEST(SpotBook, KeepsTheNewestSpotOfAStationForItsLifetime) {
    SpotBook book;
    book.add(spotOf("DL1XYZ", 14025000, 0));
    book.add(spotOf("DL1XYZ", 14025300, 60));
    book.add(spotOf("DL1XYZ", 14030000, 60));
    book.add(spotOf("DL1XYZ", 14025100, 90, true));
    book.add(spotOf("K1ABC", 14040000, 90, true));
    book.add(spotOf("K1ABC", 14040000, 30, true));
    std::vector<Spot> shown = book.inRange(14000000, 14050000, true);
    ASSERT_EQ(shown.size(), 3u);
    EXPECT_EQ(shown[0].hz, 14025300);
    EXPECT_EQ(shown[1].hz, 14030000);
    EXPECT_EQ(shown[2].received, kNow.addSecs(90));
    EXPECT_EQ(book.inRange(14000000, 14050000, false).size(), 2u);

    // Past ten minutes the person's spots go and the skimmer's shows.
    book.expire(kNow.addSecs(60 + 10 * 60 + 1));
    shown = book.inRange(14000000, 14050000, true);
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].hz, 14025100);

    for (int i = 0; i < int(SpotBook::kMaxSpots); ++i) book.add(spotOf("K1ABC", 1000000 + i * 10000, 100));
    EXPECT_EQ(book.size(), SpotBook::kMaxSpots);
    EXPECT_EQ(book.inRange(14025100, 14025100, true).size(), 0u);
}

TEST(DxCluster, HostAndPortAreReadWithTheirLimits) {
    EXPECT_EQ(parseHostPort("dx.example.org:7300"), std::make_pair(QString("dx.example.org"), quint16(7300)));
    EXPECT_EQ(parseHostPort("[::1]:65535"), std::make_pair(QString("::1"), quint16(65535)));
    for (const char* bad : {"host", ":7300", "host:0", "host:65536", "host:73a", "::1:7300", "a b:7300"}) {
        EXPECT_FALSE(parseHostPort(bad).has_value()) << bad;
    }
}

TEST(DxCluster, ReadsTheSpotsAmongOtherLinesAndReconnectsAfterADrop) {
    // More than one read's slice, so some is still unread when the close comes.
    QByteArray flood;
    for (int i = 0; i < 2000; ++i) flood += "DX de G4ABC: 14001.0 K1AAA flood 1234Z\r\n";
    test::LoopbackCluster node(
        QByteArray("Hello N0ABC\r\n") + "DX de G4ABC:     14025.0  DL1XYZ   CQ   1234Z JO01\r\n" +
        "DX de K3LR:  7003.5  JA1ABC  up 2   0302Z\r\n" + "\aDX de N6DW:  3586.4  KE0L  RTTY\a 0306Z\a\r\n" +
        "DX de G4ABC:  abc  DL1XYZ  test 1234Z\r\n" + "DX de W3LPL-#: 21025.1 VK2ABC CW 24 dB 0310Z\r\n" +
        "DX de G4ABC: 14070.0 ZZ9ZZ " + QByteArray(1100, 'x') + " 1234Z\r\n" + flood +
        "DX de EA8XYZ: 28074.0 K1ABC ft8 0400Z\n" + "N0ABC de GB7DJK 1-May-2024 1200Z dxspider >\r\n");
    DxCluster cluster;
    cluster.setFirstRetryPause(50);
    QStringList heard;
    QObject::connect(&cluster, &DxCluster::spotReceived,
                     [&](const Spot& s) { heard << s.call + " " + QString::number(s.hz); });
    QList<DxCluster::State> states;
    QObject::connect(&cluster, &DxCluster::stateChanged, [&](DxCluster::State s) { states << s; });
    cluster.connectTo("127.0.0.1", node.server.serverPort(), "n0abc");
    ASSERT_TRUE(test::waitFor([&] { return node.logins.size() == 2; }));
    EXPECT_EQ(node.logins, QList<QByteArray>({"\xff\xfe\x01N0ABC\r\n", "\xff\xfe\x01N0ABC\r\n"}));
    ASSERT_EQ(heard.size(), 4 + 2000 + 1);
    EXPECT_EQ(heard.mid(0, 4).join(", ").toStdString(),
              "DL1XYZ 14025000, JA1ABC 7003500, KE0L 3586400, VK2ABC 21025100");
    EXPECT_EQ(heard.last().toStdString(), "K1ABC 28074000");
    EXPECT_EQ(states.count(DxCluster::State::Connected), 2);
    EXPECT_EQ(states.value(2), DxCluster::State::Disconnected);
}

TEST(DxCluster, ARefusedCallSignIsReportedInTheClustersWords) {
    test::LoopbackCluster node("Sorry N0CALL is not a valid callsign\r\n");
    DxCluster cluster;
    QString reason;
    QObject::connect(&cluster, &DxCluster::loginRefused, [&](const QString& r) { reason = r; });
    cluster.connectTo("127.0.0.1", node.server.serverPort(), "N0CALL\r\nDX 14025 K1ABC");
    EXPECT_EQ(cluster.state(), DxCluster::State::Disconnected);
    cluster.connectTo("127.0.0.1", node.server.serverPort(), "N0CALL");
    ASSERT_TRUE(test::waitFor([&] { return !reason.isEmpty(); }));
    EXPECT_EQ(reason, "Sorry N0CALL is not a valid callsign");
    EXPECT_EQ(node.logins, QList<QByteArray>({"\xff\xfe\x01N0CALL\r\n"}));

    // A cluster that hangs up on the call sign without a word refuses it too.
    test::LoopbackCluster silent("");
    reason.clear();
    cluster.connectTo("127.0.0.1", silent.server.serverPort(), "N0CALL");
    ASSERT_TRUE(test::waitFor([&] { return !reason.isEmpty(); }));
    EXPECT_EQ(reason, "the cluster closed the connection after the call sign");
}

}  // namespace
}  // namespace qv7m
