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

std::string UserDatConfigPath()
{
    return FileNameFromQt(QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation)) + "/user.dat";
}

bool MoveOldUserDat(const std::string& programDir)
{
    // Without a program directory the bare name would mean whatever folder
    // the program was started from.
    if (programDir.empty())
        return false;
    const QString old = FileNameToQt(programDir + "user.dat");
    const QString config = FileNameToQt(UserDatConfigPath());
    if (!QFileInfo(old).isFile() || QFileInfo::exists(config))
        return false;
    if (!QDir().mkpath(QFileInfo(config).absolutePath()))
        return false;
    // Across file systems Qt copies and removes the old file; where the old
    // one cannot be removed (a folder the user may not write to) the copy is
    // taken back, so the file is moved or stays as it was, never doubled.
    return QFile::rename(old, config);
}

bool LoadUserDat(const std::string& programDir, TUserDatValues& values)
{
    MoveOldUserDat(programDir);
    QFile f(FileNameToQt(UserDatConfigPath()));
    // An old file that could not be moved (a folder the user may not write
    // to) is still read; the next OK writes the configuration folder's file,
    // which is the one read from then on.
    if (!QFileInfo(f).isFile() && !programDir.empty())
        f.setFileName(FileNameToQt(programDir + "user.dat"));
    if (!QFileInfo(f).isFile() || !f.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = f.readAll();
    values = ParseUserDat(std::string(bytes.constData(), static_cast<size_t>(bytes.size())));
    return true;
}

bool SaveUserDat(const TUserDatValues& values)
{
    const QString path = FileNameToQt(UserDatConfigPath());
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
