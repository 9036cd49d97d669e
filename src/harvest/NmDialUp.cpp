#include "NmDialUp.h"

#include <QDBusArgument>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QLoggingCategory>
#include <QMap>
#include <QVariantMap>

namespace {

Q_LOGGING_CATEGORY(lcDialUp, "corvina.dialup", QtWarningMsg)

const QString kBusService = QStringLiteral("org.freedesktop.DBus");
const QString kBusPath = QStringLiteral("/org/freedesktop/DBus");
const QString kPropertiesIface = QStringLiteral("org.freedesktop.DBus.Properties");
const QString kNmService = QStringLiteral("org.freedesktop.NetworkManager");
const QString kNmPath = QStringLiteral("/org/freedesktop/NetworkManager");
const QString kNmIface = QStringLiteral("org.freedesktop.NetworkManager");
const QString kActiveIface = QStringLiteral("org.freedesktop.NetworkManager.Connection.Active");
const QString kSettingsConnIface = QStringLiteral("org.freedesktop.NetworkManager.Settings.Connection");

// NetworkManager's active-connection states.
constexpr uint kNmActivating = 1;
constexpr uint kNmActivated = 2;
constexpr uint kNmDeactivating = 3;
constexpr uint kNmDeactivated = 4;

using TNmSettings = QMap<QString, QVariantMap>;

bool isError(const QDBusMessage& reply) { return reply.type() != QDBusMessage::ReplyMessage; }

// The object asked for is no longer there (an active connection that ended
// between two calls).
bool objectGone(const QDBusMessage& reply)
{
    const QString name = reply.errorName();
    return name == QLatin1String("org.freedesktop.DBus.Error.UnknownObject")
        || name == QLatin1String("org.freedesktop.DBus.Error.UnknownMethod")
        || name == QLatin1String("org.freedesktop.DBus.Error.UnknownInterface");
}

// The first argument of a Properties.Get reply, unwrapped from its variant.
QVariant propertyValue(const QDBusMessage& reply)
{
    const QList<QVariant> args = reply.arguments();
    if (args.isEmpty())
        return {};
    const QVariant v = args.first();
    return v.canConvert<QDBusVariant>() ? v.value<QDBusVariant>().variant() : v;
}

// Cuts text to at most max bytes without splitting a UTF-8 character.
std::string cutUtf8(std::string text, size_t max)
{
    if (text.size() <= max)
        return text;
    size_t n = max;
    while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80)
        --n;
    text.resize(n);
    return text;
}

TRasConnState connState(uint nmState)
{
    switch (nmState) {
    case kNmActivating: return TRasConnState::Connecting;
    case kNmActivated: return TRasConnState::Connected;
    case kNmDeactivated: return TRasConnState::Disconnected;
    case kNmDeactivating:
    default: return TRasConnState::Other;
    }
}

} // namespace

TNmDialUp::TNmDialUp() = default;

TNmDialUp::TNmDialUp(const QDBusConnection& bus, int timeoutMs) : bus_(bus), timeoutMs_(timeoutMs) {}

QDBusConnection TNmDialUp::bus() const { return bus_ ? *bus_ : QDBusConnection::systemBus(); }

QDBusMessage TNmDialUp::call(const QString& service, const QString& path, const QString& interface,
                             const QString& method, const QList<QVariant>& args) const
{
    QDBusMessage msg = QDBusMessage::createMethodCall(service, path, interface, method);
    msg.setArguments(args);
    // No service activation: a NetworkManager that is not running stays so.
    msg.setAutoStartService(false);
    return bus().call(msg, QDBus::Block, timeoutMs_);
}

int TNmDialUp::fail(const QDBusMessage& reply, const char* what)
{
    QString text = reply.errorMessage().trimmed();
    if (text.isEmpty())
        text = reply.errorName();
    if (text.isEmpty())
        text = QStringLiteral("Unexpected reply from NetworkManager.");
    lastError_ = cutUtf8(text.toStdString(), kRasErrorTextMax);
    qCInfo(lcDialUp) << what << "failed:" << reply.errorName() << reply.errorMessage();
    return kRasErrorDBus;
}

