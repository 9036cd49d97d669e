// The hang-up routine over the recording dial-up fake, and the NetworkManager
// layer against a real D-Bus daemon with python3-dbusmock's NetworkManager
// template on a private bus.
#include "DialUp.h"
#include "FakeDesktop.h"
#include "NmDialUp.h"
#include "TestUtil.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QProcess>
#include <QProcessEnvironment>
#include <QThread>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <memory>

namespace {

using Texts = std::vector<std::string>;
using Handles = std::vector<TRasHandle>;

// ---- the routine over the recording fake ----

struct RoutineCase {
    const char* name;
    std::vector<TRasConnState> states;  // connection i has handle i + 1
    int enumError = 0;
    std::map<TRasHandle, int> statusErrors;
    std::map<TRasHandle, int> hangUpErrors;
    Texts shown;
    Handles hungUp;
    Texts calls;
};

std::vector<TRasConnState> connected(int n) { return std::vector<TRasConnState>(n, TRasConnState::Connected); }

TEST(HangUpRoutine, HandlesEachConnectionInOrderAndStopsAtTheFirstFailure)
{
    using S = TRasConnState;
    const std::string invalid = RasErrorText(kRasErrorInvalidHandle);
    const std::string notSupported = RasErrorText(kRasErrorNotSupported);
    const std::string tooSmall = RasErrorText(kRasErrorBufferTooSmall);
    const std::string refused = RasErrorText(5);

    Texts thirty{"enum"};
    Handles allThirty;
    for (TRasHandle h = 1; h <= 30; ++h) {
        thirty.push_back("status " + std::to_string(h));
        thirty.push_back("hangup " + std::to_string(h));
        allThirty.push_back(h);
    }

    const RoutineCase cases[] = {
        {"no connection", {}, 0, {}, {}, {kNoActiveConnections}, {}, {"enum"}},
        {"connected and connecting", {S::Connected, S::Connecting}, 0, {}, {}, {}, {1},
         {"enum", "status 1", "hangup 1", "status 2"}},
        {"only connected ones", {S::Other, S::Disconnected, S::Connecting, S::Connected}, 0, {}, {}, {}, {4},
         {"enum", "status 1", "status 2", "status 3", "status 4", "hangup 4"}},
        {"listing error", {S::Connected}, kRasErrorNotSupported, {}, {}, {notSupported}, {}, {"enum", "error 50"}},
        {"status error on the first", connected(2), 0, {{1, kRasErrorInvalidHandle}}, {}, {invalid}, {},
         {"enum", "status 1", "error 6"}},
        {"refused hang-up", connected(3), 0, {}, {{2, 5}}, {refused}, {1},
         {"enum", "status 1", "hangup 1", "status 2", "hangup 2", "error 5"}},
        {"thirty connections", connected(30), 0, {}, {}, {}, allThirty, thirty},
        {"thirty-one connections", connected(31), 0, {}, {}, {tooSmall}, {}, {"enum", "error 603"}},
    };
    for (const RoutineCase& c : cases) {
        SCOPED_TRACE(c.name);
        FakeDialUp fake;
        for (size_t i = 0; i < c.states.size(); ++i)
            fake.Connections.push_back({TRasConn{i + 1, "Line " + std::to_string(i + 1), "modem"}, c.states[i]});
        fake.EnumError = c.enumError;
        fake.StatusErrors = c.statusErrors;
        fake.HangUpErrors = c.hangUpErrors;
        Texts shown;
        HangUpDialUp(fake, [&shown](const std::string& text) { shown.push_back(text); });
        EXPECT_EQ(shown, c.shown);
        EXPECT_EQ(fake.HungUp, c.hungUp);
        EXPECT_EQ(fake.Calls, c.calls);
    }
}

// ---- NetworkManager on a private bus ----

using TNmSettings = QMap<QString, QVariantMap>;

const QString kNm = QStringLiteral("org.freedesktop.NetworkManager");
const QString kNmPath = QStringLiteral("/org/freedesktop/NetworkManager");
const QString kMockIface = QStringLiteral("org.freedesktop.DBus.Mock");
const char* const kDaemon = "/usr/bin/dbus-daemon";
const char* const kPython = "/usr/bin/python3";

constexpr uint kActivating = 1;
constexpr uint kActivated = 2;
constexpr uint kDeactivating = 3;
constexpr uint kDeactivated = 4;

// Waits, servicing nothing, until done() or the time-out; true when done.
template <typename F>
bool waitFor(F done, int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        QThread::msleep(20);
    }
    return true;
}

