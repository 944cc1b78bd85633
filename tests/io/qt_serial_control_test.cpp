// QtSerialControl against a real pseudo-terminal: the test holds the master end and plays the
// board; the control opens the slave end through a COMn mapping.

#include "io/qt_serial_control.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QSerialPort>
#include <QTest>

#include "support/hex.h"

namespace orlo::ui {
namespace {

using test::hex;

class RecordingListener : public SerialListener {
 public:
  void onBytesReceived(const std::uint8_t* data, std::size_t size) override {
    EXPECT_GT(size, 0u);
    received.insert(received.end(), data, data + size);
  }
  void onCommEvent() override { ++commEvents; }
  void onPortLost(const std::string& why) override {
    ++lost;
    reason = why;
  }
  Bytes received;
  int commEvents = 0;
  int lost = 0;
  std::string reason;
};

QCoreApplication& app() {
  static int argc = 1;
  static char name[] = "qt_serial_control_test";
  static char* argv[] = {name, nullptr};
  static QCoreApplication instance(argc, argv);
  return instance;
}

double cpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

class QtSerialControlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    app();
    char name[256] = {};
    ASSERT_EQ(openpty(&master_, &slave_, name, nullptr, nullptr), 0);
    slavePath_ = name;
    serial_.setListener(&listener_);
    ASSERT_TRUE(serial_.addMapping(7, slavePath_));
  }
  void TearDown() override {
    serial_.close();
    if (master_ >= 0) ::close(master_);
    if (slave_ >= 0) ::close(slave_);
  }

