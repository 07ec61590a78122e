// The audio codec start-up against the simulated board on a real
// pseudo-terminal: the exact bytes the board receives, in order, the log
// lines and the read-status indicator.

#include "board_link.h"
#include "board_sim.h"
#include "link_fixture.h"

#include <QtTest>

using namespace atlys;
using namespace std::chrono_literals;

Q_DECLARE_METATYPE(std::vector<sim::CodecStatus>)

namespace {

constexpr auto kArrival = 2s;

const QString kDetectedCodec =
    QStringLiteral("Detected HW configuration 'Atlys S6 QOR 2016/17 Audio Codec'");
const QString kDetectedBarebone =
    QStringLiteral("Detected HW configuration 'Atlys S6 QOR 2016/17 barebone'");
const QString kUsingCom1 = QStringLiteral("Using serial port COM1 (baudrate: 115200 bps)");
const QString kRdyTimeout = QStringLiteral("Timeout waiting for RDY=1");

// The board's bytes of one register write: value to port 2, index to
// port 3, 1 to port 15.
const QByteArray kWriteRegister0 = QByteArray::fromHex("2200000000"
                                                       "2300000000"
                                                       "2f00000001");

// Written by a test after the operation under test: the board has received
// everything before it once the marker is in.
constexpr std::uint32_t kMarkerValue = 0x5A5A5A5A;
constexpr unsigned kMarkerPort = 7;
const QByteArray kMarker = QByteArray::fromHex("275a5a5a5a");

} // namespace

class TestCodec : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void connect_startup_data();
    void connect_startup();
    void scan_does_not_start_codec();
    void reopen_starts_codec();
    void write_register_masks_index_and_value_data();
    void write_register_masks_index_and_value();

private:
    std::unique_ptr<BoardLink> make_link(std::vector<std::string> devices);
    // Sends the marker frame and returns every byte the board received up
    // to and including it, once it is in.
    QByteArray received_through_marker(BoardLink &link, const sim::BoardSim &board);

    std::unique_ptr<QTemporaryDir> dir_;
    QString old_cwd_;
    std::unique_ptr<sim::BoardSim> board_;
    Recorder view_;
};

void TestCodec::init()
{
    // The link reads and writes config.dat in its working folder: keep
    // every test away from the real one.
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
    old_cwd_ = QDir::currentPath();
    QVERIFY(QDir::setCurrent(dir_->path()));
    board_ = std::make_unique<sim::BoardSim>(sim::kAudioCodecId);
    QVERIFY2(board_->start(), "no pseudo-terminal could be opened");
    view_ = Recorder{};
}

void TestCodec::cleanup()
{
    board_.reset();
    QDir::setCurrent(old_cwd_);
    dir_.reset();
}

std::unique_ptr<BoardLink> TestCodec::make_link(std::vector<std::string> devices)
{
    auto link = std::make_unique<BoardLink>(make_posix_serial_line(), [devices] {
        std::vector<PortInfo> ports;
        for (std::size_t k = 0; k < devices.size(); ++k)
            ports.push_back(listed(k, devices[k]));
        return ports;
    });
    link->attach_view(&view_);
    return link;
}

QByteArray TestCodec::received_through_marker(BoardLink &link, const sim::BoardSim &board)
{
    if (link.write_port(kMarkerValue, kMarkerPort) != kDone)
        return "marker not sent";
    // The line delivers in order: once the marker is in, so is everything before it.
    const auto marker_in = [&] { return as_bytes(board.received()).endsWith(kMarker); };
    if (!QTest::qWaitFor(marker_in, int(std::chrono::milliseconds(kArrival).count())))
        return "marker not received";
    return as_bytes(board.received());
}