void stop(QProcess& p)
{
    if (p.state() == QProcess::NotRunning)
        return;
    p.terminate();
    if (!p.waitForFinished(5000)) {
        p.kill();
        p.waitForFinished(5000);
    }
}

// A private dbus-daemon, and optionally python3-dbusmock on it playing
// NetworkManager on what it takes for the system bus; both stopped by the
// destructor. The test talks to the bus through connection().
class PrivateBus {
public:
    // mockArgs: the arguments after "-m dbusmock"; empty for a bus without
    // NetworkManager.
    explicit PrivateBus(const QStringList& mockArgs = {"--template", "networkmanager"})
    {
        static int serial = 0;
        name_ = QStringLiteral("corvina-dialup-test-%1").arg(++serial);
        if (!std::filesystem::exists(kDaemon)) {
            skip_ = "dbus-daemon is not installed (apt-get install dbus)";
            return;
        }
        if (!mockArgs.isEmpty()
            && testutil::runProcess(kPython, {"-c", "import dbusmock.templates.networkmanager"}).exitCode != 0) {
            skip_ = "python3-dbusmock is not installed (apt-get install python3-dbusmock)";
            return;
        }
        const std::string conf = dir_.file("bus.conf");
        testutil::writeFile(conf, "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                                  " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                                  "<busconfig>\n"
                                  "  <type>session</type>\n"
                                  "  <listen>unix:path=" + dir_.file("bus") + "</listen>\n"
                                  "  <auth>EXTERNAL</auth>\n"
                                  "  <policy context=\"default\">\n"
                                  "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
                                  "    <allow eavesdrop=\"true\"/>\n"
                                  "    <allow own=\"*\"/>\n"
                                  "  </policy>\n"
                                  "</busconfig>\n");
        daemon_.start(kDaemon, {"--config-file=" + QString::fromStdString(conf), "--nofork", "--print-address"});
        if (!daemon_.waitForStarted(10000) || !waitFor([this] {
                daemon_.waitForReadyRead(100);
                return daemon_.canReadLine() || daemon_.state() == QProcess::NotRunning;
            }, 20000) || !daemon_.canReadLine()) {
            error_ = "dbus-daemon did not come up: " + daemon_.readAllStandardError().toStdString();
            return;
        }
        address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
        bus_ = std::make_unique<QDBusConnection>(QDBusConnection::connectToBus(address_, name_));
        if (!bus_->isConnected()) {
            error_ = "cannot connect to the private bus: " + bus_->lastError().message().toStdString();
            return;
        }
        if (!mockArgs.isEmpty()) {
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert("DBUS_SYSTEM_BUS_ADDRESS", address_);
            env.insert("DBUS_SESSION_BUS_ADDRESS", address_);
            mock_.setProcessEnvironment(env);
            // The mock logs every call; a pipe nobody reads would stall it.
            mock_.setProcessChannelMode(QProcess::MergedChannels);
            mock_.setStandardOutputFile(QString::fromStdString(dir_.file("mock.log")));
            mock_.start(kPython, QStringList{"-m", "dbusmock"} + mockArgs);
            if (!mock_.waitForStarted(10000)
                || !waitFor([this] { return managerOnBus() || mock_.state() == QProcess::NotRunning; }, 30000)
                || !managerOnBus()) {
                stop(mock_);
                error_ = "dbusmock did not come up: " + testutil::readFile(dir_.file("mock.log"));
                return;
            }
        }
        qDBusRegisterMetaType<TNmSettings>();
        ok_ = true;
    }

