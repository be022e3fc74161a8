// Adds a certificate authority to, or removes it from, the machine's trusted roots of the
// Windows system it runs on. The HTTPS checks run it under Wine, inside the test's own Wine
// prefix, so that WinINet accepts the test server's certificate; the host's trust store is
// never involved.
//
// Usage: trust_ca add|remove CA.pem
// Exit status 0 on success, 1 with a message on standard error otherwise.

#include <windows.h>
#include <wincrypt.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

int fail(const char* what) {
  std::fprintf(stderr, "trust_ca: %s (error %lu)\n", what, GetLastError());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 || (std::string(argv[1]) != "add" && std::string(argv[1]) != "remove")) {
    std::fprintf(stderr, "usage: trust_ca add|remove CA.pem\n");
    return 2;
  }
  const bool add = std::string(argv[1]) == "add";
  std::ifstream in(argv[2], std::ios::binary);
  const std::string pem{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  if (!in && !in.eof()) return fail("cannot read the certificate file");

  // PEM text to DER bytes.
  DWORD size = 0;
  if (!CryptStringToBinaryA(pem.data(), static_cast<DWORD>(pem.size()), CRYPT_STRING_BASE64HEADER,
                            nullptr, &size, nullptr, nullptr))
    return fail("no PEM certificate in the file");
  std::vector<BYTE> der(size);
  if (!CryptStringToBinaryA(pem.data(), static_cast<DWORD>(pem.size()), CRYPT_STRING_BASE64HEADER,
                            der.data(), &size, nullptr, nullptr))
    return fail("no PEM certificate in the file");

  HCERTSTORE root = CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0,
                                  CERT_SYSTEM_STORE_LOCAL_MACHINE, L"Root");
  if (!root) return fail("cannot open the machine's Root store");
  int status = 0;
  if (add) {
    if (!CertAddEncodedCertificateToStore(root, X509_ASN_ENCODING, der.data(), size,
                                          CERT_STORE_ADD_REPLACE_EXISTING, nullptr))
      status = fail("cannot add the certificate");
  } else {
    PCCERT_CONTEXT wanted = CertCreateCertificateContext(X509_ASN_ENCODING, der.data(), size);
    if (!wanted) {
      status = fail("not a certificate");
    } else {
      // Deleting frees the found context; a certificate not in the store is not an error.
      PCCERT_CONTEXT found = CertFindCertificateInStore(root, X509_ASN_ENCODING, 0,
                                                        CERT_FIND_EXISTING, wanted, nullptr);
      if (found && !CertDeleteCertificateFromStore(found))
        status = fail("cannot remove the certificate");
      CertFreeCertificateContext(wanted);
    }
  }
  CertCloseStore(root, 0);
  return status;
}
