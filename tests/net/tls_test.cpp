// Port 443 means TLS, and the certificate must verify: run-with-server.py --tls serves HTTPS on
// 127.0.0.1:443 with a certificate for "localhost" from a test CA that only this test trusts.
#include <windows.h>
#include <wincrypt.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "net/internetfiledown.h"
#include "tests/net/nettestsupport.h"

using namespace nettest;
using namespace testsupport;

namespace {

const char kLocation4[] = "서버로부터 응답을 받지 못 했습니다. 잠시후 사용하여 주십시오.\nError Location = 4\n";
const char kLineTooManyUsers[] = "사용자가 너무 많습니다. 조금 더 기다려 주십시오.\n";

// Adds the test CA to this prefix's machine root store.
bool TrustTestCa() {
  const std::string pem = ReadFileBytes(Env("TALVO_TEST_TLS_CA"));
  DWORD size = 0;
  if (pem.empty() || !::CryptStringToBinaryA(pem.c_str(), 0, CRYPT_STRING_BASE64HEADER, nullptr, &size, nullptr, nullptr))
    return false;
  std::vector<BYTE> der(size);
  if (!::CryptStringToBinaryA(pem.c_str(), 0, CRYPT_STRING_BASE64HEADER, der.data(), &size, nullptr, nullptr))
    return false;
  HCERTSTORE store = ::CertOpenStore(CERT_STORE_PROV_SYSTEM_A, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, "Root");
  if (!store) return false;
  const BOOL added = ::CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, der.data(), size,
                                                        CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
  ::CertCloseStore(store, 0);
  return added != FALSE;
}

class TlsTest : public testing::Test {
 protected:
  static void SetUpTestSuite() { ASSERT_TRUE(TrustTestCa()); }
  void SetUp() override {
    ASSERT_FALSE(Env("TALVO_TEST_TLS_CA").empty()) << "run through run-with-server.py --tls";
    StartLogCapture();
    m_folder = FreshFolder(testing::UnitTest::GetInstance()->current_test_info()->name()) + "\\";
    m_down.SetSavePath(m_folder);
  }
  std::string Fetch(const std::string& url) {
    m_down.DownloadNow(url, FALSE, TRUE);
    return m_down.GetFinishedFile();
  }
  std::string m_folder;
  CInternetFileDown m_down;
};

TEST_F(TlsTest, VerifiedCertificateIsAccepted) {
  EXPECT_EQ(Fetch("https://localhost/__gen/3000/secure.bin"), m_folder + "secure.bin");
  EXPECT_TRUE(IsGenerated(ReadFileBytes(m_folder + "secure.bin"), 3000));
  EXPECT_FALSE(m_down.GetError());
}

TEST_F(TlsTest, PortDecidesNotTheScheme) {
  EXPECT_EQ(Fetch("http://localhost:443/__gen/20/port.bin"), m_folder + "port.bin");
  EXPECT_TRUE(IsGenerated(ReadFileBytes(m_folder + "port.bin"), 20));
}

TEST_F(TlsTest, CertificateForAnotherNameFailsTheRequestAtOnce) {
  // The certificate names "localhost", not "127.0.0.1".
  const std::string url = "https://127.0.0.1/__gen/20/wrongname.bin";
  EXPECT_EQ(Fetch(url), "");
  EXPECT_EQ(CountLog(kLocation4), 1u);
  EXPECT_EQ(CountLog(kLineTooManyUsers), 0u) << "a bad certificate is not retried";
  EXPECT_TRUE(m_down.GetError());
  EXPECT_EQ(m_down.GetNextURL(), url);
  EXPECT_FALSE(IsFile(m_folder + "wrongname.bin"));
}

TEST_F(TlsTest, TextRequestWithABadCertificateGivesNothing) {
  EXPECT_EQ(m_down.DownloadToString("https://127.0.0.1/__gen/20/wrongname.txt", 1500), "");
  EXPECT_EQ(m_down.DownloadToString("https://localhost/__gen/20/right.txt", 30000), Generated(20));
}

}  // namespace
