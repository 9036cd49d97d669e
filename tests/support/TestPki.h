// Certificates made at test time: a CA of the test's own, and server
// certificates it issues (valid, expired, for another name) or that sign
// themselves. Everything lives in a temporary folder removed by the
// destructor; keys are P-256, quick to make.
//
//   testpki::Pki pki;
//   auto good = pki.issue({"localhost"});
//   NginxServer nginx("", {good.certFile, good.keyFile});
//   http.CACertFile = pki.caFile();
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "TestUtil.h"

namespace testpki {

struct Issued {
    std::string certFile; // PEM certificate
    std::string keyFile;  // PEM private key
};

struct IssueOptions {
    std::vector<std::string> names{"localhost"}; // subjectAltName DNS entries
    bool loopbackIp = true;                      // and IP:127.0.0.1
    long validFromDays = -1;                     // notBefore, days from now
    long validToDays = 30;                       // notAfter, days from now
    bool selfSigned = false;                     // signed by its own key, not the CA
};

class Pki {
public:
    Pki();
    ~Pki();
    Pki(const Pki&) = delete;
    Pki& operator=(const Pki&) = delete;

    const std::string& caFile() const { return caFile_; }
    Issued issue(const IssueOptions& options = {});
    // A folder for other files of the test, removed with the rest.
    std::string file(const std::string& name) const { return dir_.file(name); }

private:
    struct Keys;
    testutil::TempDir dir_;
    std::string caFile_;
    std::unique_ptr<Keys> ca_;
    int serial_ = 1;
};

} // namespace testpki