    ~PrivateBus()
    {
        bus_.reset();
        QDBusConnection::disconnectFromBus(name_);
        stop(mock_);
        stop(daemon_);
    }

    bool ok() const { return ok_; }
    // Why the test cannot run here (a tool missing); empty when it can.
    const std::string& skipReason() const { return skip_; }
    const std::string& error() const { return error_; }
    QDBusConnection connection() const { return *bus_; }

    // Calls NetworkManager's (or the mock's) method; a failure fails the test.
    QDBusMessage callNm(const QString& path, const QString& iface, const QString& method,
                        const QList<QVariant>& args = {}) const
    {
        QDBusMessage msg = QDBusMessage::createMethodCall(kNm, path, iface, method);
        msg.setArguments(args);
        const QDBusMessage reply = bus_->call(msg, QDBus::Block, 20000);
        EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage)
            << method.toStdString() << ": " << reply.errorMessage().toStdString();
        return reply;
    }

    // A stored connection profile; returns its object path.
    QString addProfile(const QString& id, const QString& type, const TNmSettings& extra = {}) const
    {
        TNmSettings settings = extra;
        settings[QStringLiteral("connection")] = QVariantMap{{"id", id}, {"type", type}};
        const QDBusMessage reply = callNm(kNmPath + "/Settings", kNm + ".Settings", "AddConnection",
                                          {QVariant::fromValue(settings)});
        return reply.arguments().isEmpty() ? QString() : reply.arguments().first().value<QDBusObjectPath>().path();
    }

    // An active connection of the profile, ActiveConnection/<name>, in the
    // given state; returns its object path.
    QString activate(const QString& profile, const QString& name, uint state) const
    {
        const QDBusMessage reply = callNm(kNmPath, kMockIface, "AddActiveConnection",
                                          {QStringList{}, profile, QStringLiteral("/"), name, state});
        return reply.arguments().isEmpty() ? QString() : reply.arguments().first().toString();
    }

    // Replaces the Python body of one of NetworkManager's methods.
    void setManagerMethod(const QString& method, const QString& inSig, const QString& code) const
    {
        callNm(kNmPath, kMockIface, "AddMethod", {kNm, method, inSig, QString(), code});
    }

    // The active connections passed to DeactivateConnection, in call order.
    QStringList deactivated() const
    {
        const QDBusMessage reply =
            callNm(kNmPath, kMockIface, "GetMethodCalls", {QStringLiteral("DeactivateConnection")});
        QStringList paths;
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
            return paths;
        const QDBusArgument arg = reply.arguments().first().value<QDBusArgument>();
        arg.beginArray();
        while (!arg.atEnd()) {
            qulonglong time = 0;
            QVariantList args;
            arg.beginStructure();
            arg >> time >> args;
            arg.endStructure();
            paths << (args.isEmpty() ? QString() : args.first().value<QDBusObjectPath>().path());
        }
        arg.endArray();
        return paths;
    }

private:
    bool managerOnBus() const
    {
        const QDBusMessage reply = bus_->call(
            QDBusMessage::createMethodCall("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                                           "NameHasOwner")
                << kNm,
            QDBus::Block, 5000);
        return reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()
            && reply.arguments().first().toBool();
    }

    testutil::TempDir dir_;
    QString name_;
    QString address_;
    QProcess daemon_;
    QProcess mock_;
    std::unique_ptr<QDBusConnection> bus_;
    std::string skip_;
    std::string error_;
    bool ok_ = false;
};

#define START_BUS(bus)                                   \
    if (!(bus).skipReason().empty())                     \
        GTEST_SKIP() << (bus).skipReason();              \
    ASSERT_TRUE((bus).ok()) << (bus).error()

Texts hangUpAll(IDialUp& layer)
{
    Texts shown;
    HangUpDialUp(layer, [&shown](const std::string& text) { shown.push_back(text); });
    return shown;
}

TNmSettings bluetooth(const QString& profile)
{
    TNmSettings s{{"bluetooth", QVariantMap{{"type", profile}}}};
    if (profile == QLatin1String("dun"))
        s["gsm"] = QVariantMap{{"apn", "internet"}};
    return s;
}

} // namespace

