// A throwaway certificate authority and server certificates for TLS tests, written as
// PEM files into a folder.
//
//   TempDir dir;
//   auto certs = TestCertificates::generate(dir.path());
//   LoopbackHttpServer server(LoopbackHttpServer::Tls{certs.serverCert, certs.serverKey});
//   HttpClient::setAdditionalTrustedCAFile(certs.caFile);
#pragma once

#include <filesystem>

namespace tilo::test {

struct TestCertificates {
  std::filesystem::path caFile;
  // For 127.0.0.1 and localhost, signed by the CA.
  std::filesystem::path serverCert, serverKey;
  // For "other.example" only, signed by the same CA.
  std::filesystem::path otherHostCert, otherHostKey;

  // Throws std::runtime_error if OpenSSL fails.
  static TestCertificates generate(const std::filesystem::path& dir);
};

}  // namespace tilo::test