void TestCodec::connect_startup_data()
{
    using sim::codec_script;
    using sim::CodecReadiness;
    QTest::addColumn<quint32>("id");
    QTest::addColumn<std::vector<sim::CodecStatus>>("script");
    QTest::addColumn<quint32>("status_bits"); // status bits besides RDY
    QTest::addColumn<QByteArray>("bytes");    // everything the board receives
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QList<bool>>("statuses");
    QTest::addColumn<bool>("written");

    const QByteArray identify = QByteArray::fromHex("3f");
    const QByteArray status_read = QByteArray::fromHex("32");
    const QStringList connected{kDetectedCodec, kUsingCom1};

    QTest::newRow("ready at the first read")
        << quint32(sim::kAudioCodecId) << codec_script(CodecReadiness::now) << 0u
        << identify + status_read + kWriteRegister0 << connected << QList<bool>{true, true} << true;
    QTest::newRow("ready at the second read")
        << quint32(sim::kAudioCodecId) << codec_script(CodecReadiness::second) << 0u
        << identify + status_read + status_read + kWriteRegister0 << connected
        << QList<bool>{true, true, true} << true;
    QTest::newRow("never ready") << quint32(sim::kAudioCodecId)
                                 << codec_script(CodecReadiness::never) << 0u
                                 << identify + status_read + status_read
                                 << connected + QStringList{kRdyTimeout}
                                 << QList<bool>{true, true, true} << false;
    QTest::newRow("port 2 silent")
        << quint32(sim::kAudioCodecId) << codec_script(CodecReadiness::silent) << 0u
        << identify + status_read + status_read << connected + QStringList{kRdyTimeout}
        << QList<bool>{true, false, false} << false;
    // Only bit 0 is RDY: every other status bit set does not make it ready,
    // and does not keep a ready codec from being written.
    QTest::newRow("RDY clear, every other bit set")
        << quint32(sim::kAudioCodecId) << codec_script(CodecReadiness::never) << 0xFFFFFFFEu
        << identify + status_read + status_read << connected + QStringList{kRdyTimeout}
        << QList<bool>{true, true, true} << false;
    QTest::newRow("RDY set among other bits")
        << quint32(sim::kAudioCodecId) << codec_script(CodecReadiness::now) << 0x80000002u
        << identify + status_read + kWriteRegister0 << connected << QList<bool>{true, true} << true;
    // The barebone configuration carries no codec: nothing follows the
    // identification, even with the codec model playing on the board.
    QTest::newRow("barebone board")
        << quint32(sim::kBareboneId) << codec_script(CodecReadiness::now) << 0u << identify
        << QStringList{kDetectedBarebone, kUsingCom1} << QList<bool>{true} << false;
}

void TestCodec::connect_startup()
{
    QFETCH(quint32, id);
    QFETCH(std::vector<sim::CodecStatus>, script);
    QFETCH(quint32, status_bits);
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, lines);
    QFETCH(QList<bool>, statuses);
    QFETCH(bool, written);

    board_->set_config_id(id);
    board_->enable_codec(true);
    board_->set_codec_ready_script(script);
    board_->set_codec_status_bits(status_bits);
    auto link = make_link({board_->device()});
    link->connect_board();

    QCOMPARE(view_.lines, lines);
    QCOMPARE(view_.statuses, statuses);
    QVERIFY2(link->is_open(), "the connection stays open whatever the codec did");
    QCOMPARE(link->hw_id(), id);
    QCOMPARE(received_through_marker(*link, *board_), bytes + kMarker);
    const std::vector<sim::CodecWrite> writes =
        written ? std::vector<sim::CodecWrite>{{0, 0}} : std::vector<sim::CodecWrite>{};
    QCOMPARE(board_->codec_writes(), writes);

    const auto reads = board_->codec_status_reads();
    QCOMPARE(int(reads.size()), bytes.count('\x32'));
    if (reads.size() == 2) {
        // The second status read comes only after the pause; how much later
        // depends on the machine, so only the lower bound is checked.
        const auto gap = std::chrono::duration_cast<std::chrono::microseconds>(reads[1] - reads[0]);
        QVERIFY2(gap >= kCodecReadyPause,
                 qPrintable(QStringLiteral("%1 us between the reads").arg(gap.count())));
    }
}