TEST(NmDialUp, HangsUpOnlyTheActivatedDialUpConnection)
{
    PrivateBus bus;
    START_BUS(bus);
    const QString first = bus.activate(bus.addProfile("Mobile", "gsm"), "0", kActivated);
    bus.activate(bus.addProfile("Dialling", "cdma"), "1", kActivating);
    bus.activate(bus.addProfile("Wired", "802-3-ethernet"), "2", kActivated);

    TNmDialUp layer(bus.connection());
    EXPECT_EQ(hangUpAll(layer), Texts{});
    EXPECT_EQ(bus.deactivated(), QStringList{first});
}

TEST(NmDialUp, ListsTheDialUpKindsWithTheirStates)
{
    PrivateBus bus;
    START_BUS(bus);
    struct Row {
        QString id, type;
        TNmSettings extra;
        uint state;
        bool listed;
        TRasConnState expected;
    };
    const Row rows[] = {
        {"Mobile", "gsm", {}, kActivated, true, TRasConnState::Connected},
        {"Wired", "802-3-ethernet", {}, kActivated, false, {}},
        {"CDMA", "cdma", {}, kActivating, true, TRasConnState::Connecting},
        {"DSL", "pppoe", {}, kDeactivating, true, TRasConnState::Other},
        {"Phone", "bluetooth", bluetooth("dun"), kDeactivated, true, TRasConnState::Disconnected},
        {"Headset net", "bluetooth", bluetooth("panu"), kActivated, false, {}},
        {"Wireless", "802-11-wireless", {}, kActivated, false, {}},
        {"Office", "vpn", {}, kActivated, false, {}},
    };
    int n = 0;
    for (const Row& r : rows)
        bus.activate(bus.addProfile(r.id, r.type, r.extra), QString::number(n++), r.state);

    TNmDialUp layer(bus.connection());
    std::vector<TRasConn> conns;
    ASSERT_EQ(layer.EnumConnections(conns, kRasMaxConnections), kRasSuccess);
    size_t i = 0;
    for (const Row& r : rows) {
        if (!r.listed)
            continue;
        SCOPED_TRACE(r.id.toStdString());
        ASSERT_LT(i, conns.size());
        EXPECT_EQ(conns[i].EntryName, r.id.toStdString());
        EXPECT_EQ(conns[i].DeviceName, r.type.toStdString());
        TRasConnState state = TRasConnState::Other;
        EXPECT_EQ(layer.GetConnectStatus(conns[i].Handle, state), kRasSuccess);
        EXPECT_EQ(state, r.expected);
        ++i;
    }
    EXPECT_EQ(i, conns.size());

    // A connection that ended after the listing reads as disconnected.
    bus.callNm(kNmPath, kMockIface, "RemoveObject", {QStringLiteral("/org/freedesktop/NetworkManager/ActiveConnection/0")});
    TRasConnState state = TRasConnState::Connected;
    EXPECT_EQ(layer.GetConnectStatus(conns[0].Handle, state), kRasSuccess);
    EXPECT_EQ(state, TRasConnState::Disconnected);

    // A connection that ends while listing is left out; handles last until
    // the next listing.
    std::vector<TRasConn> again;
    ASSERT_EQ(layer.EnumConnections(again, kRasMaxConnections), kRasSuccess);
    EXPECT_EQ(again.size(), conns.size() - 1);
    EXPECT_EQ(layer.GetConnectStatus(conns[1].Handle, state), kRasErrorInvalidHandle);
    EXPECT_EQ(layer.HangUp(conns[1].Handle), kRasErrorInvalidHandle);
    EXPECT_EQ(bus.deactivated(), QStringList{});
}

