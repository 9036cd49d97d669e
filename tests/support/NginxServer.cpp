#include "NginxServer.h"

#include "TestUtil.h"

#include <QProcess>
#include <QStringList>

#include <arpa/inet.h>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

const char* const kNginx = "/usr/sbin/nginx";

bool canConnect(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return false;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(fd);
    return ok;
}

} // namespace

int freeLoopbackPort()
{
    uint16_t port = 0;
    const int fd = testutil::bindLoopback(-1, port);
    if (fd < 0)
        return 0;
    ::close(fd);
    return port;
}

NginxServer::NginxServer(const std::string& extraConfig, const NginxTls& tls) : tls_(!tls.certFile.empty())
{
    namespace fs = std::filesystem;
    if (!fs::exists(kNginx)) {
        error_ = "nginx is not installed (apt-get install nginx)";
        return;
    }
    std::string tmpl = (fs::temp_directory_path() / "corvina-nginx-XXXXXX").string();
    if (!::mkdtemp(tmpl.data())) {
        error_ = "mkdtemp failed";
        return;
    }
    dir_ = tmpl;
    root_ = dir_ + "/www";
    fs::create_directories(root_);
    fs::create_directories(dir_ + "/tmp");
    // Worker processes may run as another user: let them read the tree.
    fs::permissions(dir_, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec | fs::perms::others_read
                              | fs::perms::others_exec);

    for (int attempt = 0; attempt < 5 && !ok_; ++attempt) {
        port_ = freeLoopbackPort();
        const std::string conf = dir_ + "/nginx.conf";
        {
            std::ofstream f(conf);
            f << (::geteuid() == 0 ? "user root;\n" : "")
              << "worker_processes 1;\n"
                 "daemon off;\n"
                 "pid " << dir_ << "/nginx.pid;\n"
                 "error_log " << dir_ << "/error.log;\n"
                 "events { worker_connections 64; }\n"
                 "http {\n"
                 "  access_log " << dir_ << "/access.log;\n"
                 "  client_body_temp_path " << dir_ << "/tmp/body;\n"
                 "  proxy_temp_path " << dir_ << "/tmp/proxy;\n"
                 "  fastcgi_temp_path " << dir_ << "/tmp/fastcgi;\n"
                 "  uwsgi_temp_path " << dir_ << "/tmp/uwsgi;\n"
                 "  scgi_temp_path " << dir_ << "/tmp/scgi;\n"
                 "  default_type application/octet-stream;\n"
                 "  sendfile on;\n"
                 "  server {\n"
                 "    listen 127.0.0.1:" << port_ << (tls_ ? " ssl" : "") << ";\n"
              << (tls_ ? "    ssl_certificate " + tls.certFile + ";\n    ssl_certificate_key " + tls.keyFile + ";\n" : "")
              << "    server_name localhost;\n"
                 "    root " << root_ << ";\n"
              << extraConfig << "\n"
                 "  }\n"
                 "}\n";
        }
        proc_ = std::make_unique<QProcess>();
        proc_->setProcessChannelMode(QProcess::MergedChannels);
        proc_->start(kNginx, QStringList{"-p", QString::fromStdString(dir_), "-c", QString::fromStdString(conf)});
        if (!proc_->waitForStarted(5000)) {
            error_ = "nginx did not start";
            continue;
        }
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (std::chrono::steady_clock::now() < deadline) {
            if (proc_->state() == QProcess::NotRunning)
                break;
            if (canConnect(port_)) {
                ok_ = true;
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        if (!ok_) {
            proc_->kill();
            proc_->waitForFinished(5000);
            error_ = "nginx did not come up: " + proc_->readAll().toStdString();
        }
    }
}

NginxServer::~NginxServer()
{
    if (proc_ && proc_->state() != QProcess::NotRunning) {
        proc_->terminate();
        if (!proc_->waitForFinished(5000)) {
            proc_->kill();
            proc_->waitForFinished(5000);
        }
    }
    if (!dir_.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
}

std::string NginxServer::url(const std::string& path) const
{
    return (tls_ ? "https://localhost:" : "http://127.0.0.1:") + std::to_string(port_) + path;
}

void NginxServer::put(const std::string& relativePath, const std::string& bytes) const
{
    const std::filesystem::path p = std::filesystem::path(root_) / relativePath;
    std::filesystem::create_directories(p.parent_path());
    std::ofstream f(p, std::ios::binary | std::ios::trunc);
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}