void TestCodec::scan_does_not_start_codec()
{
    auto link = make_link({board_->device()});
    link->scan_serial_ports();
    QCOMPARE(view_.lines,
             (QStringList{"Trying COM1...", kDetectedCodec, "Using serial port COM1"}));
    QCOMPARE(view_.statuses, QList<bool>{true});
    QVERIFY(link->is_open());
    QCOMPARE(link->hw_index(), 1u);
    QCOMPARE(received_through_marker(*link, *board_), QByteArray::fromHex("3f") + kMarker);
    QVERIFY(board_->codec_status_reads().empty());
    QVERIFY(board_->codec_writes().empty());
}

void TestCodec::reopen_starts_codec()
{
    // Connected to a barebone board on COM1 first; the operator then types
    // COM2, where the codec board is, and reopens.
    sim::BoardSim barebone(sim::kBareboneId);
    QVERIFY(barebone.start());
    board_->set_codec_ready_script(sim::codec_script(sim::CodecReadiness::second));
    auto link = make_link({barebone.device(), board_->device()});
    link->connect_board();
    QCOMPARE(view_.lines, (QStringList{kDetectedBarebone, kUsingCom1}));
    QCOMPARE(received_through_marker(*link, barebone), QByteArray::fromHex("3f") + kMarker);

    view_.lines.clear();
    view_.statuses.clear();
    view_.field = "COM2";
    link->reopen_serial_port();
    QCOMPARE(view_.lines,
             (QStringList{kDetectedCodec, "Using serial port COM2 (baudrate: 115200 bps)"}));
    QCOMPARE(view_.statuses, (QList<bool>{true, true, true}));
    QCOMPARE(received_through_marker(*link, *board_),
             QByteArray::fromHex("3f3232") + kWriteRegister0 + kMarker);
    QCOMPARE(board_->codec_writes(), (std::vector<sim::CodecWrite>{{0, 0}}));
    // The barebone board got nothing more once its line was closed.
    QCOMPARE(as_bytes(barebone.received()), QByteArray::fromHex("3f") + kMarker);
}

void TestCodec::write_register_masks_index_and_value_data()
{
    QTest::addColumn<quint32>("index");
    QTest::addColumn<quint32>("value");
    QTest::addColumn<QByteArray>("frames");
    QTest::addColumn<quint32>("sent_index");
    QTest::addColumn<quint32>("sent_value");

    QTest::newRow("largest in range")
        << 31u << 0xFFFFu << QByteArray::fromHex("220000ffff230000001f2f00000001") << 31u
        << 0xFFFFu;
    QTest::newRow("index 32, value 0x10000 wrap to 0")
        << 32u << 0x10000u << kWriteRegister0 << 0u << 0u;
    QTest::newRow("every bit set")
        << 0xFFFFFFFFu << 0xFFFFFFFFu << QByteArray::fromHex("220000ffff230000001f2f00000001")
        << 31u << 0xFFFFu;
    QTest::newRow("index 0x25, value 0x1ABCD")
        << 0x25u << 0x1ABCDu << QByteArray::fromHex("220000abcd23000000052f00000001") << 5u
        << 0xABCDu;
}

void TestCodec::write_register_masks_index_and_value()
{
    QFETCH(quint32, index);
    QFETCH(quint32, value);
    QFETCH(QByteArray, frames);
    QFETCH(quint32, sent_index);
    QFETCH(quint32, sent_value);

    auto link = make_link({board_->device()});
    QVERIFY(link->open_serial_port());
    link->write_codec_register(index, value);
    QVERIFY(view_.lines.isEmpty());
    QCOMPARE(view_.statuses, QList<bool>{true});
    QCOMPARE(received_through_marker(*link, *board_), QByteArray::fromHex("32") + frames + kMarker);
    QCOMPARE(board_->codec_writes(), (std::vector<sim::CodecWrite>{{sent_index, sent_value}}));
}

QTEST_GUILESS_MAIN(TestCodec)
#include "test_codec.moc"
