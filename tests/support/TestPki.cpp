#include "TestPki.h"

#include <cstdio>
#include <stdexcept>

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

namespace testpki {

struct Pki::Keys {
    EVP_PKEY* key = nullptr;
    X509* cert = nullptr;
    ~Keys()
    {
        X509_free(cert);
        EVP_PKEY_free(key);
    }
};

namespace {

void check(bool ok, const char* what)
{
    if (!ok)
        throw std::runtime_error(std::string("test PKI: ") + what);
}

void addExtension(X509* cert, X509* issuer, int nid, const std::string& value)
{
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, issuer, cert, nullptr, nullptr, 0);
    X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value.c_str());
    check(ext && X509_add_ext(cert, ext, -1) == 1, "extension");
    X509_EXTENSION_free(ext);
}

// A certificate for subject with the key's public half, signed by
// issuerKey (issuerCert null: by itself).
X509* makeCert(EVP_PKEY* key, const std::string& commonName, EVP_PKEY* issuerKey, X509* issuerCert, int serial,
               long fromDays, long toDays, bool ca, const std::string& altNames)
{
    X509* cert = X509_new();
    check(cert, "X509_new");
    X509_set_version(cert, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(cert), serial);
    X509_gmtime_adj(X509_getm_notBefore(cert), fromDays * 86400);
    X509_gmtime_adj(X509_getm_notAfter(cert), toDays * 86400);
    X509_set_pubkey(cert, key);
    X509_NAME* name = X509_get_subject_name(cert);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>(commonName.c_str()),
                               -1, -1, 0);
    X509_set_issuer_name(cert, issuerCert ? X509_get_subject_name(issuerCert) : name);
    X509* issuer = issuerCert ? issuerCert : cert;
    addExtension(cert, issuer, NID_subject_key_identifier, "hash");
    addExtension(cert, issuer, NID_authority_key_identifier, "keyid:always");
    if (ca) {
        addExtension(cert, issuer, NID_basic_constraints, "critical,CA:TRUE");
        addExtension(cert, issuer, NID_key_usage, "critical,keyCertSign,cRLSign");
    } else {
        addExtension(cert, issuer, NID_basic_constraints, "critical,CA:FALSE");
        addExtension(cert, issuer, NID_ext_key_usage, "serverAuth");
        if (!altNames.empty())
            addExtension(cert, issuer, NID_subject_alt_name, altNames);
    }
    check(X509_sign(cert, issuerKey, EVP_sha256()) > 0, "X509_sign");
    return cert;
}

void writePem(const std::string& path, X509* cert, EVP_PKEY* key)
{
    FILE* f = std::fopen(path.c_str(), "w");
    check(f, "cannot write a PEM file");
    const bool ok = cert ? PEM_write_X509(f, cert) == 1
                         : PEM_write_PrivateKey(f, key, nullptr, nullptr, 0, nullptr, nullptr) == 1;
    std::fclose(f);
    check(ok, "PEM write");
}

} // namespace

Pki::Pki() : ca_(std::make_unique<Keys>())
{
    ca_->key = EVP_EC_gen("P-256");
    check(ca_->key, "CA key");
    ca_->cert = makeCert(ca_->key, "Corvina Test CA", ca_->key, nullptr, serial_++, -1, 30, true, "");
    caFile_ = dir_.file("ca.pem");
    writePem(caFile_, ca_->cert, nullptr);
}

Pki::~Pki() = default;

Issued Pki::issue(const IssueOptions& options)
{
    Keys leaf;
    leaf.key = EVP_EC_gen("P-256");
    check(leaf.key, "server key");
    std::string alt;
    for (const std::string& n : options.names)
        alt += (alt.empty() ? "DNS:" : ",DNS:") + n;
    if (options.loopbackIp)
        alt += alt.empty() ? "IP:127.0.0.1" : ",IP:127.0.0.1";
    const std::string cn = options.names.empty() ? "127.0.0.1" : options.names.front();
    const int serial = serial_++;
    leaf.cert = options.selfSigned
                    ? makeCert(leaf.key, cn, leaf.key, nullptr, serial, options.validFromDays, options.validToDays,
                               false, alt)
                    : makeCert(leaf.key, cn, ca_->key, ca_->cert, serial, options.validFromDays, options.validToDays,
                               false, alt);
    Issued out{dir_.file("server" + std::to_string(serial) + ".pem"),
               dir_.file("server" + std::to_string(serial) + ".key")};
    writePem(out.certFile, leaf.cert, nullptr);
    writePem(out.keyFile, nullptr, leaf.key);
    return out;
}

} // namespace testpki
