#include "support/TestCertificates.h"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>

namespace tilo::test {
namespace {

using KeyPtr = std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)>;
using CertPtr = std::unique_ptr<X509, decltype(&X509_free)>;

void check(bool ok, const char* what) {
  if (!ok) throw std::runtime_error(std::string("test certificate: ") + what);
}

KeyPtr makeKey() {
  KeyPtr key(EVP_EC_gen("P-256"), EVP_PKEY_free);
  check(key != nullptr, "key generation");
  return key;
}

void addExtension(X509* cert, X509* issuer, int nid, const char* value) {
  X509V3_CTX ctx;
  X509V3_set_ctx_nodb(&ctx);
  X509V3_set_ctx(&ctx, issuer, cert, nullptr, nullptr, 0);
  X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value);
  check(extension && X509_add_ext(cert, extension, -1), "extension");
  X509_EXTENSION_free(extension);
}

// Signs with `issuerKey`; a null issuer makes a self-signed CA.
CertPtr makeCert(const char* commonName, EVP_PKEY* key, X509* issuer, EVP_PKEY* issuerKey,
                 const char* subjectAltName, long serial) {
  CertPtr cert(X509_new(), X509_free);
  check(cert != nullptr, "allocation");
  X509_set_version(cert.get(), 2);
  ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), serial);
  X509_gmtime_adj(X509_getm_notBefore(cert.get()), -3600);
  X509_gmtime_adj(X509_getm_notAfter(cert.get()), 7L * 24 * 3600);
  X509_set_pubkey(cert.get(), key);
  X509_NAME* name = X509_get_subject_name(cert.get());
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                             reinterpret_cast<const unsigned char*>(commonName), -1, -1, 0);
  X509* signer = issuer ? issuer : cert.get();
  X509_set_issuer_name(cert.get(), X509_get_subject_name(signer));
  if (issuer) {
    addExtension(cert.get(), signer, NID_basic_constraints, "critical,CA:FALSE");
    addExtension(cert.get(), signer, NID_subject_alt_name, subjectAltName);
    addExtension(cert.get(), signer, NID_ext_key_usage, "serverAuth");
  } else {
    addExtension(cert.get(), signer, NID_basic_constraints, "critical,CA:TRUE");
    addExtension(cert.get(), signer, NID_key_usage, "critical,keyCertSign,cRLSign");
    addExtension(cert.get(), signer, NID_subject_key_identifier, "hash");
  }
  check(X509_sign(cert.get(), issuerKey, EVP_sha256()) > 0, "signing");
  return cert;
}

void writePem(const std::filesystem::path& path, X509* cert, EVP_PKEY* key) {
  std::unique_ptr<FILE, decltype(&fclose)> file(std::fopen(path.c_str(), "w"), fclose);
  check(file != nullptr, "open");
  check(cert ? PEM_write_X509(file.get(), cert)
             : PEM_write_PrivateKey(file.get(), key, nullptr, nullptr, 0, nullptr, nullptr),
        "write");
}

}  // namespace

TestCertificates TestCertificates::generate(const std::filesystem::path& dir) {
  TestCertificates out{dir / "ca.pem", dir / "server.pem", dir / "server-key.pem",
                       dir / "other.pem", dir / "other-key.pem"};
  KeyPtr caKey = makeKey(), serverKey = makeKey(), otherKey = makeKey();
  CertPtr ca = makeCert("Tilo Test CA", caKey.get(), nullptr, caKey.get(), nullptr, 1);
  CertPtr server = makeCert("127.0.0.1", serverKey.get(), ca.get(), caKey.get(),
                            "IP:127.0.0.1,DNS:localhost", 2);
  CertPtr other =
      makeCert("other.example", otherKey.get(), ca.get(), caKey.get(), "DNS:other.example", 3);
  writePem(out.caFile, ca.get(), nullptr);
  writePem(out.serverCert, server.get(), nullptr);
  writePem(out.serverKey, nullptr, serverKey.get());
  writePem(out.otherHostCert, other.get(), nullptr);
  writePem(out.otherHostKey, nullptr, otherKey.get());
  return out;
}

}  // namespace tilo::test