  // What the control sent, as seen on the master end within `ms`.
  Bytes readMaster(std::size_t want, int ms = 2000) {
    Bytes out;
    for (int waited = 0; out.size() < want && waited < ms; waited += 10) {
      QTest::qWait(10);
      pollfd p{master_, POLLIN, 0};
      if (::poll(&p, 1, 0) <= 0 || !(p.revents & POLLIN)) continue;
      std::uint8_t buf[256];
      const ssize_t n = ::read(master_, buf, sizeof buf);
      if (n > 0) out.insert(out.end(), buf, buf + n);
    }
    return out;
  }
  void writeMaster(const Bytes& bytes) {
    ASSERT_EQ(::write(master_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }

  int master_ = -1;
  int slave_ = -1;
  std::string slavePath_;
  RecordingListener listener_;
  QtSerialControl serial_;
};

TEST_F(QtSerialControlTest, OpensAMappedPseudoTerminalAndNamesItsDevice) {
  EXPECT_EQ(serial_.devicePath(7), slavePath_);
  const OpenResult r = serial_.open(7);
  EXPECT_TRUE(r.ok) << r.reason;
  EXPECT_EQ(r.devicePath, slavePath_);
  EXPECT_TRUE(serial_.isOpen());
  serial_.close();
  EXPECT_FALSE(serial_.isOpen());
  EXPECT_EQ(listener_.lost, 0);
}

TEST_F(QtSerialControlTest, AWrittenBlockArrivesAtTheOtherEnd) {
  ASSERT_TRUE(serial_.open(7).ok);
  const Bytes poll = hex("AA 55 06 00 00 00 01 00 01 00 55 AA");
  EXPECT_TRUE(serial_.write(poll));
  EXPECT_EQ(readMaster(poll.size()), poll);
}

TEST_F(QtSerialControlTest, BytesFromTheOtherEndReachTheListener) {
  ASSERT_TRUE(serial_.open(7).ok);
  const Bytes frame = hex("AA 55 4D 00 00 00 01 02 55 AA 03 00 55 AA");
  writeMaster(frame);
  for (int i = 0; i < 200 && listener_.received.size() < frame.size(); ++i) QTest::qWait(10);
  EXPECT_EQ(listener_.received, frame);
  EXPECT_EQ(listener_.commEvents, 0);
}

TEST_F(QtSerialControlTest, BytesWaitingBeforeTheOpenAreDiscarded) {
  writeMaster(hex("01 02 03"));
  QTest::qWait(20);
  ASSERT_TRUE(serial_.open(7).ok);
  writeMaster(hex("AA 55"));
  for (int i = 0; i < 200 && listener_.received.size() < 2; ++i) QTest::qWait(10);
  EXPECT_EQ(listener_.received, hex("AA 55"));
}

TEST_F(QtSerialControlTest, AWriteWhileClosedSendsNothingAndSaysSo) {
  EXPECT_FALSE(serial_.write(hex("AA 55")));
  ASSERT_TRUE(serial_.open(7).ok);
  serial_.close();
  EXPECT_FALSE(serial_.write(hex("AA 55")));
  EXPECT_TRUE(readMaster(1, 100).empty());
}

TEST_F(QtSerialControlTest, APortThatStandsForNothingDoesNotOpen) {
  const OpenResult unmapped = serial_.open(16);
  if (!serial_.devicePath(16).empty()) GTEST_SKIP() << "this machine has 16 serial devices";
  EXPECT_FALSE(unmapped.ok);
  EXPECT_EQ(unmapped.devicePath, "");
  EXPECT_NE(unmapped.reason.find("COM16"), std::string::npos);

  ASSERT_TRUE(serial_.addMapping(9, "/dev/orlo-no-such-device"));
  const OpenResult missing = serial_.open(9);
  EXPECT_FALSE(missing.ok);
  EXPECT_FALSE(missing.permissionDenied);
  EXPECT_EQ(missing.devicePath, "/dev/orlo-no-such-device");
  EXPECT_FALSE(missing.reason.empty());
  EXPECT_FALSE(serial_.isOpen());
}

// Opens COM7 as an ordinary user would; root may open anything, so root tries as "nobody".
bool openIsRefusedAsPermissionDenied(const std::string& path) {
  const bool asRoot = geteuid() == 0;
  const pid_t child = asRoot ? fork() : 0;
  if (child < 0) return false;
  if (asRoot && child > 0) {
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
  }
  if (asRoot && setuid(65534) != 0) _exit(2);
  QtSerialControl serial;
  serial.addMapping(7, path);
  const OpenResult r = serial.open(7);
  const bool refused = !r.ok && r.permissionDenied && !r.reason.empty();
  if (asRoot) _exit(refused ? 0 : 1);
  return refused;
}

TEST_F(QtSerialControlTest, ADeviceTheUserMayNotUseIsReportedAsPermissionDenied) {
  ASSERT_EQ(::chmod(slavePath_.c_str(), geteuid() == 0 ? 0600 : 0), 0);
  EXPECT_TRUE(openIsRefusedAsPermissionDenied(slavePath_));
}

TEST_F(QtSerialControlTest, AHungUpLineIsReportedLostOnceAndClosedWithoutABusyLoop) {
  ASSERT_TRUE(serial_.open(7).ok);
  ::close(slave_);
  slave_ = -1;
  QSerialPort* port = serial_.findChild<QSerialPort*>();
  ASSERT_NE(port, nullptr);
  int wakeUps = 0;
  QObject::connect(port, &QSerialPort::readyRead, [&] { ++wakeUps; });
  QObject::connect(port, &QSerialPort::errorOccurred, [&] { ++wakeUps; });

  ::close(master_);
  master_ = -1;
  const double cpuBefore = cpuSeconds();
  QTest::qWait(500);
  const double cpuUsed = cpuSeconds() - cpuBefore;

  EXPECT_EQ(listener_.lost, 1);
  EXPECT_FALSE(listener_.reason.empty());
  EXPECT_FALSE(serial_.isOpen());
  EXPECT_LT(wakeUps, 10);
  EXPECT_LT(cpuUsed, 0.2);
  EXPECT_FALSE(serial_.write(hex("AA 55")));
}

}  // namespace
}  // namespace orlo::ui
