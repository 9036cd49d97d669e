#include "UserDat.h"

#include "SysUtils.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

TUserDatValues ParseUserDat(const std::string& bytes)
{
    TUserDatValues values;
    size_t pos = 0;
    for (size_t field = 0; field < kUserDatFields && pos < bytes.size(); ++field) {
        const size_t lf = bytes.find('\n', pos);
        size_t end = lf == std::string::npos ? bytes.size() : lf;
        const size_t next = lf == std::string::npos ? bytes.size() : lf + 1;
        if (end > pos && bytes[end - 1] == '\r')
            --end;
        values[field] = bytes.substr(pos, end - pos);
        pos = next;
    }
    return values;
}

std::string FormatUserDat(const TUserDatValues& values)
{
    std::string out;
    for (const auto& v : values) {
        out += v;
        out += "\r\n";
    }
    return out;
}

bool ParseTimeOutText(const std::string& text, int32_t& ms)
{
    const size_t first = !text.empty() && text[0] == '+' ? 1 : 0;
    if (first >= text.size() || text.find_first_not_of("0123456789", first) != std::string::npos)
        return false;
    int64_t value = 0;
    for (size_t i = first; i < text.size(); ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > INT32_MAX)
            return false;
    }
    ms = static_cast<int32_t>(value);
    return true;
}

namespace {

std::string fileIn(const std::string& programDir) { return programDir + "user.dat"; }

// An installed program (<prefix>/bin beside <prefix>/share/corvina) keeps
// its settings with the user, even where the user may write to the
// program's folder (as root may to /usr/local/bin).
bool installedProgramDir(const std::string& programDir)
{
    const QString dir = FileNameToQt(programDir);
    return dir.endsWith(QStringLiteral("/bin/")) && QFileInfo(dir + QStringLiteral("../share/corvina")).isDir();
}

bool programDirWritable(const std::string& programDir)
{
    if (installedProgramDir(programDir))
        return false;
    const QFileInfo file(FileNameToQt(fileIn(programDir)));
    if (file.exists())
        return file.isFile() && file.isWritable();
    const QFileInfo dir(programDir.empty() ? QStringLiteral(".") : FileNameToQt(programDir));
    return dir.isDir() && dir.isWritable();
}

} // namespace

std::string UserDatConfigPath()
{
    return FileNameFromQt(QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation)) + "/user.dat";
}

std::string UserDatSavePath(const std::string& programDir)
{
    return programDirWritable(programDir) ? fileIn(programDir) : UserDatConfigPath();
}

std::vector<std::string> UserDatLoadPaths(const std::string& programDir)
{
    const std::string local = fileIn(programDir);
    const std::string config = UserDatConfigPath();
    if (UserDatSavePath(programDir) == local)
        return {local, config};
    return {config, local};
}

bool LoadUserDat(const std::string& programDir, TUserDatValues& values)
{
    for (const auto& path : UserDatLoadPaths(programDir)) {
        QFile f(FileNameToQt(path));
        if (!QFileInfo(f).isFile() || !f.open(QIODevice::ReadOnly))
            continue;
        const QByteArray bytes = f.readAll();
        values = ParseUserDat(std::string(bytes.constData(), static_cast<size_t>(bytes.size())));
        return true;
    }
    return false;
}

bool SaveUserDat(const std::string& programDir, const TUserDatValues& values)
{
    const QString path = FileNameToQt(UserDatSavePath(programDir));
    const QString dir = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(dir))
        return false;
    // Written to a new file that then replaces the old one, so a failed write
    // never leaves half a file behind.
    QSaveFile f(path);
    f.setDirectWriteFallback(true);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    const std::string bytes = FormatUserDat(values);
    if (f.write(bytes.data(), static_cast<qint64>(bytes.size())) != static_cast<qint64>(bytes.size())) {
        f.cancelWriting();
        return false;
    }
    return f.commit();
}