int TNmDialUp::classify(const QString& path, TKind& kind, TRasConn& conn)
{
    const QDBusMessage props = call(kNmService, path, kPropertiesIface, QStringLiteral("GetAll"), {kActiveIface});
    if (isError(props)) {
        if (!objectGone(props))
            return fail(props, "Reading an active connection");
        qCInfo(lcDialUp) << "active connection" << path << "ended while listing";
        kind = TKind::Gone;
        return kRasSuccess;
    }
    const QVariantMap map =
        props.arguments().isEmpty() ? QVariantMap{} : qdbus_cast<QVariantMap>(props.arguments().first());
    const QString type = map.value(QStringLiteral("Type")).toString();
    conn.EntryName = map.value(QStringLiteral("Id")).toString().toStdString();
    conn.DeviceName = type.toStdString();

    if (type == QLatin1String("gsm") || type == QLatin1String("cdma") || type == QLatin1String("pppoe")) {
        kind = TKind::DialUp;
        return kRasSuccess;
    }
    kind = TKind::Other;
    if (type != QLatin1String("bluetooth"))
        return kRasSuccess;

    // A Bluetooth connection dials only in the dial-up networking profile,
    // which its settings name (and which carries a mobile broadband setting).
    const QString settingsPath = map.value(QStringLiteral("Connection")).value<QDBusObjectPath>().path();
    const QDBusMessage reply = call(kNmService, settingsPath, kSettingsConnIface, QStringLiteral("GetSettings"));
    if (isError(reply) || reply.arguments().isEmpty()) {
        qCInfo(lcDialUp) << "settings of Bluetooth connection" << path << "unreadable, not listed:"
                         << reply.errorName() << reply.errorMessage();
        return kRasSuccess;
    }
    const TNmSettings settings = qdbus_cast<TNmSettings>(reply.arguments().first());
    const QString btType = settings.value(QStringLiteral("bluetooth")).value(QStringLiteral("type")).toString();
    if (btType == QLatin1String("dun")
        || (btType.isEmpty() && (settings.contains(QStringLiteral("gsm")) || settings.contains(QStringLiteral("cdma")))))
        kind = TKind::DialUp;
    return kRasSuccess;
}

int TNmDialUp::EnumConnections(std::vector<TRasConn>& connections, int max)
{
    connections.clear();
    paths_.clear();
    if (!bus().isConnected()) {
        qCInfo(lcDialUp) << "no system bus:" << bus().lastError().message();
        return kRasSuccess;
    }
    const QDBusMessage owner = call(kBusService, kBusPath, kBusService, QStringLiteral("NameHasOwner"), {kNmService});
    if (isError(owner))
        return fail(owner, "Looking for NetworkManager");
    if (owner.arguments().isEmpty() || !owner.arguments().first().toBool()) {
        qCInfo(lcDialUp) << "NetworkManager is not on the bus";
        return kRasSuccess;
    }

    const QDBusMessage active = call(kNmService, kNmPath, kPropertiesIface, QStringLiteral("Get"),
                                     {kNmIface, QStringLiteral("ActiveConnections")});
    if (isError(active)) {
        if (active.errorName() == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown")
            || active.errorName() == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner")) {
            qCInfo(lcDialUp) << "NetworkManager left the bus";
            return kRasSuccess;
        }
        return fail(active, "Listing the active connections");
    }
    const auto activePaths = qdbus_cast<QList<QDBusObjectPath>>(propertyValue(active));

    std::vector<std::pair<TRasConn, QString>> found;
    for (const QDBusObjectPath& p : activePaths) {
        TKind kind = TKind::Other;
        TRasConn conn;
        if (const int error = classify(p.path(), kind, conn); error != kRasSuccess)
            return error;
        if (kind != TKind::DialUp)
            continue;
        if (static_cast<int>(found.size()) >= max)
            return kRasErrorBufferTooSmall;
        found.emplace_back(std::move(conn), p.path());
    }
    for (auto& [conn, path] : found) {
        conn.Handle = nextHandle_++;
        paths_[conn.Handle] = path;
        connections.push_back(std::move(conn));
    }
    return kRasSuccess;
}

int TNmDialUp::GetConnectStatus(TRasHandle handle, TRasConnState& state)
{
    const auto it = paths_.find(handle);
    if (it == paths_.end())
        return kRasErrorInvalidHandle;
    const QDBusMessage reply =
        call(kNmService, it->second, kPropertiesIface, QStringLiteral("Get"), {kActiveIface, QStringLiteral("State")});
    if (isError(reply)) {
        if (!objectGone(reply))
            return fail(reply, "Reading a connection's state");
        qCInfo(lcDialUp) << "active connection" << it->second << "has ended";
        state = TRasConnState::Disconnected;
        return kRasSuccess;
    }
    state = connState(propertyValue(reply).toUInt());
    return kRasSuccess;
}

int TNmDialUp::HangUp(TRasHandle handle)
{
    const auto it = paths_.find(handle);
    if (it == paths_.end())
        return kRasErrorInvalidHandle;
    const QDBusMessage reply = call(kNmService, kNmPath, kNmIface, QStringLiteral("DeactivateConnection"),
                                    {QVariant::fromValue(QDBusObjectPath(it->second))});
    if (isError(reply)) {
        if (reply.errorName() != QLatin1String("org.freedesktop.NetworkManager.ConnectionNotActive"))
            return fail(reply, "Hanging up");
        qCInfo(lcDialUp) << "active connection" << it->second << "was no longer active";
    }
    return kRasSuccess;
}

std::string TNmDialUp::GetErrorString(int error)
{
    if (error != kRasErrorDBus)
        return RasErrorText(error);
    return lastError_.empty() ? std::string("A call to NetworkManager failed.") : lastError_;
}