TEST(NmDialUp, MoreThanThirtyConnectionsGiveTheBufferTooSmallText)
{
    PrivateBus bus;
    START_BUS(bus);
    const QString profile = bus.addProfile("Mobile", "gsm");
    for (int i = 0; i < kRasMaxConnections; ++i)
        bus.activate(profile, QString::number(i), kActivated);

    TNmDialUp layer(bus.connection());
    std::vector<TRasConn> conns;
    EXPECT_EQ(layer.EnumConnections(conns, kRasMaxConnections), kRasSuccess);
    EXPECT_EQ(conns.size(), size_t(kRasMaxConnections));

    bus.activate(profile, "30", kActivated);
    EXPECT_EQ(layer.EnumConnections(conns, kRasMaxConnections), kRasErrorBufferTooSmall);
    EXPECT_TRUE(conns.empty());
    EXPECT_EQ(hangUpAll(layer), Texts{RasErrorText(kRasErrorBufferTooSmall)});
    EXPECT_EQ(bus.deactivated(), QStringList{});
}

TEST(NmDialUp, RefusedHangUpShowsItsTextOnceAndStops)
{
    PrivateBus bus;
    START_BUS(bus);
    const QString profile = bus.addProfile("Mobile", "gsm");
    const QString first = bus.activate(profile, "0", kActivated);
    const QString second = bus.activate(profile, "1", kActivated);
    bus.activate(profile, "2", kActivated);
    // 99 ASCII bytes, then a two-byte character across the 100-byte limit.
    const std::string message = "Not authorized to control networking " + std::string(62, '.') + "\xC3\xA9 and more";
    bus.setManagerMethod("DeactivateConnection", "o",
                         "if args[0].endswith('/1'):\n"
                         "    raise dbus.exceptions.DBusException('" + QString::fromStdString(message) + "',"
                         " name='org.freedesktop.NetworkManager.PermissionDenied')");

    TNmDialUp layer(bus.connection());
    EXPECT_EQ(hangUpAll(layer), Texts{message.substr(0, 99)});
    EXPECT_EQ(bus.deactivated(), (QStringList{first, second}));
}

TEST(NmDialUp, ACallThatGetsNoAnswerInTimeFails)
{
    PrivateBus bus;
    START_BUS(bus);
    bus.activate(bus.addProfile("Mobile", "gsm"), "0", kActivated);
    // Far longer than the layer's time-out, far shorter than the bus's own.
    bus.setManagerMethod("DeactivateConnection", "o", "time.sleep(15)");

    TNmDialUp layer(bus.connection(), 2000);
    const Texts shown = hangUpAll(layer);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_FALSE(shown[0].empty());
    EXPECT_LE(shown[0].size(), kRasErrorTextMax);
}

TEST(NmDialUp, AFailedListingShowsTheBusErrorText)
{
    // Something owns NetworkManager's name but offers no manager object.
    PrivateBus bus({"--system", "org.freedesktop.NetworkManager", "/org/example", "org.example.Nothing"});
    START_BUS(bus);
    TNmDialUp layer(bus.connection());
    std::vector<TRasConn> conns;
    EXPECT_EQ(layer.EnumConnections(conns, kRasMaxConnections), kRasErrorDBus);
    const Texts shown = hangUpAll(layer);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0], layer.GetErrorString(kRasErrorDBus));
    EXPECT_NE(shown[0], kNoActiveConnections);
    EXPECT_NE(shown[0].find("Get"), std::string::npos);
    EXPECT_NE(shown[0].back(), '\n');
}

TEST(NmDialUp, WithoutNetworkManagerOrBusThereIsNoActiveConnection)
{
    {
        PrivateBus bus(QStringList{});
        START_BUS(bus);
        TNmDialUp layer(bus.connection());
        std::vector<TRasConn> conns{TRasConn{}};
        EXPECT_EQ(layer.EnumConnections(conns, kRasMaxConnections), kRasSuccess);
        EXPECT_TRUE(conns.empty());
        EXPECT_EQ(hangUpAll(layer), Texts{kNoActiveConnections});
    }
    testutil::TempDir dir;
    const QString name = QStringLiteral("corvina-dialup-no-bus");
    {
        TNmDialUp layer(QDBusConnection::connectToBus("unix:path=" + QString::fromStdString(dir.file("none")), name));
        EXPECT_EQ(hangUpAll(layer), Texts{kNoActiveConnections});
    }
    QDBusConnection::disconnectFromBus(name);
}
