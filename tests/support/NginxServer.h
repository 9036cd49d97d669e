// A real, independent HTTP server for interoperability tests: Debian's nginx,
// started on a free loopback port with a configuration of the test's own and
// stopped by the destructor.
#pragma once

#include <memory>
#include <string>

class QProcess;

// Serve over TLS with this certificate (chain) and key, both PEM files.
struct NginxTls {
    std::string certFile;
    std::string keyFile;
};

class NginxServer {
public:
    // extraConfig is placed inside the server block (locations, returns).
    // With a certificate in tls the server speaks only TLS.
    explicit NginxServer(const std::string& extraConfig = {}, const NginxTls& tls = {});
    ~NginxServer();
    NginxServer(const NginxServer&) = delete;
    NginxServer& operator=(const NginxServer&) = delete;

    // False when nginx is not installed or did not come up; error() says why.
    bool ok() const { return ok_; }
    const std::string& error() const { return error_; }
    int port() const { return port_; }
    // The folder served as the document root.
    const std::string& root() const { return root_; }
    // "http://127.0.0.1:PORT" + path; over TLS "https://localhost:PORT" + path.
    std::string url(const std::string& path) const;
    // Writes a file below the document root.
    void put(const std::string& relativePath, const std::string& bytes) const;

private:
    std::string dir_;
    std::string root_;
    std::string error_;
    int port_ = 0;
    bool ok_ = false;
    bool tls_ = false;
    std::unique_ptr<QProcess> proc_;
};

// A free TCP port on 127.0.0.1 at the moment of the call.
int freeLoopbackPort();
